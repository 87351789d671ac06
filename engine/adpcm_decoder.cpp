#include "engine/adpcm_decoder.h"

namespace pelorin {

void AdpcmDecoder::Decode(const uint8_t* in, int16_t* out, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t byte = in[i / 2];
    const auto code = static_cast<uint8_t>(i % 2 == 0 ? byte & 0x0F : byte >> 4);
    ApplyAdpcmCode(predictor, step, code);
    out[i] = static_cast<int16_t>(predictor);
  }
}

std::vector<int16_t> DecodeAdpcm(std::span<const uint8_t> adpcm, int channels) {
  std::vector<int16_t> pcm(adpcm.size() * 2);
  AdpcmDecoder left;
  AdpcmDecoder right;
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
  return pcm;
}

}  // namespace pelorin
