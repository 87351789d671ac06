#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin::cli {

// An option a command knows: its name as typed ("--rate", "-o") and whether it takes a value;
// an optional value is only taken as "--name=value".
struct OptionSpec {
  std::string_view name;
  bool takesValue = false;
  bool valueOptional = false;
};

struct ParsedOption {
  std::string name;
  std::string value;  // empty for an option without a value
  bool hasValue = false;
};

// A command's arguments, read the GNU way: options and files in any order until "--", after
// which everything is a file; "--name=value" or "--name value" for long options, "-o value" for
// short ones; a lone "-" is a file. "--help" ends the reading.
struct ParsedArgs {
  std::vector<ParsedOption> options;  // in the order given
  std::vector<std::string> files;
  bool help = false;
  std::string error;  // the first usage error, or empty
};

ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> known);

}  // namespace pelorin::cli
