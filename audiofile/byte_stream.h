#pragma once

#include <cstdint>
#include <vector>

namespace pelorin {

// An input stream with an optional read-ahead buffer over a replaceable raw layer.
// Every operation returns a signed 32-bit result; -1 is failure. Bytes come back as 0..255.
class ByteStream {
 public:
  static constexpr int32_t kEndOfData = 1;  // flag bit 0
  static constexpr int32_t kError = 2;      // flag bit 1

  explicit ByteStream(int32_t capacity);
  virtual ~ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // Raw layer.
  virtual int32_t RawRead(uint8_t* dst, int32_t len) = 0;
  virtual int32_t RawSkip(int32_t n);
  virtual int32_t RawSeek(int32_t pos);
  virtual int32_t RawRewind() { return -1; }
  virtual int32_t RawSize() { return -1; }

  // Buffered layer.
  virtual int32_t ReadByte();
  virtual int32_t Read(uint8_t* dst, int32_t len);
  virtual int32_t Skip(int32_t n);
  int32_t Rewind();
  int32_t Seek(int32_t pos);
  int32_t Tell() const { return position_; }
  int32_t Size();

  // Exactly what up to len calls of ReadByte would do, stopping at the first failure, with
  // the same flags and position afterwards; returns the number of bytes stored. Readers
  // move whole runs of samples through this instead of one virtual call per byte.
  virtual int32_t ReadRun(uint8_t* dst, int32_t len);

  int32_t ReadU16LE();
  int32_t ReadU16BE();
  int32_t ReadU32LE();
  int32_t ReadU32BE();

  int32_t Flags() const { return flags_; }
  bool HasBuffer() const { return hasBuffer_; }

 protected:
  // Refills the read-ahead buffer from the raw layer and points *window at the bytes; the
  // result is that of RawRead(buffer, capacity). A stream over memory may point at its
  // image instead of copying it, as long as the bytes are the same.
  virtual int32_t FillBuffer(const uint8_t** window);

  // For a stream whose FillBuffer points into memory it does not own: it has a buffer of
  // the given capacity without allocating one.
  void EnableViewBuffer(int32_t capacity) {
    capacity_ = capacity;
    hasBuffer_ = true;
  }
  void SetFlags(int32_t bits) { flags_ |= bits; }
  void AdvancePosition(int32_t n);
  int32_t Capacity() const { return capacity_; }

 private:
  bool Refill();

  std::vector<uint8_t> storage_;
  const uint8_t* window_ = nullptr;
  bool hasBuffer_ = false;
  int32_t capacity_ = 0;
  int32_t filled_ = 0;
  int32_t index_ = 0;
  int32_t position_ = 0;
  int32_t flags_ = 0;
};

// Two's-complement wrap-around, as 32-bit stream arithmetic does, without undefined behaviour.
inline int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace pelorin
