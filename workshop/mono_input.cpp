#include "workshop/mono_input.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

int64_t HeldInput::Read(int64_t first, int64_t count, std::vector<float>& out) {
  const int64_t end = std::clamp<int64_t>(first + count, first, frames_);
  if (first < 0 || first >= end) return 0;
  const auto held = static_cast<int64_t>(held_.size());
  for (int64_t i = first; i < std::min(end, held); ++i) out.push_back(held_[size_t(i)]);
  if (end > held) out.resize(out.size() + size_t(end - std::max(first, held)), 0.0f);
  return end - first;
}

int64_t SoundFileInput::Read(int64_t first, int64_t count, std::vector<float>& out) {
  const size_t before = out.size();
  const int64_t got = file_.ReadMono(first, count, out);
  // A floating-point file may hold what is no number; it counts as silence.
  for (size_t i = before; i < out.size(); ++i) {
    if (!std::isfinite(out[i])) out[i] = 0.0f;
  }
  return got;
}

}  // namespace pelorin
