#include "workshop/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace pelorin {
namespace {

struct MeterDeleter {
  void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

}  // namespace

std::optional<Loudness> MeasureLoudness(std::span<const float> clip, int32_t rate) {
  if (rate <= 0) return std::nullopt;
  // The histogram keeps the meter's memory fixed however long the clip.
  const std::unique_ptr<ebur128_state, MeterDeleter> meter(
      ebur128_init(1, static_cast<unsigned long>(rate),
                   EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM));
  if (!meter) return std::nullopt;
  // The meter takes full scale as 1.0.
  constexpr size_t kBlock = 8192;
  std::vector<float> block(kBlock);
  for (size_t at = 0; at < clip.size(); at += kBlock) {
    const size_t n = std::min(kBlock, clip.size() - at);
    for (size_t i = 0; i < n; ++i) block[i] = clip[at + i] * (1.0f / 32768.0f);
    if (ebur128_add_frames_float(meter.get(), block.data(), n) != EBUR128_SUCCESS)
      return std::nullopt;
  }
  Loudness loudness;
  double value = 0.0;
  if (ebur128_loudness_global(meter.get(), &value) == EBUR128_SUCCESS && std::isfinite(value))
    loudness.integrated = value;
  if (ebur128_true_peak(meter.get(), 0, &value) == EBUR128_SUCCESS && value > 0.0)
    loudness.truePeakDb = 20.0 * std::log10(value);
  return loudness;
}

std::optional<NormalizingGain> GainToTarget(const Loudness& loudness, double targetLufs,
                                            double ceilingDbtp) {
  if (!loudness.integrated) return std::nullopt;
  NormalizingGain gain{targetLufs - *loudness.integrated, false};
  if (loudness.truePeakDb + gain.db > ceilingDbtp) {
    gain.db = ceilingDbtp - loudness.truePeakDb;
    gain.capped = true;
  }
  return gain;
}

}  // namespace pelorin
