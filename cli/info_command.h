#pragma once

#include <ostream>
#include <span>
#include <string>

#include "pipeline/string_table.h"

namespace pelorin::cli {

// `info FILE...`: shows what each KIVRA file holds (chunks, tags, format, play time) and
// whether its length, checksum and check codes are right; damage goes to err as
// "pelorin-cli: FILE: offset N: what". Returns the exit status.
int InfoMain(std::span<const std::string> args, Language language, std::ostream& out,
             std::ostream& err);

}  // namespace pelorin::cli
