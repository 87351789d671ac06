#include "audiofile/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

namespace pelorin {

std::unique_ptr<FileStream> FileStream::Open(const std::string& path) {
  // Without waiting: a FIFO would block the open until a writer came.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > INT32_MAX) {
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<FileStream> stream;
  try {
    stream = std::make_unique<FileStream>(Key{}, fd, static_cast<int32_t>(status.st_size));
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return nullptr;
  }
  // A stream without its buffer fails every read; better said at once.
  if (!stream->HasBuffer()) return nullptr;
  return stream;
}

FileStream::FileStream(Key, int fd, int32_t length)
    : ByteStream(kBufferBytes), fd_(fd), length_(length) {}

FileStream::~FileStream() {
  ::close(fd_);
}

int32_t FileStream::RawRead(uint8_t* dst, int32_t len) {
  if (dst == nullptr || len < 0) return -1;
  const int32_t wanted = std::min(len, length_ - rawPosition_);
  int32_t got = 0;
  while (got < wanted) {
    const ssize_t n = ::pread(fd_, dst + got, static_cast<size_t>(wanted - got),
                              static_cast<off_t>(rawPosition_) + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;  // the file shrank since it was opened
    got += static_cast<int32_t>(n);
  }
  rawPosition_ += got;
  return got;
}

int32_t FileStream::RawSkip(int32_t n) {
  if (n < 0 || int64_t{rawPosition_} + n > length_) return -1;
  rawPosition_ += n;
  return 0;
}

int32_t FileStream::RawRewind() {
  rawPosition_ = 0;
  return 0;
}

}  // namespace pelorin
