#include "cli/convert_command.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "cli/command_line.h"
#include "pipeline/conversion.h"
#include "pipeline/date_stamp.h"
#include "pipeline/text_encoding.h"

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

constexpr size_t kTextLimit = 256;

struct Options {
  std::optional<int32_t> rate;
  std::optional<std::string> title;
  std::string copyright;
  bool save = true;
  bool trans = true;
  std::optional<std::string> date;
  int variant = 0;
  std::optional<TextEncoding> encoding;
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

// Parses the arguments; an error text for a usage error.
std::optional<std::string> Parse(std::span<const std::string> args, Options& o, bool& help) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      o.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    const auto flag = [&](bool& target) -> std::optional<std::string> {
      if (inlineValue) return "option '" + arg + "' takes no value";
      target = false;
      return std::nullopt;
    };
    std::optional<std::string> v;
    if (arg == "--help") {
      help = true;
      return std::nullopt;
    } else if (arg == "--no-save") {
      if (auto e = flag(o.save)) return e;
    } else if (arg == "--no-trans") {
      if (auto e = flag(o.trans)) return e;
    } else if (arg != "--rate" && arg != "--title" && arg != "--copyright" && arg != "--date" &&
               arg != "--variant" && arg != "--encoding" && arg != "-o" && arg != "-d") {
      return "unknown option '" + arg + "'";
    } else if (!(v = value())) {
      return "option '" + arg + "' needs a value";
    } else if (arg == "--rate") {
      if (*v != "4000" && *v != "8000") return "--rate must be 4000 or 8000";
      o.rate = std::stoi(*v);
    } else if (arg == "--title") {
      o.title = *v;
    } else if (arg == "--copyright") {
      o.copyright = *v;
    } else if (arg == "--date") {
      if (!IsDate(*v)) return "--date must be eight digits, YYYYMMDD";
      o.date = *v;
    } else if (arg == "--variant") {
      if (*v != "0" && *v != "1" && *v != "2") return "--variant must be 0, 1 or 2";
      o.variant = *v->c_str() - '0';
    } else if (arg == "--encoding") {
      if (!(o.encoding = TextEncodingFromName(*v)))
        return "--encoding must be cp932, cp1252 or utf-8";
    } else if (arg == "-o") {
      o.output = *v;
    } else {
      o.directory = *v;
    }
  }
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

std::string TodayStamp() {
  char buffer[9] = {};
  return FormatDateStamp(buffer, sizeof buffer) == 8 ? std::string(buffer, 8) : std::string();
}

}  // namespace

int ConvertMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err) {
  Options options;
  bool help = false;
  if (const std::optional<std::string> error = Parse(args, options, help); error && !help)
    return ReportUsageError(err, "convert: " + *error);
  if (help) {
    out << kHelp;
    return kExitOk;
  }
  const TextEncoding encoding = options.encoding.value_or(DefaultTextEncoding(language));
  const std::string date = options.date.value_or(TodayStamp());

  int status = kExitOk;
  for (const std::string& path : options.files) {
    Conversion conversion;
    ConversionOutcome outcome = conversion.Open(path);
    if (outcome.messageId != 0) {
      ReportRefusal(err, path, outcome, language);
      status = kExitRefused;
      continue;
    }
    const int32_t inputRate = conversion.InputRate();
    if (options.rate == 8000 && !EightKilohertzAvailable(inputRate)) {
      err << kProgram << ": " << path
          << ": 8000 Hz needs an input of 8000 Hz or more (this one has " << inputRate
          << " Hz); use --rate 4000\n";
      status = kExitRefused;
      continue;
    }
    ConversionSettings settings;
    settings.targetRate = options.rate.value_or(DefaultTargetRate(inputRate));
    settings.save = options.save;
    // Transfer needs saving: switching saving off switches transfer off too.
    settings.trans = options.trans && options.save;
    settings.title =
        EncodeText(options.title.value_or(conversion.BaseName()), encoding, kTextLimit);
    settings.copyright = EncodeText(options.copyright, encoding, kTextLimit);
    settings.date = date;
    settings.variant = options.variant;

    std::string target = conversion.DefaultOutputPath();
    if (options.output) {
      target = *options.output;
    } else if (options.directory) {
      target =
          (std::filesystem::path(*options.directory) / std::filesystem::path(target).filename())
              .string();
    }
    outcome = conversion.Finish(settings, target);
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
