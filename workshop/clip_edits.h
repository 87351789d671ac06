#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pelorin {

// Mono samples in the 16-bit scale (full scale 32768.0) as the workshop edits them: float, so
// that a 16-bit sample is held exactly and a deeper one keeps what rounding would lose.

// Where the sound of a clip is, seen block by block: the first and one past the last sample
// whose magnitude is above a threshold.
class SoundSpanScan {
 public:
  explicit SoundSpanScan(double thresholdDbfs);
  void Add(std::span<const float> block);
  struct Span {
    int64_t first = 0;
    int64_t end = 0;
  };
  // Nothing when no sample was above the threshold.
  std::optional<Span> Result() const;

 private:
  float threshold_;
  int64_t seen_ = 0;
  std::optional<Span> span_;
};

// The gain of sample i of a fade-in over n samples: a raised cosine rising from near 0 to near 1
// that never reaches either (the samples next to the fade are the ones at 0 and 1).
double FadeInGain(int64_t i, int64_t n);

// Fades the first `in` samples in and the last `out` samples out (each cut to the clip).
void ApplyFades(std::span<float> clip, int64_t in, int64_t out);

// Multiplies every sample by a gain in decibels.
void ApplyGain(std::span<float> clip, double db);

// The clip as 16-bit samples: each sample that is already a whole number stays what it is (a
// 16-bit clip passes unchanged, silence stays silent); any other gets triangular dither of one
// step either way before rounding, from a generator that starts from the same seed for every
// clip, so that the same input always gives the same samples. Clipped to the 16-bit range.
std::vector<int16_t> RoundTo16Bits(std::span<const float> clip);

}  // namespace pelorin
