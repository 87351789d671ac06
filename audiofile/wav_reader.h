#pragma once

#include <memory>

#include "audiofile/byte_stream.h"
#include "audiofile/chunk_stream.h"
#include "audiofile/chunk_walker.h"
#include "audiofile/refusal.h"
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

  // Why the file was rejected (empty when it was not), and where its format fields stand.
  const Refusal& Why() const { return why_; }
  const FieldOffsets& Offsets() const { return offsets_; }

 private:
  bool Parse(ByteStream& stream);
  bool Refuse(RefusalCategory category, int64_t offset, std::string text);

  // Declared in this order so that destruction runs inner walker, form stream, outer walker.
  ChunkWalkerLE outer_;
  std::unique_ptr<ChunkStream> formStream_;
  std::unique_ptr<ChunkWalkerLE> inner_;
  Refusal why_;
  FieldOffsets offsets_;
};

}  // namespace pelorin
