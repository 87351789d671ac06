#include "cli/command_line.h"

namespace pelorin::cli {

int ReportUsageError(std::ostream& err, std::string_view message) {
  err << kProgram << ": " << message << "\nTry '" << kProgram << " --help' for more information.\n";
  return kExitUsage;
}

void ReportRefusal(std::ostream& err, const std::string& path, const ConversionOutcome& outcome,
                   Language language) {
  err << kProgram << ": " << path << ": ";
  if (outcome.messageId != 0) {
    err << LoadString(outcome.messageId, language);
  } else if (outcome.failedStep != nullptr) {
    err << outcome.failedStep << " failed (" << outcome.code << ")";
  }
  if (!outcome.refusal.Empty()) err << " (" << Describe(outcome.refusal) << ")";
  if (!outcome.detail.empty()) err << " (" << outcome.detail << ")";
  err << '\n';
}

}  // namespace pelorin::cli
