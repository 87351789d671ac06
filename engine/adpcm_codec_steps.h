#pragma once

// The codec's per-sample steps, inlined into every loop that encodes or decodes: the decoder's
// reconstruction from a code, and the standard encoder's step, which chooses a code and
// reconstructs as the decoder will. The two forms are kept equal by the tests against plain
// step-by-step code.

#include <algorithm>
#include <cstdint>

namespace pelorin::adpcm {

constexpr int32_t kMinStep = 127;
constexpr int32_t kMaxStep = 24576;
// Step multipliers by magnitude, in 1/256.
constexpr int32_t kStepScale[8] = {230, 230, 230, 230, 307, 409, 512, 614};
static_assert(kStepScale[0] == kStepScale[1] && kStepScale[0] == kStepScale[2] &&
                  kStepScale[0] == kStepScale[3] && kStepScale[0] < 256 && kStepScale[4] > 256,
              "magnitudes 0 to 3 shrink the step alike, 4 to 7 grow it");

// All ones when the bit is set, else 0: the codes of real sound are random enough that
// branches on their bits are mispredicted about half the time.
constexpr int32_t BitMask(int32_t value, int bit) {
  return -((value >> bit) & 1);
}

// x when c, else y. The condition is marked a coin toss, so that the compiler chooses without a
// branch (a conditional move) rather than guessing the way.
inline int32_t Choose(bool c, int32_t x, int32_t y) {
  return __builtin_expect_with_probability(c, true, 0.5) ? x : y;
}

// The next step for each magnitude, clamp((step x kStepScale[m]) >> 8, kMinStep, kMaxStep),
// made from the step alone, so that choosing one puts no table load or multiplication between
// one sample's code and the next sample's step. Only one bound can apply to each: a scale below
// 256 shrinks the step, one above grows it.
struct NextSteps {
  int32_t shrunk;    // magnitudes 0 to 3
  int32_t grown[4];  // magnitudes 4 to 7
};

inline NextSteps NextStepsOf(int32_t step) {
  const auto scaled = [step](int m) { return (step * kStepScale[m]) >> 8; };
  const auto grown = [&scaled](int m) { return Choose(scaled(m) > kMaxStep, kMaxStep, scaled(m)); };
  return {Choose(scaled(0) < kMinStep, kMinStep, scaled(0)),
          {grown(4), grown(5), grown(6), grown(7)}};
}

// The body of ApplyAdpcmCode: the decoder's reconstruction. The step is always in
// kMinStep..kMaxStep, so shifts divide it as the truncating divisions do, without their
// corrections for negative numbers.
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
  const NextSteps next = NextStepsOf(step);
  step = (magnitude & 4) != 0 ? next.grown[magnitude & 3] : next.shrunk;
}

// The standard encoder's step for one sample: the code is the sign of the difference from the
// predictor and how many of q, 2q, ..., 7q (q a quarter step) its size reaches; then the
// predictor and step move as Reconstruct moves them for that code. The chain from one sample's
// predictor to the next is kept short: the seven comparisons choose the rebuilt difference and
// the next step directly, each among candidates made from the step alone, instead of going
// through the code's bits, and no division is needed.
inline uint8_t EncodeStep(int32_t sample, int32_t& predictor, int32_t& step) {
  const int32_t q = step >> 2;
  const int32_t q2 = 2 * q;
  const int32_t q3 = q2 + q;
  const int32_t q4 = 2 * q2;
  const int32_t q5 = q4 + q;
  const int32_t q6 = 2 * q3;
  const int32_t q7 = q4 + q3;
  const int32_t difference = sample - predictor;
  const bool negative = difference < 0;
  const int32_t a = negative ? -difference : difference;
  const bool c1 = a >= q;
  const bool c2 = a >= q2;
  const bool c3 = a >= q3;
  const bool c4 = a >= q4;
  const bool c5 = a >= q5;
  const bool c6 = a >= q6;
  const bool c7 = a >= q7;
  const int32_t magnitude = ((int32_t{c1} + int32_t{c2}) + (int32_t{c3} + int32_t{c4})) +
                            ((int32_t{c5} + int32_t{c6}) + int32_t{c7});

  // What Reconstruct rebuilds for magnitudes 0 to 3 (4 to 7 add the step): step / 8, plus
  // step / 4 for bit 0 and step / 2 for bit 1. The comparisons hold up to the magnitude, so three
  // levels of choice find it.
  const int32_t d0 = step >> 3;
  const int32_t d1 = d0 + (step >> 2);
  const int32_t d2 = d0 + (step >> 1);
  const int32_t d3 = d1 + (step >> 1);
  const int32_t low = Choose(c2, Choose(c3, d3, d2), Choose(c1, d1, d0));
  const int32_t high = Choose(c6, Choose(c7, d3, d2), Choose(c5, d1, d0)) + step;
  const int32_t rebuilt = Choose(c4, high, low);
  const int32_t moved = predictor + Choose(negative, -rebuilt, rebuilt);
  predictor = Choose(moved > 32767, 32767, Choose(moved < -32768, -32768, moved));

  const NextSteps next = NextStepsOf(step);
  step = Choose(c4,
                Choose(c6, Choose(c7, next.grown[3], next.grown[2]),
                       Choose(c5, next.grown[1], next.grown[0])),
                next.shrunk);
  return static_cast<uint8_t>((negative ? 8 : 0) | magnitude);
}

}  // namespace pelorin::adpcm
