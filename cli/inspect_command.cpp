#include "cli/inspect_command.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/json_writer.h"
#include "cli/option_parser.h"
#include "pipeline/conversion.h"

namespace pelorin::cli {
namespace {

std::string JsonReport(const std::string& path, const ConversionOutcome& outcome,
                       const PcmFormat& f) {
  JsonLine line;
  line.Add("file", path);
  if (outcome.messageId == kStrBadExtension) return line.Add("result", "badext").Finish();
  if (outcome.messageId == kStrCannotOpen) return line.Add("result", "unreadable").Finish();
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
  return line.Finish();
}

std::string FormatReport(const std::string& path, const Conversion& conversion) {
  const PcmFormat& f = conversion.InputFormat();
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", double(f.frameCount) / double(f.sampleRate));
  return path + ": " + std::to_string(f.channels) +
         (f.channels == 1 ? " channel, " : " channels, ") +
         std::to_string(conversion.FileFormat().bitsPerSample) + " bits, " +
         std::to_string(f.sampleRate) + " Hz, " + std::to_string(f.frameCount) + " frames, " +
         seconds + " s";
}

}  // namespace

int InspectMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err) {
  static constexpr OptionSpec kOptions[] = {{"--json"}};
  const ParsedArgs parsed = ParseArgs(args, kOptions);
  if (parsed.help) {
    out << "Usage: pelorin-cli inspect [--json] FILE...\n"
           "Check each .wav or .aif file as a conversion would and show its format, or why\n"
           "it is refused. --json prints one JSON object per file per line.\n";
    return kExitOk;
  }
  if (!parsed.error.empty()) return ReportUsageError(err, "inspect: " + parsed.error);
  const bool json = !parsed.options.empty();
  const std::vector<std::string>& files = parsed.files;
  if (files.empty()) return ReportUsageError(err, "inspect: no FILE given");

  int status = kExitOk;
  for (const std::string& path : files) {
    Conversion conversion;
    const ConversionOutcome outcome = conversion.Open(path, Conversion::Purpose::kInspection);
    if (outcome.messageId != 0) status = kExitRefused;
    if (json) {
      out << JsonReport(path, outcome, conversion.InputFormat()) << '\n';
    } else if (outcome.messageId == 0) {
      out << FormatReport(path, conversion) << '\n';
    } else {
      ReportRefusal(err, path, outcome, language);
    }
  }
  return status;
}

}  // namespace pelorin::cli
