#pragma once

#include <cstdint>
#include <span>

#include "audiofile/sample_source.h"

namespace pelorin {

// A run of frames of a 16-bit clip held in memory, read as a sample source: the same format
// record and the same reads as a WavReader over a WAV image of just those frames, without
// building the image. Samples the run counts but the span does not hold read as silence, as
// the image would carry them. The samples must outlive the source and stay unchanged.
class ClipSource : public SampleSource {
 public:
  // Frames [first, first + frames) of a clip of the given channel count (1 or 2) and rate;
  // any other channel count, a negative first or frames, or more than 2^31 - 1 data bytes
  // leaves channels at 0 and fails every read.
  ClipSource(std::span<const int16_t> samples, uint16_t channels, int32_t sampleRate, int32_t first,
             int32_t frames);

  int32_t Read(int16_t* dst, int32_t frames) override;
  // The converters read frames only.
  int32_t ReadBytes(uint8_t*, int32_t) override { return -1; }
  int32_t Rewind() override;
  int32_t SeekFrame(int32_t frame) override;

 private:
  std::span<const int16_t> samples_;
  int64_t firstSample_ = 0;
  int32_t next_ = 0;  // frames of the run delivered so far
};

}  // namespace pelorin
