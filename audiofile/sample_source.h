#pragma once

#include <cstdint>

namespace pelorin {

// The format record every sample source carries; stages copy it as a block, so the order and
// widths of the fields are fixed.
struct SourceFormat {
  uint16_t channels = 0;  // 0: the source rejected its input
  uint16_t bitsPerSample = 0;
  uint16_t bytesPerSample = 0;
  uint16_t blockAlign = 0;
  int32_t sampleRate = 0;
  int32_t dataBytes = 0;
  int32_t dataOffset = 0;
  int32_t frameCount = 0;
};
static_assert(sizeof(SourceFormat) == 24);

// Pull interface for interleaved signed 16-bit PCM frames.
class SampleSource {
 public:
  SampleSource() = default;
  virtual ~SampleSource() = default;
  SampleSource(const SampleSource&) = delete;
  SampleSource& operator=(const SampleSource&) = delete;

  // Up to frames complete frames into dst; the count, 0 at the end, negative on failure.
  virtual int32_t Read(int16_t* dst, int32_t frames) = 0;
  // Up to len raw bytes of the sample data; the count, or -1.
  virtual int32_t ReadBytes(uint8_t* dst, int32_t len) = 0;
  virtual int32_t Rewind() = 0;
  virtual int32_t SeekFrame(int32_t frame);

  const SourceFormat& Format() const { return format_; }

 protected:
  SourceFormat format_;
};

}  // namespace pelorin
