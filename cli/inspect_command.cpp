#include "cli/inspect_command.h"

#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/json_writer.h"
#include "cli/option_parser.h"
#include "pipeline/conversion.h"
#include "workshop/opened_input.h"

namespace pelorin::cli {
namespace {

// How the command line reads the file: through the engine, or decoded by libsndfile.
void AddDecoder(JsonLine& line, const OpenedInput& input) {
  if (input.decoder == OpenedInput::Decoder::kEngine) {
    line.Add("decoder", "engine").Add("format", input.format);
  } else if (input.decoder == OpenedInput::Decoder::kSoundFile) {
    const SoundFileInfo& info = input.sound->Info();
    line.Add("decoder", "libsndfile")
        .Add("format", input.format)
        .Add("channels", info.channels)
        .Add("sampleRate", info.sampleRate)
        .Add("frameCount", info.frames);
  }
}

std::string JsonReport(const std::string& path, const ConversionOutcome& outcome,
                       const PcmFormat& f, const OpenedInput& input) {
  JsonLine line;
  line.Add("file", path);
  if (outcome.messageId == kStrBadExtension || outcome.messageId == kStrCannotOpen) {
    line.Add("result", outcome.messageId == kStrBadExtension ? "badext" : "unreadable");
    AddDecoder(line, input);
    return line.Finish();
  }
  line.Add("result", outcome.code);
  if (const Refusal& r = outcome.refusal; !r.Empty()) {
    line.Add("category", CategoryName(r.category));
    if (r.offset >= 0) line.Add("offset", r.offset);
    line.Add("reason", r.text);
  }
  if (outcome.code == kOk) {
    line.Add("channels", f.channels)
        .Add("bitsPerSample", f.bitsPerSample)
        .Add("blockAlign", f.blockAlign)
        .Add("sampleRate", f.sampleRate)
        .Add("byteCount", f.byteCount)
        .Add("frameCount", f.frameCount);
  }
  AddDecoder(line, input);
  return line.Finish();
}

std::string FormatReport(const std::string& path, int channels, int bits, int32_t rate,
                         int64_t frames) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", double(frames) / double(rate));
  return path + ": " + std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") +
         (bits > 0 ? std::to_string(bits) + " bits, " : "") + std::to_string(rate) + " Hz, " +
         std::to_string(frames) + " frames, " + seconds + " s";
}

}  // namespace

int InspectMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err) {
  static constexpr OptionSpec kOptions[] = {{"--json"}};
  const ParsedArgs parsed = ParseArgs(args, kOptions);
  if (parsed.help) {
    out << "Usage: pelorin-cli inspect [--json] FILE...\n"
           "Check each file as a conversion would and show its format, or why it is refused.\n"
           "A file the window does not take but the command line reads (decoded by\n"
           "libsndfile, or named otherwise) shows its format in words as well. FILE - reads\n"
           "standard input. --json prints one JSON object per file per line: \"result\" is\n"
           "the window's verdict; \"decoder\" (\"engine\" or \"libsndfile\") and \"format\"\n"
           "say how the command line reads the file.\n";
    return kExitOk;
  }
  if (!parsed.error.empty()) return ReportUsageError(err, "inspect: " + parsed.error);
  const bool json = !parsed.options.empty();
  const std::vector<std::string>& files = parsed.files;
  if (files.empty()) return ReportUsageError(err, "inspect: no FILE given");

  int status = kExitOk;
  for (const std::string& path : files) {
    // The engine's verdict as the window would see the file (a stream has only its content),
    // then how the command line reads it.
    const bool stream = IsStreamInput(path);
    Conversion window;
    const ConversionOutcome windowOutcome =
        stream ? ConversionOutcome{} : window.Open(path, Conversion::Purpose::kInspection);
    const std::unique_ptr<OpenedInput> input =
        OpenedInput::Open(path, path, Conversion::Purpose::kInspection);
    const ConversionOutcome& outcome = stream ? input->outcome : windowOutcome;
    const Conversion& verdict = stream ? input->conversion : window;
    if (input->decoder == OpenedInput::Decoder::kNone) status = kExitRefused;
    if (json) {
      out << JsonReport(path, outcome, verdict.InputFormat(), *input) << '\n';
    } else if (input->decoder == OpenedInput::Decoder::kEngine) {
      const Conversion& c = input->conversion;
      out << FormatReport(path, c.InputFormat().channels, c.FileFormat().bitsPerSample,
                          c.InputRate(), c.InputFormat().frameCount);
      // A file the window takes as it is shows as it always did.
      if (!windowOutcome.Succeeded() || stream) out << " (" << input->format << ")";
      out << '\n';
    } else if (input->decoder == OpenedInput::Decoder::kSoundFile) {
      const SoundFileInfo& info = input->sound->Info();
      out << FormatReport(path, info.channels, info.bitsPerSample, info.sampleRate, info.frames)
          << " (" << input->format << ", decoded by libsndfile)\n";
    } else {
      // The window's message, with libsndfile's reason where the engine has none.
      ReportRefusal(err, path, input->outcome, language);
    }
  }
  return status;
}

}  // namespace pelorin::cli
