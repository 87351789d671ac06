#include "audiofile/chunk_stream.h"

namespace pelorin {

int32_t ChunkStream::RawRead(uint8_t* dst, int32_t len) {
  return walker_->Read(dst, len);
}
int32_t ChunkStream::RawSkip(int32_t n) {
  return walker_->Skip(n);
}
int32_t ChunkStream::RawSeek(int32_t pos) {
  return walker_->SeekInChunk(pos);
}
int32_t ChunkStream::RawRewind() {
  return walker_->SeekInChunk(0);
}
int32_t ChunkStream::RawSize() {
  return walker_->ChunkSize();
}
int32_t ChunkStream::ReadByte() {
  if (Flags() & (kEndOfData | kError)) return -1;
  const int32_t c = walker_->ReadByte();
  if (c < 0) {
    SetFlags(kEndOfData);
    return -1;
  }
  AdvancePosition(1);
  return c;
}

int32_t ChunkStream::ReadRun(uint8_t* dst, int32_t len) {
  if (len <= 0 || (Flags() & (kEndOfData | kError))) return 0;
  const int32_t n = walker_->ReadRun(dst, len);
  AdvancePosition(n);
  // The byte-by-byte loop would have stopped at a failing read, which marks the end.
  if (n < len) SetFlags(kEndOfData);
  return n;
}

int32_t ChunkStream::Read(uint8_t* dst, int32_t len) {
  if (Flags() & (kEndOfData | kError)) return -1;
  const int32_t n = RawRead(dst, len);
  if (n < 0) {
    SetFlags(kEndOfData | kError);
    return -1;
  }
  if (n == 0) {
    SetFlags(kEndOfData);
    return 0;
  }
  AdvancePosition(n);
  return n;
}

int32_t ChunkStream::Skip(int32_t n) {
  if (n < 0 || (Flags() & kError)) return -1;
  if (RawSkip(n) < 0) {
    SetFlags(kEndOfData | kError);
    return -1;
  }
  // The requested count, even when the chunk ended sooner.
  AdvancePosition(n);
  return 0;
}

}  // namespace pelorin
