#pragma once

#include <ostream>
#include <span>
#include <string>

#include "pipeline/string_table.h"

namespace pelorin::cli {

// `inspect [--json] FILE...`: checks each file as a conversion would (name, reading, loading)
// and reports its format or the reason it is refused. Returns the exit status.
int InspectMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err);

}  // namespace pelorin::cli
