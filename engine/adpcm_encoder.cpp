#include "engine/adpcm_encoder.h"

#include "engine/adpcm_codec_steps.h"

namespace pelorin {

void ApplyAdpcmCode(int32_t& predictor, int32_t& step, uint8_t code) {
  adpcm::Reconstruct(predictor, step, code);
}

void AdpcmEncoder::Encode(const int16_t* samples, uint8_t* out, int32_t count) {
  // The state lives in locals: every byte store could alias the members otherwise.
  int32_t p = predictor;
  int32_t s = step;
  int32_t i = 0;
  for (; i + 1 < count; i += 2) {
    const uint8_t low = adpcm::EncodeStep(samples[i], p, s);
    const uint8_t high = adpcm::EncodeStep(samples[i + 1], p, s);
    out[i / 2] = static_cast<uint8_t>(low | (high << 4));
  }
  // An odd last sample takes a whole byte, its high nibble 0.
  if (i < count) out[i / 2] = adpcm::EncodeStep(samples[i], p, s);
  predictor = p;
  step = s;
}

}  // namespace pelorin
