#include "cli/option_parser.h"

#include <algorithm>
#include <optional>

namespace pelorin::cli {

ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> known) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help") {
      parsed.help = true;
      return parsed;
    }
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    const auto entry = std::find_if(known.begin(), known.end(),
                                    [&](const OptionSpec& o) { return o.name == arg; });
    if (entry == known.end()) {
      parsed.error = "unknown option '" + arg + "'";
      return parsed;
    }
    ParsedOption option{arg, "", false};
    if (entry->valueOptional) {
      option.hasValue = inlineValue.has_value();
      option.value = inlineValue.value_or("");
    } else if (!entry->takesValue) {
      if (inlineValue) {
        parsed.error = "option '" + arg + "' takes no value";
        return parsed;
      }
    } else if (inlineValue) {
      option.value = *inlineValue;
      option.hasValue = true;
    } else if (i + 1 < args.size()) {
      option.value = args[++i];
      option.hasValue = true;
    } else {
      parsed.error = "option '" + arg + "' needs a value";
      return parsed;
    }
    parsed.options.push_back(std::move(option));
  }
  return parsed;
}

}  // namespace pelorin::cli
