#include "engine/adpcm_encoder.h"

#include <algorithm>
#include <cstdlib>

namespace pelorin {
namespace {

constexpr int32_t kMinStep = 127;
constexpr int32_t kMaxStep = 24576;
// Step multipliers by magnitude, in 1/256.
constexpr int32_t kStepScale[8] = {230, 230, 230, 230, 307, 409, 512, 614};

}  // namespace

void ApplyAdpcmCode(int32_t& predictor, int32_t& step, uint8_t code) {
  const int32_t magnitude = code & 7;
  // Each term is truncated on its own; summing first would give other values.
  int32_t difference = step / 8;
  if (magnitude & 1) difference += step / 4;
  if (magnitude & 2) difference += step / 2;
  if (magnitude & 4) difference += step;
  if (code & 8) difference = -difference;
  predictor = std::clamp(predictor + difference, int32_t{-32768}, int32_t{32767});
  step = std::clamp((step * kStepScale[magnitude]) >> 8, kMinStep, kMaxStep);
}

void AdpcmEncoder::Encode(const int16_t* samples, uint8_t* out, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t difference = samples[i] - predictor;
    const int32_t magnitude = std::min(std::abs(difference) / (step / 4), int32_t{7});
    const auto code = static_cast<uint8_t>((difference < 0 ? 8 : 0) | magnitude);
    ApplyAdpcmCode(predictor, step, code);
    uint8_t& byte = out[i / 2];
    byte = (i % 2 == 0) ? code : static_cast<uint8_t>((byte & 0x0F) | (code << 4));
  }
}

}  // namespace pelorin
