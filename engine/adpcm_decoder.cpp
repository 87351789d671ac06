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

}  // namespace pelorin
