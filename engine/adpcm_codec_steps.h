#pragma once

// The codec's per-sample steps, inlined into every loop that encodes: the standard encoder's
// choice of a code and the decoder's reconstruction. Everything that encodes or decodes goes
// through ApplyAdpcmCode or these, so the reconstruction exists once.

#include <algorithm>
#include <cstdint>

namespace pelorin::adpcm {

constexpr int32_t kMinStep = 127;
constexpr int32_t kMaxStep = 24576;
// Step multipliers by magnitude, in 1/256.
constexpr int32_t kStepScale[8] = {230, 230, 230, 230, 307, 409, 512, 614};
static_assert(kStepScale[0] == kStepScale[1] && kStepScale[0] == kStepScale[2] &&
                  kStepScale[0] == kStepScale[3] && kStepScale[0] < 256 && kStepScale[4] > 256,
              "NextStep takes magnitudes 0 to 3 alike, shrinking, and 4 to 7 growing");

// All ones when the bit is set, else 0: the codes of real sound are random enough that
// branches on their bits are mispredicted about half the time.
constexpr int32_t BitMask(int32_t value, int bit) {
  return -((value >> bit) & 1);
}

// min(7, a / q) for q >= 1: how many of q, 2q, ..., 7q the magnitude a reaches, without the
// division that would otherwise dominate every sample. The multiples and the counts are
// formed as shallow trees, so that little of it lies on the chain from sample to sample.
inline int32_t Quantise(int32_t a, int32_t q) {
  const int32_t q2 = 2 * q;
  const int32_t q3 = q2 + q;
  const int32_t q4 = 2 * q2;
  const int32_t q5 = q4 + q;
  const int32_t q6 = 2 * q3;
  const int32_t q7 = q4 + q3;
  auto reached = [a](int32_t threshold) { return a >= threshold ? 1 : 0; };
  return ((reached(q) + reached(q2)) + (reached(q3) + reached(q4))) +
         ((reached(q5) + reached(q6)) + reached(q7));
}

// clamp((step x kStepScale[magnitude]) >> 8, kMinStep, kMaxStep). Every candidate comes from
// the step alone and the magnitude only chooses among them, so no table load or multiplication
// lies between one sample's code and the next sample's step. Only one bound can apply to each:
// a scale below 256 shrinks the step, one above grows it.
inline int32_t NextStep(int32_t step, int32_t magnitude) {
  const int32_t shrunk = std::max((step * kStepScale[0]) >> 8, kMinStep);
  const int32_t grown4 = std::min((step * kStepScale[4]) >> 8, kMaxStep);
  const int32_t grown5 = std::min((step * kStepScale[5]) >> 8, kMaxStep);
  const int32_t grown6 = std::min((step * kStepScale[6]) >> 8, kMaxStep);
  const int32_t grown7 = std::min((step * kStepScale[7]) >> 8, kMaxStep);
  const int32_t low = (magnitude & 1) != 0 ? grown5 : grown4;
  const int32_t high = (magnitude & 1) != 0 ? grown7 : grown6;
  const int32_t grown = (magnitude & 2) != 0 ? high : low;
  return (magnitude & 4) != 0 ? grown : shrunk;
}

// The body of ApplyAdpcmCode. The step is always in kMinStep..kMaxStep, so shifts divide it as
// the truncating divisions do, without their corrections for negative numbers.
inline void Reconstruct(int32_t& predictor, int32_t& step, uint8_t code) {
  const int32_t magnitude = code & 7;
  // Each term is truncated on its own; summing first would give other values.
  int32_t difference = step >> 3;
  difference += (step >> 2) & BitMask(magnitude, 0);
  difference += (step >> 1) & BitMask(magnitude, 1);
  difference += step & BitMask(magnitude, 2);
  const int32_t sign = BitMask(code, 3);
  difference = (difference ^ sign) - sign;
  predictor = std::clamp(predictor + difference, int32_t{-32768}, int32_t{32767});
  step = NextStep(step, magnitude);
}

// The standard encoder's code for one sample: the sign of the difference from the predictor
// and the magnitude it reaches in quarter steps.
inline uint8_t NearestCode(int32_t sample, int32_t predictor, int32_t step) {
  const int32_t difference = sample - predictor;
  const int32_t magnitude = Quantise(difference < 0 ? -difference : difference, step >> 2);
  return static_cast<uint8_t>((difference < 0 ? 8 : 0) | magnitude);
}

}  // namespace pelorin::adpcm
