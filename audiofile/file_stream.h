#pragma once

#include <memory>
#include <string>

#include "audiofile/byte_stream.h"

namespace pelorin {

// A ByteStream over a file, read a buffer at a time, so that a file of any length is never
// held whole. It reads as a MemoryStream over the file's bytes would: its length is the file's
// when it was opened, and a file that shrinks afterwards ends early.
class FileStream : public ByteStream {
  struct Key {  // only Open makes a stream
    explicit Key() = default;
  };

 public:
  static constexpr int32_t kBufferBytes = 65536;

  // The stream, or nothing when path is no regular file that can be opened for reading or is
  // longer than 2^31 - 1 bytes.
  static std::unique_ptr<FileStream> Open(const std::string& path);
  FileStream(Key, int fd, int32_t length);
  ~FileStream() override;

  int32_t RawRead(uint8_t* dst, int32_t len) override;
  int32_t RawSkip(int32_t n) override;
  int32_t RawRewind() override;
  int32_t RawSize() override { return length_; }

 private:
  int fd_;
  int32_t length_;
  int32_t rawPosition_ = 0;
};

}  // namespace pelorin
