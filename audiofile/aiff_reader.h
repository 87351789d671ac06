#pragma once

#include <memory>

#include "audiofile/byte_stream.h"
#include "audiofile/chunk_stream.h"
#include "audiofile/chunk_walker.h"
#include "audiofile/refusal.h"
#include "audiofile/sample_source.h"

namespace pelorin {

// Parses an IFF "FORM"/"AIFF" image at construction and delivers its frames as signed 16-bit
// samples (sample sizes 1 to 32 bits; wider samples keep their upper 16 bits).
class AiffReader : public SampleSource {
 public:
  explicit AiffReader(ByteStream& stream);

  int32_t Read(int16_t* dst, int32_t frames) override;
  int32_t ReadBytes(uint8_t* dst, int32_t len) override;
  int32_t Rewind() override;
  int32_t SeekFrame(int32_t frame) override;

  int32_t SoundStart() const { return soundStart_; }
  // Why the file was rejected (empty when it was not), and where its format fields stand.
  const Refusal& Why() const { return why_; }
  const FieldOffsets& Offsets() const { return offsets_; }

 private:
  bool Parse(ByteStream& stream);
  bool Refuse(RefusalCategory category, int64_t offset, std::string text);

  ChunkWalkerBE outer_;
  std::unique_ptr<ChunkWalkerBE> inner_;
  std::unique_ptr<ChunkStream> formStream_;
  int32_t soundStart_ = 0;
  Refusal why_;
  FieldOffsets offsets_;
};

}  // namespace pelorin
