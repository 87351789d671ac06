#include "cli/decode_command.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "cli/command_line.h"
#include "cli/option_parser.h"
#include "pipeline/file_system.h"
#include "pipeline/input_file.h"
#include "pipeline/kivra_decoding.h"

namespace pelorin::cli {
namespace {

constexpr const char* kHelp =
    "Usage: pelorin-cli decode FILE.mmf -o OUT.wav\n"
    "Decode the ADPCM audio of a KIVRA file into a 16-bit PCM WAV file at the file's\n"
    "sampling rate: mono, or stereo for a stereo stream. OUT.wav is replaced whole or\n"
    "not at all. A damaged file (see 'pelorin-cli info') is refused.\n"
    "\n"
    "A mono file packs two samples into each byte, so it gives twice as many samples as\n"
    "it has ADPCM bytes; for a clip with an odd number of samples the last one comes\n"
    "from the padding nibble and is not part of the original sound.\n"
    "\n"
    "  -o FILE   the WAV file to write (required)\n"
    "  --help    display this help and exit\n"
    "\n"
    "Exit status: 0 when the file was decoded, 1 when it is damaged or cannot be read or\n"
    "written, 2 for a usage error.\n";

}  // namespace

int DecodeMain(std::span<const std::string> args, Language /*language*/, std::ostream& out,
               std::ostream& err) {
  static constexpr OptionSpec kOptions[] = {{"-o", true}};
  const ParsedArgs parsed = ParseArgs(args, kOptions);
  if (parsed.help) {
    out << kHelp;
    return kExitOk;
  }
  if (!parsed.error.empty()) return ReportUsageError(err, "decode: " + parsed.error);
  const std::vector<std::string>& files = parsed.files;
  std::optional<std::string> output;
  for (const ParsedOption& option : parsed.options) output = option.value;
  if (files.empty()) return ReportUsageError(err, "decode: no FILE given");
  if (files.size() > 1) return ReportUsageError(err, "decode: one FILE only");
  if (!output) return ReportUsageError(err, "decode: no output given (-o OUT.wav)");

  const std::string& path = files.front();
  const std::optional<std::vector<uint8_t>> file = ReadWholeFile(path);
  if (!file) {
    err << kProgram << ": " << path << ": cannot read the file\n";
    return kExitRefused;
  }
  std::vector<uint8_t> image;
  std::vector<std::string> problems;
  const std::optional<WavImageHeader> header = DecodeKivraToWav(*file, image, problems);
  if (!header) {
    for (const std::string& problem : problems)
      err << kProgram << ": " << path << ": " << problem << '\n';
    return kExitRefused;
  }
  std::string error;
  if (!WriteFileAtomically(*output, image, &error)) {
    err << kProgram << ": " << error << '\n';
    return kExitRefused;
  }
  out << *output << ": " << header->byteCount / 2 / header->channels << " frames, "
      << header->channels << (header->channels == 1 ? " channel, " : " channels, ")
      << header->sampleRate << " Hz\n";
  return kExitOk;
}

}  // namespace pelorin::cli
