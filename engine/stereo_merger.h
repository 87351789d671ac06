#pragma once

#include <cstdint>
#include <vector>

#include "audiofile/sample_source.h"

namespace pelorin {

// Interleaves two mono sources (not owned) into stereo frames, left first. The left source
// is always read first and the right one asked for exactly what the left delivered.
class StereoMerger : public SampleSource {
 public:
  StereoMerger(SampleSource& left, SampleSource& right);

  int32_t Read(int16_t* dst, int32_t frames) override;
  int32_t ReadBytes(uint8_t*, int32_t) override { return -1; }
  int32_t Rewind() override { return -1; }

 private:
  SampleSource& left_;
  SampleSource& right_;
  // Never empty, so a read of 0 frames still hands the sources a destination.
  std::vector<int16_t> scratch_ = std::vector<int16_t>(1);
};

}  // namespace pelorin
