#pragma once

#include <ostream>
#include <span>
#include <string>

#include "pipeline/string_table.h"

namespace pelorin::cli {

// `convert [OPTION]... FILE...`: turns each file into a KIVRA file as the window does after its
// settings, reporting one line per file. Returns the exit status.
int ConvertMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err);

}  // namespace pelorin::cli
