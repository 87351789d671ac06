#include "cli/inspect_command.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/json_writer.h"
#include "engine/audio_engine.h"
#include "input/input_file.h"
#include "input/source_probe.h"

namespace pelorin::cli {
namespace {

struct Outcome {
  std::string_view jsonResult;  // "badext" or "unreadable" before loading
  int32_t code = 0;             // the engine's result once loaded
  PcmFormat format;
  SourceFormat source;
};

Outcome Inspect(const std::string& path) {
  Outcome outcome;
  const std::optional<InputKind> kind = InputKindFromName(path);
  if (!kind) {
    outcome.jsonResult = "badext";
    return outcome;
  }
  const std::optional<std::vector<uint8_t>> image = ReadWholeFile(path);
  if (!image) {
    outcome.jsonResult = "unreadable";
    return outcome;
  }
  const auto length = static_cast<int32_t>(image->size());
  AudioEngine engine;
  outcome.code = engine.Load(*kind == InputKind::kAiff ? 1 : 0, image->data(), length);
  outcome.format = engine.Format();
  outcome.source = ProbeSourceFormat(*kind, image->data(), length);
  return outcome;
}

int MessageId(const Outcome& outcome) {
  if (outcome.jsonResult == "badext") return kStrBadExtension;
  if (outcome.jsonResult == "unreadable") return kStrCannotOpen;
  return LoadResultMessage(outcome.code);
}

// The file's own value behind a refusal, so users see what was rejected.
std::string Detail(const Outcome& outcome) {
  const SourceFormat& s = outcome.source;
  switch (outcome.code) {
    case kBadRate:
      return " (" + std::to_string(s.sampleRate) + " Hz)";
    case kBadBits:
      return " (" + std::to_string(s.bitsPerSample) + " bits)";
    case kBadChannels:
      return " (" + std::to_string(s.channels) + " channels)";
    case kTooShort:
      return " (" + std::to_string(s.frameCount) + " frames at " + std::to_string(s.sampleRate) +
             " Hz)";
    default:
      return "";
  }
}

std::string JsonReport(const std::string& path, const Outcome& outcome) {
  JsonLine line;
  line.Add("file", path);
  if (!outcome.jsonResult.empty()) return line.Add("result", outcome.jsonResult).Finish();
  line.Add("result", outcome.code);
  if (outcome.code == kOk) {
    const PcmFormat& f = outcome.format;
    line.Add("channels", f.channels)
        .Add("bitsPerSample", f.bitsPerSample)
        .Add("blockAlign", f.blockAlign)
        .Add("sampleRate", f.sampleRate)
        .Add("byteCount", f.byteCount)
        .Add("frameCount", f.frameCount);
  }
  return line.Finish();
}

std::string FormatReport(const std::string& path, const Outcome& outcome) {
  const PcmFormat& f = outcome.format;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", double(f.frameCount) / double(f.sampleRate));
  return path + ": " + std::to_string(f.channels) +
         (f.channels == 1 ? " channel, " : " channels, ") +
         std::to_string(outcome.source.bitsPerSample) + " bits, " + std::to_string(f.sampleRate) +
         " Hz, " + std::to_string(f.frameCount) + " frames, " + seconds + " s";
}

}  // namespace

int InspectMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err) {
  bool json = false;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--help") {
      out << "Usage: pelorin-cli inspect [--json] FILE...\n"
             "Check each .wav or .aif file as a conversion would and show its format, or why\n"
             "it is refused. --json prints one JSON object per file per line.\n";
      return kExitOk;
    } else if (!optionsEnded && arg == "--json") {
      json = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return ReportUsageError(err, "inspect: unknown option '" + arg + "'");
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return ReportUsageError(err, "inspect: no FILE given");

  int status = kExitOk;
  for (const std::string& path : files) {
    const Outcome outcome = Inspect(path);
    const int message = MessageId(outcome);
    if (message != 0) status = kExitRefused;
    if (json) {
      out << JsonReport(path, outcome) << '\n';
    } else if (message == 0) {
      out << FormatReport(path, outcome) << '\n';
    } else {
      err << kProgram << ": " << path << ": " << LoadString(message, language) << Detail(outcome)
          << '\n';
    }
  }
  return status;
}

}  // namespace pelorin::cli
