#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/adpcm_decoder.h"
#include "writer/kivra_reader.h"

namespace {

// The decode command's work: one stream per channel, mono packing two codes in a byte and
// stereo a frame in a byte.
void DecodeAll(std::span<const uint8_t> adpcm, int channels) {
  std::vector<int16_t> pcm(adpcm.size() * 2);
  pelorin::AdpcmDecoder left;
  pelorin::AdpcmDecoder right;
  left.Reset();
  right.Reset();
  for (size_t n = 0; n < adpcm.size(); ++n) {
    if (channels == 1) {
      left.Decode(&adpcm[n], &pcm[2 * n], 2);
    } else {
      const auto low = static_cast<uint8_t>(adpcm[n] & 0x0F);
      const auto high = static_cast<uint8_t>(adpcm[n] >> 4);
      left.Decode(&low, &pcm[2 * n], 1);
      right.Decode(&high, &pcm[2 * n + 1], 1);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = std::span(data, size);
  const pelorin::KivraReport report = pelorin::ReadKivra(file);
  if (report.Sound()) {
    if (report.channels != 1 && report.channels != 2) __builtin_trap();
    DecodeAll(file.subspan(*report.adpcmOffset, report.adpcmLength), report.channels);
  }
  // The decoder on its own over raw codes, bounded, in both layouts: every code sequence must
  // keep its arithmetic and table lookups in range.
  const size_t count = std::min<size_t>(size, 1 << 16);
  std::vector<int16_t> pcm(2 * count);
  pelorin::AdpcmDecoder decoder;
  decoder.Reset();
  decoder.Decode(data, pcm.data(), static_cast<int32_t>(2 * count));
  DecodeAll(file.first(count), 2);
  return 0;
}
