#include "audiofile/byte_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audiofile/byte_order.h"

namespace pelorin {

ByteStream::ByteStream(int32_t capacity) : capacity_(capacity) {
  if (capacity <= 0) return;
  try {
    storage_.resize(static_cast<size_t>(capacity));
    hasBuffer_ = true;
  } catch (const std::bad_alloc&) {
    flags_ |= kEndOfData | kError;
  }
}

int32_t ByteStream::RawSkip(int32_t n) {
  // Read and discard through the buffer.
  uint8_t* buffer = hasBuffer_ ? storage_.data() : nullptr;
  while (n > capacity_) {
    const int32_t got = RawRead(buffer, capacity_);
    if (got < 0) return -1;
    if (got == 0) return 0;
    n -= got;
  }
  return RawRead(buffer, n) < 0 ? -1 : 0;
}

int32_t ByteStream::RawSeek(int32_t pos) {
  if (RawRewind() < 0) return -1;
  return RawSkip(pos) < 0 ? -1 : 0;
}

int32_t ByteStream::FillBuffer(const uint8_t** window) {
  uint8_t* buffer = hasBuffer_ ? storage_.data() : nullptr;
  *window = buffer;
  return RawRead(buffer, capacity_);
}

bool ByteStream::Refill() {
  const int32_t n = FillBuffer(&window_);
  filled_ = n;
  if (n < 0) {
    flags_ |= kEndOfData | kError;
    return false;
  }
  if (n == 0) {
    flags_ |= kEndOfData;
    return false;
  }
  index_ = 0;
  return true;
}

void ByteStream::AdvancePosition(int32_t n) {
  position_ = WrapAdd(position_, n);
}

int32_t ByteStream::ReadByte() {
  if (flags_ & (kEndOfData | kError)) return -1;
  if (index_ >= filled_ && !Refill()) return -1;
  AdvancePosition(1);
  return window_[index_++];
}

int32_t ByteStream::ReadRun(uint8_t* dst, int32_t len) {
  int32_t stored = 0;
  while (stored < len) {
    if (flags_ & (kEndOfData | kError)) break;
    if (index_ >= filled_ && !Refill()) break;
    const int32_t take = std::min(len - stored, filled_ - index_);
    std::memcpy(dst + stored, window_ + index_, static_cast<size_t>(take));
    index_ += take;
    stored += take;
    AdvancePosition(take);
  }
  return stored;
}

int32_t ByteStream::Read(uint8_t* dst, int32_t len) {
  if (dst == nullptr) return -1;
  const int32_t stored = ReadRun(dst, len);
  if (stored == 0 && (flags_ & kError)) return -1;
  return stored;
}

int32_t ByteStream::Skip(int32_t n) {
  if (n < 0 || (flags_ & kError)) return -1;
  const int64_t index = int64_t{index_} + n;
  if (index > filled_) {
    // The raw layer takes a 32-bit count; a skip beyond that cannot succeed.
    const int64_t beyond = index - filled_;
    if (beyond > INT32_MAX || RawSkip(static_cast<int32_t>(beyond)) < 0) {
      flags_ |= kEndOfData | kError;
      return -1;
    }
    filled_ = 0;
    index_ = 0;
  } else {
    index_ = static_cast<int32_t>(index);
  }
  AdvancePosition(n);
  return 0;
}

int32_t ByteStream::Rewind() {
  if (!hasBuffer_ || RawRewind() < 0) {
    flags_ |= kEndOfData | kError;
    return -1;
  }
  filled_ = 0;
  index_ = 0;
  position_ = 0;
  flags_ &= ~(kEndOfData | kError);
  return 0;
}

int32_t ByteStream::Seek(int32_t pos) {
  if (flags_ & kError) return -1;
  if (RawSeek(pos) < 0) {
    flags_ |= kEndOfData | kError;
    return -1;
  }
  position_ = pos;
  flags_ &= ~kEndOfData;
  filled_ = 0;
  index_ = 0;
  return 0;
}

int32_t ByteStream::Size() {
  return (flags_ & kError) ? -1 : RawSize();
}

int32_t ByteStream::ReadU16LE() {
  return pelorin::ReadU16LE([this] { return ReadByte(); });
}
int32_t ByteStream::ReadU16BE() {
  return pelorin::ReadU16BE([this] { return ReadByte(); });
}
int32_t ByteStream::ReadU32LE() {
  return pelorin::ReadU32LE([this] { return ReadByte(); });
}
int32_t ByteStream::ReadU32BE() {
  return pelorin::ReadU32BE([this] { return ReadByte(); });
}

}  // namespace pelorin
