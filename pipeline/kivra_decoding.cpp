#include "pipeline/kivra_decoding.h"

#include "engine/adpcm_decoder.h"
#include "kivra/kivra_reader.h"

namespace pelorin {

std::optional<WavImageHeader> DecodeKivraToWav(std::span<const uint8_t> kivra,
                                               std::vector<uint8_t>& wav,
                                               std::vector<std::string>& why) {
  const KivraReport report = ReadKivra(kivra);
  if (!report.Sound()) {
    for (const KivraProblem& p : report.problems)
      why.push_back("offset " + std::to_string(p.offset) + ": " + p.what);
    return std::nullopt;
  }
  // A sound report always has the rate, the channels and the data.
  const auto adpcm = kivra.subspan(*report.adpcmOffset, report.adpcmLength);
  // The WAV header counts the data's bytes in 32 bits; each ADPCM byte gives two samples.
  if (adpcm.size() > (INT32_MAX - 44) / 4) {
    why.push_back("too much audio for a WAV file");
    return std::nullopt;
  }
  const std::vector<int16_t> pcm = DecodeAdpcm(adpcm, report.channels);
  WavImageHeader header;
  header.channels = static_cast<uint16_t>(report.channels);
  header.sampleRate = report.sampleRate;
  header.byteCount = static_cast<int32_t>(pcm.size() * 2);
  WriteWavImage(header, pcm, wav);
  return header;
}

}  // namespace pelorin
