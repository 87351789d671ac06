#include "audiofile/chunk_walker.h"

#include <algorithm>
#include <string>

#include "audiofile/byte_order.h"
#include "audiofile/byte_text.h"

namespace pelorin {

int32_t ChunkWalker::AcceptSize(int32_t v) {
  if (stream_ == nullptr || (stream_->Flags() & ByteStream::kError) || v < 0) return -1;
  sizeAccepted_ = true;
  size_ = v;
  consumed_ = 0;
  return v;
}

const char* ChunkWalker::NextHeader() {
  if (stream_ == nullptr) return nullptr;
  headerPos_ = stream_->Tell();
  sizeAccepted_ = false;
  if (headerPos_ < 0) return nullptr;
  for (int i = 0; i < 4; ++i) {
    const int32_t c = stream_->ReadByte();
    if (c < 0) return nullptr;
    id_[i] = static_cast<char>(c);
  }
  id_[4] = 0;
  consumed_ = 0;
  return id_;
}

int32_t ChunkWalker::Find(const char* name) {
  if (stream_ == nullptr) return -1;
  for (;;) {
    if (NextHeader() == nullptr) return -1;
    if (ReadSize() < 0) return -1;
    int i = 0;
    while (id_[i] == name[i] && name[i] != 0) ++i;
    if (id_[i] == name[i]) {
      // A chunk that does not fit inside what contains it is refused.
      if (int64_t{stream_->Size()} - headerPos_ - 8 < size_) return -1;
      consumed_ = 0;
      return size_;
    }
    if (SkipRest() < 0) return -1;
  }
}

int32_t ChunkWalker::SkipRest() {
  if (stream_ == nullptr) return -1;
  if (Skip(size_ - consumed_) < 0) return -1;
  if ((flags_ & kPadOdd) && (size_ & 1)) stream_->Skip(1);
  return 0;
}

int32_t ChunkWalker::ReadByte() {
  if (stream_ == nullptr || consumed_ >= size_) return -1;
  const int32_t c = stream_->ReadByte();
  if (c < 0) return -1;
  ++consumed_;
  return c;
}

int32_t ChunkWalker::ReadRun(uint8_t* dst, int32_t len) {
  if (stream_ == nullptr) return 0;
  const int32_t n = stream_->ReadRun(dst, std::min(len, size_ - consumed_));
  consumed_ += n;
  return n;
}

int32_t ChunkWalker::Read(uint8_t* dst, int32_t len) {
  if (stream_ == nullptr) return -1;
  const int32_t n = stream_->Read(dst, std::min(len, size_ - consumed_));
  if (n < 0) return -1;
  consumed_ += n;
  return n;
}

int32_t ChunkWalker::Skip(int32_t n) {
  if (stream_ == nullptr) return -1;
  const int32_t k = std::min(n, size_ - consumed_);
  if (stream_->Skip(k) < 0) return -1;
  consumed_ += k;
  return k;
}

int32_t ChunkWalker::Restart(int32_t pos) {
  if (stream_ == nullptr || stream_->Seek(pos) < 0) return -1;
  size_ = 0;
  consumed_ = 0;
  return 0;
}

int32_t ChunkWalker::SeekInChunk(int32_t offset) {
  if (stream_ == nullptr || headerPos_ < 0 || offset < 0) return -1;
  offset = std::min(offset, size_);
  if (stream_->Seek(WrapAdd(WrapAdd(headerPos_, 8), offset)) < 0) return -1;
  consumed_ = offset;
  return 0;
}

int32_t ChunkWalker::StreamTell() {
  return stream_ == nullptr ? -1 : stream_->Tell();
}

int32_t ChunkWalker::TellInChunk() {
  if (stream_ == nullptr) return -1;
  return WrapSub(WrapSub(stream_->Tell(), headerPos_), 8);
}

int32_t ChunkWalkerLE::ReadSize() {
  if (Stream() == nullptr) return -1;
  return AcceptSize(Stream()->ReadU32LE());
}
int32_t ChunkWalkerLE::ReadU16() {
  return ReadU16LE([this] { return ReadByte(); });
}
int32_t ChunkWalkerLE::ReadU32() {
  return ReadU32LE([this] { return ReadByte(); });
}

int32_t ChunkWalkerBE::ReadSize() {
  if (Stream() == nullptr) return -1;
  return AcceptSize(Stream()->ReadU32BE());
}
int32_t ChunkWalkerBE::ReadU16() {
  return ReadU16BE([this] { return ReadByte(); });
}
int32_t ChunkWalkerBE::ReadU32() {
  return ReadU32BE([this] { return ReadByte(); });
}

Refusal FindFailure(ChunkWalker& walker, const char* id, int64_t base, std::string_view container) {
  const std::string quoted = Quoted(id);
  const int64_t header = walker.HeaderPos();
  const int64_t room = walker.Stream() == nullptr ? -1 : walker.Stream()->Size();
  const std::string found = Quoted(std::string_view(walker.Id(), 4));
  // The last header read is whole and its chunk does not fit: that chunk is the reason.
  if (header >= 0 && room - header >= 8 && !walker.SizeAccepted()) {
    return {RefusalCategory::kContainer, base + header + 4,
            found + " chunk declares 2^31 bytes or more"};
  }
  if (header >= 0 && room - header >= 8 && header + 8 + int64_t{walker.ChunkSize()} > room) {
    std::string text = found + " chunk declares " + std::to_string(walker.ChunkSize()) +
                       " bytes; " + std::string(container) + " has " +
                       std::to_string(room - header - 8) + " after its header";
    if (found != quoted) text += ", so no " + quoted + " chunk can follow";
    return {RefusalCategory::kContainer, base + header + 4, text};
  }
  return {RefusalCategory::kContainer, -1, "no " + quoted + " chunk in " + std::string(container)};
}

}  // namespace pelorin
