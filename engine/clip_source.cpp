#include "engine/clip_source.h"

#include <algorithm>

namespace pelorin {

ClipSource::ClipSource(std::span<const int16_t> samples, uint16_t channels, int32_t sampleRate,
                       int32_t first, int32_t frames)
    : samples_(samples), firstSample_(int64_t{first} * channels) {
  const int64_t dataBytes = int64_t{frames} * channels * 2;
  if ((channels != 1 && channels != 2) || first < 0 || frames < 0 || dataBytes > INT32_MAX) {
    return;
  }
  // As the reader parses the image: a 44-byte header, then the data chunk.
  format_.channels = channels;
  format_.bitsPerSample = 16;
  format_.bytesPerSample = 2;
  format_.blockAlign = static_cast<uint16_t>(2 * channels);
  format_.sampleRate = sampleRate;
  format_.dataBytes = static_cast<int32_t>(dataBytes);
  format_.dataOffset = 44;
  format_.frameCount = frames;
}

int32_t ClipSource::Read(int16_t* dst, int32_t frames) {
  if (format_.channels == 0) return -1;
  if (frames <= 0) return 0;
  const int32_t count = std::min(frames, format_.frameCount - next_);
  const int64_t begin = firstSample_ + int64_t{next_} * format_.channels;
  const int64_t end = begin + int64_t{count} * format_.channels;
  const auto held = static_cast<int64_t>(samples_.size());
  const int64_t copied = std::clamp<int64_t>(held - begin, 0, end - begin);
  if (copied > 0) std::copy_n(samples_.begin() + begin, copied, dst);
  std::fill(dst + copied, dst + (end - begin), int16_t{0});
  next_ += count;
  return count;
}

int32_t ClipSource::Rewind() {
  if (format_.channels == 0) return -1;
  next_ = 0;
  return 0;
}

int32_t ClipSource::SeekFrame(int32_t frame) {
  if (format_.channels == 0 || frame < 0) return -1;
  next_ = std::min(frame, format_.frameCount);
  return 0;
}

}  // namespace pelorin
