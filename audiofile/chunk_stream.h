#pragma once

#include "audiofile/byte_stream.h"
#include "audiofile/chunk_walker.h"

namespace pelorin {

// Presents the data of the chunk a walker stands in as a stream of its own, so that a second
// walker can walk the chunks nested in a form chunk. Unbuffered: every read goes to the walker.
class ChunkStream : public ByteStream {
 public:
  explicit ChunkStream(ChunkWalker* walker) : ByteStream(0), walker_(walker) {}

  int32_t RawRead(uint8_t* dst, int32_t len) override;
  int32_t RawSkip(int32_t n) override;
  int32_t RawSeek(int32_t pos) override;
  int32_t RawRewind() override;
  int32_t RawSize() override;

  int32_t ReadByte() override;
  int32_t Read(uint8_t* dst, int32_t len) override;
  int32_t Skip(int32_t n) override;
  int32_t ReadRun(uint8_t* dst, int32_t len) override;

 private:
  ChunkWalker* walker_;
};

}  // namespace pelorin
