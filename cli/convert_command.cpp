#include "cli/convert_command.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "cli/command_line.h"
#include "cli/option_parser.h"
#include "pipeline/conversion.h"

namespace pelorin::cli {
namespace {

constexpr const char* kHelp =
    "Usage: pelorin-cli convert [OPTION]... FILE...\n"
    "Convert each .wav or .aif file into a KIVRA file (.mmf), by default beside it under\n"
    "the same base name. An existing file of that name is replaced.\n"
    "\n"
    "  --rate 4000|8000      sampling rate of the file (default: 8000 for inputs of\n"
    "                        8000 Hz or more, 4000 below; 8000 needs an input of 8000 Hz\n"
    "                        or more)\n"
    "  --title TEXT          title (default: the input's base name)\n"
    "  --copyright TEXT      copyright line (default: none)\n"
    "  --no-save             the receiving phone may not save the sound (nor pass it on)\n"
    "  --no-trans            the receiving phone may not pass the sound on\n"
    "  --date YYYYMMDD       creation date (default: today)\n"
    "  --variant 0|1|2       file variant (default 0)\n"
    "  --encoding NAME       text encoding of title and copyright: cp932, cp1252 or\n"
    "                        utf-8 (default: cp932 for a Japanese locale, else cp1252);\n"
    "                        characters it cannot hold become '?', and each text is cut\n"
    "                        to 256 bytes\n"
    "  -o FILE               write to FILE (one input only)\n"
    "  -d DIR                write into DIR\n"
    "  --help                display this help and exit\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 when any failed, 2 for a usage error.\n";

constexpr OptionSpec kOptions[] = {
    {"--rate", true}, {"--title", true},   {"--copyright", true}, {"--no-save"}, {"--no-trans"},
    {"--date", true}, {"--variant", true}, {"--encoding", true},  {"-o", true},  {"-d", true},
};

struct Options {
  UserChoices choices;
  std::optional<std::string> output;
  std::optional<std::string> directory;
  std::vector<std::string> files;
};

bool IsDate(const std::string& text) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Takes one option's value into the options; an error text for a value it cannot take.
std::optional<std::string> Take(const ParsedOption& option, Options& o) {
  const std::string& n = option.name;
  const std::string& v = option.value;
  UserChoices& c = o.choices;
  if (n == "--no-save") {
    c.save = false;
  } else if (n == "--no-trans") {
    c.trans = false;
  } else if (n == "--rate") {
    if (v != "4000" && v != "8000") return "--rate must be 4000 or 8000";
    c.targetRate = v == "4000" ? 4000 : 8000;
  } else if (n == "--title") {
    c.title = v;
  } else if (n == "--copyright") {
    c.copyright = v;
  } else if (n == "--date") {
    if (!IsDate(v)) return "--date must be eight digits, YYYYMMDD";
    c.date = v;
  } else if (n == "--variant") {
    if (v != "0" && v != "1" && v != "2") return "--variant must be 0, 1 or 2";
    c.variant = v[0] - '0';
  } else if (n == "--encoding") {
    if (!(c.encoding = TextEncodingFromName(v))) return "--encoding must be cp932, cp1252 or utf-8";
  } else if (n == "-o") {
    o.output = v;
  } else {
    o.directory = v;
  }
  return std::nullopt;
}

// The options of the arguments, or a usage error.
std::optional<std::string> Parse(const ParsedArgs& args, Options& o) {
  if (!args.error.empty()) return args.error;
  for (const ParsedOption& option : args.options) {
    if (std::optional<std::string> error = Take(option, o)) return error;
  }
  o.files = args.files;
  if (o.files.empty()) return "no FILE given";
  if (o.output && o.directory) return "-o and -d cannot be used together";
  if (o.output && o.files.size() > 1) return "-o takes one input only";
  if (o.output) {
    std::error_code error;
    if (*o.output == o.files.front() ||
        std::filesystem::equivalent(*o.output, o.files.front(), error))
      return "-o names the input file itself";
  }
  return std::nullopt;
}

}  // namespace

int ConvertMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err) {
  const ParsedArgs parsed = ParseArgs(args, kOptions);
  if (parsed.help) {
    out << kHelp;
    return kExitOk;
  }
  Options options;
  if (const std::optional<std::string> error = Parse(parsed, options))
    return ReportUsageError(err, "convert: " + *error);
  // One date for every file of the run.
  if (!options.choices.date) options.choices.date = TodayStamp();

  int status = kExitOk;
  for (const std::string& path : options.files) {
    Conversion conversion;
    ConversionOutcome outcome = conversion.Open(path);
    if (outcome.messageId != 0) {
      ReportRefusal(err, path, outcome, language);
      status = kExitRefused;
      continue;
    }
    const SettingsChoice settings = conversion.Settings(options.choices, language);
    if (!settings.refusal.empty()) {
      err << kProgram << ": " << path << ": " << settings.refusal << "; use --rate 4000\n";
      status = kExitRefused;
      continue;
    }
    std::string target = conversion.DefaultOutputPath();
    if (options.output) {
      target = *options.output;
    } else if (options.directory) {
      target =
          (std::filesystem::path(*options.directory) / std::filesystem::path(target).filename())
              .string();
    }
    outcome = conversion.Finish(settings.settings, target);
    if (!outcome.Succeeded()) {
      ReportRefusal(err, path, outcome, language);
      status = kExitRefused;
      continue;
    }
    out << path << " -> " << target << ": " << FileSizeMessage(outcome.fileBytes, language) << '\n';
  }
  return status;
}

}  // namespace pelorin::cli
