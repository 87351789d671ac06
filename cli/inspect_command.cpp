#include "cli/inspect_command.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/json_writer.h"
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
    Conversion conversion;
    const ConversionOutcome outcome = conversion.Open(path);
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
