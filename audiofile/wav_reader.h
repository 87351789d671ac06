#pragma once

#include <memory>

#include "audiofile/byte_stream.h"
#include "audiofile/chunk_stream.h"
#include "audiofile/chunk_walker.h"
#include "audiofile/sample_source.h"

namespace pelorin {

// Parses a RIFF/WAVE image (integer PCM) at construction and delivers its frames as signed
// 16-bit samples. A rejected file leaves channels at 0. The stream must outlive the reader.
class WavReader : public SampleSource {
 public:
  explicit WavReader(ByteStream& stream);

  int32_t Read(int16_t* dst, int32_t frames) override;
  int32_t ReadBytes(uint8_t* dst, int32_t len) override;
  int32_t Rewind() override;
  int32_t SeekFrame(int32_t frame) override;

 private:
  bool Parse(ByteStream& stream);

  // Declared in this order so that destruction runs inner walker, form stream, outer walker.
  ChunkWalkerLE outer_;
  std::unique_ptr<ChunkStream> formStream_;
  std::unique_ptr<ChunkWalkerLE> inner_;
};

}  // namespace pelorin
