#include "engine/channel_splitter.h"

#include <algorithm>
#include <new>

namespace pelorin {

ChannelTap::ChannelTap(ChannelSplitter& splitter, int32_t channel, const SourceFormat& stereo)
    : splitter_(splitter), channel_(channel) {
  format_.channels = 1;
  format_.bitsPerSample = stereo.bitsPerSample;
  format_.bytesPerSample = stereo.bytesPerSample;
  format_.blockAlign = stereo.bytesPerSample;
  format_.sampleRate = stereo.sampleRate;
  format_.dataBytes = stereo.dataBytes / 2;
  format_.dataOffset = stereo.dataOffset;
  format_.frameCount = stereo.frameCount;
}

int32_t ChannelTap::Read(int16_t* dst, int32_t frames) {
  return splitter_.ReadChannel(dst, channel_, frames);
}

ChannelSplitter::ChannelSplitter(SampleSource& source)
    : source_(source), left_(*this, 0, source.Format()), right_(*this, 1, source.Format()) {}

int32_t ChannelSplitter::ReadChannel(int16_t* dst, int32_t channel, int32_t n) {
  if (dst == nullptr || n < 0 || channel < 0 || channel > 1) return -1;
  if (channel == 0) {
    if (consumed_[0] == consumed_[1]) {
      consumed_[0] = consumed_[1] = buffered_ = 0;
    }
    const int64_t needed = 2 * (int64_t{buffered_} + n);
    if (needed > INT32_MAX) return -1;
    if (needed > int64_t(frames_.size())) {
      try {
        frames_.resize(std::max<size_t>(size_t(needed), 2 * frames_.size()));
      } catch (const std::bad_alloc&) {
        return -1;
      }
    }
    const int32_t got = source_.Read(frames_.data() + 2 * buffered_, n);
    if (got < 0) return -1;
    buffered_ += std::min(got, n);
  }
  const int32_t count = std::min(n, buffered_ - consumed_[channel]);
  if (count <= 0) return 0;
  const int16_t* from = frames_.data() + 2 * consumed_[channel] + channel;
  for (int32_t i = 0; i < count; ++i) dst[i] = from[2 * i];
  consumed_[channel] += count;
  return count;
}

}  // namespace pelorin
