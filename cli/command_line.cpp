#include "cli/command_line.h"

namespace pelorin::cli {

int ReportUsageError(std::ostream& err, std::string_view message) {
  err << kProgram << ": " << message << "\nTry '" << kProgram << " --help' for more information.\n";
  return kExitUsage;
}

}  // namespace pelorin::cli
