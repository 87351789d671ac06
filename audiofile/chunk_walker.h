#pragma once

#include <cstdint>
#include <string_view>

#include "audiofile/byte_stream.h"
#include "audiofile/refusal.h"

namespace pelorin {

// Steps through the chunks of a RIFF- or IFF-style container: a 4-character id, a 32-bit
// size and the chunk data. The byte order of sizes and fields is the variant's.
class ChunkWalker {
 public:
  static constexpr int32_t kPadOdd = 1;

  explicit ChunkWalker(ByteStream* stream) : stream_(stream) {}
  virtual ~ChunkWalker() = default;
  ChunkWalker(const ChunkWalker&) = delete;
  ChunkWalker& operator=(const ChunkWalker&) = delete;

  virtual int32_t ReadSize() = 0;
  virtual int32_t ReadU16() = 0;
  virtual int32_t ReadU32() = 0;

  const char* NextHeader();
  int32_t Find(const char* name);
  int32_t SkipRest();
  int32_t ReadByte();
  int32_t Read(uint8_t* dst, int32_t len);
  int32_t Skip(int32_t n);
  int32_t Restart(int32_t pos);
  int32_t SeekInChunk(int32_t offset);
  int32_t StreamTell();
  int32_t TellInChunk();

  // What up to len calls of ReadByte would do, stopping at the first failure; the count.
  int32_t ReadRun(uint8_t* dst, int32_t len);

  const char* Id() const { return id_; }
  // Whether the size of the chunk whose header was read last was accepted.
  bool SizeAccepted() const { return sizeAccepted_; }
  int32_t ChunkSize() const { return size_; }
  int32_t Consumed() const { return consumed_; }
  int32_t HeaderPos() const { return headerPos_; }
  ByteStream* Stream() const { return stream_; }

 protected:
  // Takes v as the current chunk's size unless the read failed or v is negative.
  int32_t AcceptSize(int32_t v);

 private:
  ByteStream* stream_;
  char id_[5] = {0, 0, 0, 0, 0};
  int32_t size_ = 0;
  int32_t consumed_ = 0;
  int32_t headerPos_ = -1;
  int32_t flags_ = kPadOdd;
  bool sizeAccepted_ = false;
};

// RIFF: little-endian sizes and fields.
class ChunkWalkerLE : public ChunkWalker {
 public:
  using ChunkWalker::ChunkWalker;
  int32_t ReadSize() override;
  int32_t ReadU16() override;
  int32_t ReadU32() override;
};

// IFF: big-endian sizes and fields.
class ChunkWalkerBE : public ChunkWalker {
 public:
  using ChunkWalker::ChunkWalker;
  int32_t ReadSize() override;
  int32_t ReadU16() override;
  int32_t ReadU32() override;
};

// Why walker.Find(id) has just failed, as a refusal: no such chunk, or the chunk (or one before
// it) declares more bytes than its container holds. base is the file offset of the walker's
// stream; container names what the walker walks ("the file", "the \"RIFF\" chunk").
Refusal FindFailure(ChunkWalker& walker, const char* id, int64_t base, std::string_view container);

}  // namespace pelorin
