#pragma once

// The resampler written out plainly, one output sample at a time, as the oracle for the fast
// one: output j lies at input time j x M / L, and its value is the sum, in tap order, of each
// coefficient times its source sample, the source counting as zero outside its frames.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "engine/sinc_filter.h"

namespace pelorin::test {

inline std::vector<int16_t> ReferenceResample(const std::vector<int16_t>& source,
                                              int32_t sourceRate, int32_t targetRate,
                                              int32_t taps) {
  const int64_t n = taps & ~1;
  const int64_t divisor = std::gcd(sourceRate, targetRate);
  const int64_t l = targetRate / divisor;
  const int64_t m = sourceRate / divisor;
  const double fc = sourceRate > targetRate ? double(targetRate) * 0.5 / double(sourceRate) : 0.5;
  const bool table = l <= 640 && l * n / 2 <= 81920;
  const auto coefficient = [&](int64_t k) {
    if (k == 0) return 2.0 * fc;
    if (table)
      return double(float(ImpulseResponse(double(std::llabs(k)) / double(l), fc, taps & ~1)));
    return ImpulseResponse(double(k) / double(l), fc, taps & ~1);
  };
  const auto frames = int64_t(source.size());
  std::vector<int16_t> out;
  for (int64_t j = 0; j * m / l < frames; ++j) {
    const int64_t position = j * m / l;
    const int64_t phase = j * m % l;
    double sum = 0.0;
    for (int64_t i = 0; i < n; ++i) {
      const int64_t k = -phase - (n / 2 - 1) * l + i * l;
      const int64_t at = position - n / 2 + 1 + i;
      const double x = (at >= 0 && at < frames) ? double(source[size_t(at)]) : 0.0;
      sum += coefficient(k) * x;
    }
    const double v = sum + 0.5;
    out.push_back(v > 32767.0 ? 32767 : v < -32767.0 ? -32767 : int16_t(int32_t(v)));
  }
  return out;
}

// Both channels of interleaved stereo, each resampled on its own, interleaved again.
inline std::vector<int16_t> ReferenceResampleStereo(const std::vector<int16_t>& interleaved,
                                                    int32_t sourceRate, int32_t targetRate,
                                                    int32_t taps) {
  std::vector<int16_t> left, right;
  for (size_t i = 0; i + 1 < interleaved.size(); i += 2) {
    left.push_back(interleaved[i]);
    right.push_back(interleaved[i + 1]);
  }
  left = ReferenceResample(left, sourceRate, targetRate, taps);
  right = ReferenceResample(right, sourceRate, targetRate, taps);
  std::vector<int16_t> out;
  for (size_t i = 0; i < left.size(); ++i) {
    out.push_back(left[i]);
    out.push_back(right[i]);
  }
  return out;
}

// Noise over the whole 16-bit range with stretches at both full-scale values, from a fixed
// generator: every run sees the same signal, and the clamping is reached.
inline std::vector<int16_t> TestSignal(size_t count, uint32_t seed = 12345) {
  std::vector<int16_t> samples(count);
  uint32_t state = seed;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    const size_t stretch = (i / 97) % 5;
    if (stretch == 1) {
      samples[i] = 32767;
    } else if (stretch == 3) {
      samples[i] = -32768;
    } else {
      samples[i] = int16_t(uint16_t(state >> 16));
    }
  }
  return samples;
}

}  // namespace pelorin::test
