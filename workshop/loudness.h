#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>

namespace pelorin {

// A clip's loudness as EBU R128 measures it, through libebur128.
struct Loudness {
  std::optional<double> integrated;  // LUFS; nothing for a clip the gate finds silent
  double truePeakDb = -HUGE_VAL;     // dBTP (true peak, 4x oversampled at 48 kHz and below)
};

// Measures a mono clip in the 16-bit scale. Nothing when the meter cannot take the rate.
std::optional<Loudness> MeasureLoudness(std::span<const float> clip, int32_t rate);

// The gain that brings a clip of that loudness to targetLufs, lowered where needed so that its
// true peak stays at or below ceilingDbtp: a gain cap, not a limiter, so the sound's dynamics
// are kept. Nothing for a silent clip.
struct NormalizingGain {
  double db = 0.0;
  bool capped = false;  // the peak, not the target, set the gain
};
std::optional<NormalizingGain> GainToTarget(const Loudness& loudness, double targetLufs,
                                            double ceilingDbtp = -1.0);

}  // namespace pelorin
