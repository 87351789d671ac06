#pragma once

#include <ostream>
#include <span>
#include <string>

#include "pipeline/string_table.h"

namespace pelorin::cli {

// `decode FILE.mmf -o OUT.wav`: decodes the ADPCM audio of a sound KIVRA file into a 16-bit
// PCM WAV file at the file's rate, replacing OUT.wav whole or not at all. Returns the exit
// status.
int DecodeMain(std::span<const std::string> args, Language language, std::ostream& out,
               std::ostream& err);

}  // namespace pelorin::cli
