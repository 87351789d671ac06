#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "pipeline/conversion.h"
#include "pipeline/string_table.h"

namespace pelorin::cli {

inline constexpr std::string_view kProgram = "pelorin-cli";

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// Prints "pelorin-cli: FILE: TEXT (DETAIL)" for an outcome that has a message.
void ReportRefusal(std::ostream& err, const std::string& path, const ConversionOutcome& outcome,
                   Language language);

// Prints "pelorin-cli: MESSAGE" and the pointer to --help; returns kExitUsage.
int ReportUsageError(std::ostream& err, std::string_view message);

}  // namespace pelorin::cli
