#include "audiofile/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace pelorin {

MemoryStream::MemoryStream(const uint8_t* data, int32_t length)
    : ByteStream(0), data_(data), length_(data ? std::max(length, 0) : 0) {
  // The buffer spans the whole image. It is a view into the image, so "having a buffer" is
  // all that construction decides.
  if (length_ > 0) EnableViewBuffer(length_);
}

int32_t MemoryStream::RawRead(uint8_t* dst, int32_t len) {
  if (dst == nullptr || len < 0) return -1;
  const int32_t n = std::min(len, length_ - rawPosition_);
  if (n > 0) std::memcpy(dst, data_ + rawPosition_, static_cast<size_t>(n));
  rawPosition_ += n;
  return n;
}

int32_t MemoryStream::RawSkip(int32_t n) {
  if (n < 0 || int64_t{rawPosition_} + n > length_) return -1;
  rawPosition_ += n;
  return 0;
}

int32_t MemoryStream::RawRewind() {
  rawPosition_ = 0;
  return 0;
}

int32_t MemoryStream::RawSize() {
  return data_ == nullptr ? -1 : length_;
}

int32_t MemoryStream::FillBuffer(const uint8_t** window) {
  // Same bytes and raw position as RawRead(buffer, capacity), without the copy.
  if (!HasBuffer()) return -1;
  const int32_t n = std::min(Capacity(), length_ - rawPosition_);
  *window = data_ + rawPosition_;
  rawPosition_ += n;
  return n;
}

}  // namespace pelorin
