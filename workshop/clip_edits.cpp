#include "workshop/clip_edits.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace pelorin {

SoundSpanScan::SoundSpanScan(double thresholdDbfs)
    : threshold_(static_cast<float>(32768.0 * std::pow(10.0, thresholdDbfs / 20.0))) {}

void SoundSpanScan::Add(std::span<const float> block) {
  const auto loud = [&](float s) { return std::fabs(s) > threshold_; };
  const auto first = std::find_if(block.begin(), block.end(), loud);
  if (first != block.end()) {
    const auto last = std::find_if(block.rbegin(), block.rend(), loud);
    const int64_t end = seen_ + (block.rend() - last);
    if (span_) {
      span_->end = end;
    } else {
      span_ = Span{seen_ + (first - block.begin()), end};
    }
  }
  seen_ += static_cast<int64_t>(block.size());
}

std::optional<SoundSpanScan::Span> SoundSpanScan::Result() const {
  return span_;
}

double FadeInGain(int64_t i, int64_t n) {
  const double x = double(i + 1) / double(n + 1);
  return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
}

void ApplyFades(std::span<float> clip, int64_t in, int64_t out) {
  const auto size = static_cast<int64_t>(clip.size());
  in = std::clamp<int64_t>(in, 0, size);
  out = std::clamp<int64_t>(out, 0, size);
  for (int64_t i = 0; i < in; ++i) clip[i] = float(clip[i] * FadeInGain(i, in));
  for (int64_t i = 0; i < out; ++i) {
    float& s = clip[size - 1 - i];
    s = float(s * FadeInGain(i, out));
  }
}

void ApplyGain(std::span<float> clip, double db) {
  const double factor = std::pow(10.0, db / 20.0);
  for (float& s : clip) s = float(s * factor);
}

std::vector<int16_t> RoundTo16Bits(std::span<const float> clip) {
  std::vector<int16_t> out(clip.size());
  // A 32-bit xorshift: small, fast and the same on every machine.
  uint32_t state = 0x9E3779B9u;
  const auto next = [&] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return double(state) * (1.0 / 4294967296.0);
  };
  for (size_t i = 0; i < clip.size(); ++i) {
    // Drawn for every sample, so that a sample's dither does not depend on the ones before it.
    const double dither = next() - next();
    double s = std::isnan(clip[i]) ? 0.0 : clip[i];
    if (s != std::nearbyint(s)) s = std::floor(s + dither + 0.5);
    out[i] = static_cast<int16_t>(std::clamp(s, -32768.0, 32767.0));
  }
  return out;
}

}  // namespace pelorin
