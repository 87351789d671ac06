#include "engine/stereo_merger.h"

#include <algorithm>
#include <climits>
#include <new>

namespace pelorin {

StereoMerger::StereoMerger(SampleSource& left, SampleSource& right) : left_(left), right_(right) {
  const SourceFormat& l = left.Format();
  const SourceFormat& r = right.Format();
  format_.channels = 2;
  format_.bitsPerSample = l.bitsPerSample;
  format_.bytesPerSample = l.bytesPerSample;
  format_.blockAlign = static_cast<uint16_t>(2 * l.bytesPerSample);
  format_.sampleRate = l.sampleRate;
  format_.dataBytes = static_cast<int32_t>(
      std::min<int64_t>(INT32_MAX, 2 * int64_t{std::min(l.dataBytes, r.dataBytes)}));
  format_.dataOffset = l.dataOffset;
  format_.frameCount = std::min(l.frameCount, r.frameCount);
}

int32_t StereoMerger::Read(int16_t* dst, int32_t frames) {
  if (dst == nullptr || frames < 0) return -1;
  if (size_t(frames) > scratch_.size()) {
    try {
      scratch_.resize(size_t(frames));
    } catch (const std::bad_alloc&) {
      return -1;
    }
  }
  const int32_t left = left_.Read(scratch_.data(), frames);
  if (left < 0) return -1;
  for (int32_t i = 0; i < left; ++i) dst[2 * i] = scratch_[size_t(i)];
  const int32_t right = right_.Read(scratch_.data(), left);
  if (right < 0) return -1;
  for (int32_t i = 0; i < right; ++i) dst[2 * i + 1] = scratch_[size_t(i)];
  return right;
}

}  // namespace pelorin
