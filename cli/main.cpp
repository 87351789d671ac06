// pelorin-cli: the converter's command line.

#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/convert_command.h"
#include "cli/decode_command.h"
#include "cli/info_command.h"
#include "cli/inspect_command.h"
#include "pipeline/string_table.h"
#include "pipeline/version.h"

namespace {

constexpr const char* kHelp =
    "Usage: pelorin-cli COMMAND [OPTION]... FILE...\n"
    "Turn sound files into KIVRA ring-tone files (.mmf).\n"
    "\n"
    "Commands:\n"
    "  convert [OPTION]... FILE...  convert each file into a KIVRA file beside it\n"
    "                            (see 'pelorin-cli convert --help')\n"
    "  inspect [--json] FILE...  check each file as a conversion would and show its\n"
    "                            format, or why it is refused; --json prints one JSON\n"
    "                            object per file per line\n"
    "  info FILE.mmf...          show a KIVRA file's chunks, texts and play time, and\n"
    "                            check its lengths, checksum and check codes\n"
    "  decode FILE.mmf -o OUT.wav  decode a KIVRA file's sound into a WAV file\n"
    "\n"
    "Options:\n"
    "  --help     display this help and exit\n"
    "  --version  output version information and exit\n"
    "\n"
    "Run 'pelorin-cli COMMAND --help' for a command's options.\n"
    "Inputs are WAV and AIFF files (integer PCM, 8 or 16 bits, 1 or 2 channels, 4000\n"
    "to 48000 Hz, longer than 20 ms), read as the window reads them, and any other\n"
    "file libsndfile reads (FLAC, Ogg, Opus, MP3, deeper WAV/AIFF, ...), decoded.\n"
    "Messages are in Japanese when the locale (LANGUAGE, LC_ALL, LC_MESSAGES, LANG)\n"
    "names Japanese, otherwise in English.\n"
    "\n"
    "Exit status: 0 when every file was handled, 1 when any was refused or is\n"
    "damaged, 2 for a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace pelorin::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return ReportUsageError(std::cerr, "no command given");
  const std::string& command = args.front();
  if (command == "--help") {
    std::cout << kHelp;
    return kExitOk;
  }
  if (command == "--version") {
    std::cout << kProgram << " (Pelorin) " << pelorin::kVersion << '\n';
    return kExitOk;
  }
  const std::span<const std::string> rest(args.begin() + 1, args.end());
  using Command =
      int (*)(std::span<const std::string>, pelorin::Language, std::ostream&, std::ostream&);
  Command run = nullptr;
  if (command == "convert") run = ConvertMain;
  if (command == "inspect") run = InspectMain;
  if (command == "info") run = InfoMain;
  if (command == "decode") run = DecodeMain;
  if (run != nullptr) {
    int status = kExitRefused;
    try {
      status = run(rest, pelorin::UserLanguage(), std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
      // Memory ran out on a step with no refusal of its own (decoding a huge file, say): a
      // refusal too, not an abort.
      std::cout.flush();
      std::cerr << kProgram << ": out of memory\n";
      return kExitRefused;
    }
    std::cout.flush();
    return std::cout ? status : kExitRefused;
  }
  return ReportUsageError(std::cerr, "unknown command '" + command + "'");
}
