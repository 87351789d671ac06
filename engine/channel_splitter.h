#pragma once

#include <cstdint>
#include <vector>

#include "audiofile/sample_source.h"

namespace pelorin {

class ChannelSplitter;

// One channel of a stereo source as a mono source, read through its splitter.
class ChannelTap : public SampleSource {
 public:
  ChannelTap(ChannelSplitter& splitter, int32_t channel, const SourceFormat& stereo);

  int32_t Read(int16_t* dst, int32_t frames) override;
  int32_t ReadBytes(uint8_t*, int32_t) override { return -1; }
  int32_t Rewind() override { return -1; }

 private:
  ChannelSplitter& splitter_;
  int32_t channel_;
};

// Splits a stereo source (not owned) into two mono taps. Only the left tap reads the source;
// the right one gets the frames the left one fetched, so both must be read on the same
// schedule. Frames stay buffered until both channels have taken them.
class ChannelSplitter {
 public:
  explicit ChannelSplitter(SampleSource& source);
  ChannelSplitter(const ChannelSplitter&) = delete;
  ChannelSplitter& operator=(const ChannelSplitter&) = delete;

  // Up to n samples of channel 0 (left) or 1 (right); the count, or -1.
  int32_t ReadChannel(int16_t* dst, int32_t channel, int32_t n);

  ChannelTap& Left() { return left_; }
  ChannelTap& Right() { return right_; }

 private:
  SampleSource& source_;
  std::vector<int16_t> frames_;  // interleaved; its size is the capacity
  int32_t buffered_ = 0;
  int32_t consumed_[2] = {0, 0};
  ChannelTap left_;
  ChannelTap right_;
};

}  // namespace pelorin
