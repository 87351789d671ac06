#pragma once

#include "audiofile/byte_stream.h"

namespace pelorin {

// A ByteStream over a memory image the caller owns and keeps unchanged while the stream lives.
// Its buffer spans the whole image; the buffer is a view of the image rather than a copy.
class MemoryStream : public ByteStream {
 public:
  MemoryStream(const uint8_t* data, int32_t length);

  int32_t RawRead(uint8_t* dst, int32_t len) override;
  int32_t RawSkip(int32_t n) override;
  int32_t RawRewind() override;
  int32_t RawSize() override;

 protected:
  int32_t FillBuffer(const uint8_t** window) override;

 private:
  const uint8_t* data_;
  int32_t length_;
  int32_t rawPosition_ = 0;
};

}  // namespace pelorin
