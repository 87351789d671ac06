#include "audiofile/wav_reader.h"

#include <algorithm>
#include <cstring>

#include "audiofile/sample_decoding.h"

namespace pelorin {

WavReader::WavReader(ByteStream& stream) : outer_(&stream) {
  Parse(stream);
}

bool WavReader::Parse(ByteStream& stream) {
  format_.channels = 0;
  if (outer_.Find("RIFF") < 0) return false;

  formStream_ = std::make_unique<ChunkStream>(&outer_);
  uint8_t formType[4];
  if (formStream_->Read(formType, 4) != 4 || std::memcmp(formType, "WAVE", 4) != 0) return false;

  inner_ = std::make_unique<ChunkWalkerLE>(formStream_.get());
  if (inner_->Find("fmt ") < 0) return false;

  if (inner_->ReadU16() != 1) return false;  // integer PCM only
  const int32_t channels = inner_->ReadU16();
  if (channels < 0) return false;
  format_.sampleRate = inner_->ReadU32();
  if (format_.sampleRate < 0) return false;
  inner_->ReadU32();  // average bytes per second: not needed
  const int32_t blockAlign = inner_->ReadU16();
  if (blockAlign < 0 || channels == 0) return false;
  format_.bytesPerSample = static_cast<uint16_t>(blockAlign / channels);
  format_.blockAlign = static_cast<uint16_t>(channels * format_.bytesPerSample);
  if (blockAlign != format_.blockAlign) return false;
  const int32_t bits = inner_->ReadU16();
  if (bits < 0) return false;
  format_.bitsPerSample = static_cast<uint16_t>(bits);
  if (format_.bytesPerSample != (bits + 7) / 8) return false;

  // Extension bytes of "fmt " are skipped; "data" must follow it.
  if (inner_->SkipRest() < 0) return false;
  const int32_t dataBytes = inner_->Find("data");
  if (dataBytes < 0) return false;
  format_.dataOffset = stream.Tell();
  format_.dataBytes = dataBytes;
  if (format_.blockAlign == 0) return false;
  format_.channels = static_cast<uint16_t>(channels);
  format_.frameCount = dataBytes / format_.blockAlign;
  return true;
}

int32_t WavReader::Read(int16_t* dst, int32_t frames) {
  if (format_.channels == 0) return -1;
  if (frames <= 0) return 0;
  switch (format_.bytesPerSample) {
    case 1:
      return ReadSampleRun(*inner_, SampleEncoding::kUnsigned8, 1, format_.channels, dst, frames);
    case 2:
      return ReadSampleRun(*inner_, SampleEncoding::kSigned16LE, 2, format_.channels, dst, frames);
    default:
      return -1;
  }
}

int32_t WavReader::ReadBytes(uint8_t* dst, int32_t len) {
  return inner_ ? inner_->Read(dst, len) : -1;
}

int32_t WavReader::Rewind() {
  if (format_.channels == 0) return -1;
  return inner_->SeekInChunk(0);
}

int32_t WavReader::SeekFrame(int32_t frame) {
  if (format_.channels == 0) return -1;
  const int64_t offset = int64_t{frame} * format_.blockAlign;
  return inner_->SeekInChunk(static_cast<int32_t>(std::clamp<int64_t>(offset, -1, INT32_MAX)));
}

}  // namespace pelorin
