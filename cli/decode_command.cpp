#include "cli/decode_command.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "audiofile/wav_image_writer.h"
#include "cli/command_line.h"
#include "cli/option_parser.h"
#include "engine/adpcm_decoder.h"
#include "kivra/kivra_reader.h"
#include "pipeline/file_system.h"
#include "pipeline/input_file.h"

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
  const KivraReport report = ReadKivra(*file);
  if (!report.Sound()) {
    for (const KivraProblem& p : report.problems)
      err << kProgram << ": " << path << ": offset " << p.offset << ": " << p.what << '\n';
    return kExitRefused;
  }
  // A sound report always has the rate, the channels and the data.
  const auto adpcm = std::span(*file).subspan(*report.adpcmOffset, report.adpcmLength);
  // The WAV header counts the data's bytes in 32 bits.
  if (adpcm.size() > (INT32_MAX - 44) / 4) {
    err << kProgram << ": " << path << ": too much audio for a WAV file\n";
    return kExitRefused;
  }
  const std::vector<int16_t> pcm = DecodeAdpcm(adpcm, report.channels);
  WavImageHeader header;
  header.channels = static_cast<uint16_t>(report.channels);
  header.sampleRate = report.sampleRate;
  header.byteCount = static_cast<int32_t>(pcm.size() * 2);
  std::vector<uint8_t> image;
  WriteWavImage(header, pcm, image);
  std::string error;
  if (!WriteFileAtomically(*output, image, &error)) {
    err << kProgram << ": " << error << '\n';
    return kExitRefused;
  }
  const size_t frames = pcm.size() / static_cast<size_t>(report.channels);
  out << *output << ": " << frames << " frames, " << report.channels
      << (report.channels == 1 ? " channel, " : " channels, ") << report.sampleRate << " Hz\n";
  return kExitOk;
}

}  // namespace pelorin::cli
