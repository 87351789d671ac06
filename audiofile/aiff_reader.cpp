#include "audiofile/aiff_reader.h"

#include <algorithm>
#include <cstring>

#include "audiofile/extended_float.h"
#include "audiofile/sample_decoding.h"

namespace pelorin {

AiffReader::AiffReader(ByteStream& stream) : outer_(&stream) {
  Parse(stream);
}

bool AiffReader::Parse(ByteStream& stream) {
  format_.channels = 0;
  soundStart_ = 0;

  // The stream must start with "FORM"; its size is not held against the stream's length.
  const char* id = outer_.NextHeader();
  if (id == nullptr || std::strcmp(id, "FORM") != 0 || outer_.ReadSize() < 0) return false;

  formStream_ = std::make_unique<ChunkStream>(&outer_);
  uint8_t formType[4];
  if (formStream_->Read(formType, 4) != 4 || std::memcmp(formType, "AIFF", 4) != 0) return false;

  inner_ = std::make_unique<ChunkWalkerBE>(formStream_.get());
  const int32_t firstChunk = inner_->StreamTell();
  if (firstChunk < 0) return false;

  if (inner_->Find("COMM") != 18) return false;
  const int32_t channels = inner_->ReadU16();
  if (channels <= 0) return false;
  format_.frameCount = inner_->ReadU32();
  if (format_.frameCount < 0) return false;
  const int32_t sampleSize = inner_->ReadU16();
  if (sampleSize < 1 || sampleSize > 32) return false;
  format_.bitsPerSample = static_cast<uint16_t>(sampleSize);
  format_.bytesPerSample = static_cast<uint16_t>((sampleSize + 7) / 8);
  format_.blockAlign = static_cast<uint16_t>(channels * format_.bytesPerSample);
  // A sound too large to count in 32 bits is refused rather than let through with a
  // wrapped size.
  const int64_t dataBytes = int64_t{format_.blockAlign} * format_.frameCount;
  if (dataBytes > INT32_MAX) return false;
  format_.dataBytes = static_cast<int32_t>(dataBytes);

  uint8_t rateBytes[10];
  if (inner_->Read(rateBytes, 10) != 10) return false;
  const std::optional<double> rate = DecodeExtended80(rateBytes);
  if (!rate || !(*rate >= 1.0 && *rate <= 2147483647.0)) return false;
  format_.sampleRate = static_cast<int32_t>(*rate);

  // "SSND" may come before or after "COMM": search the whole form again.
  if (inner_->Restart(firstChunk) < 0) return false;
  const int32_t soundChunk = inner_->Find("SSND");
  if (soundChunk < 0) return false;
  const int32_t offset = inner_->ReadU32();
  if (offset < 0) return false;
  inner_->ReadU32();  // block size: not needed
  if (inner_->Skip(offset) < 0) return false;
  if (int64_t{soundChunk} - inner_->TellInChunk() < format_.dataBytes) return false;

  soundStart_ = inner_->TellInChunk();
  format_.dataOffset = stream.Tell();
  format_.channels = static_cast<uint16_t>(channels);
  return true;
}

int32_t AiffReader::Read(int16_t* dst, int32_t frames) {
  // A reader that rejected its file has nothing to deliver.
  if (dst == nullptr || frames < 0 || !inner_ || format_.channels == 0) return -1;
  if (frames == 0) return 0;
  static constexpr SampleEncoding kByWidth[] = {
      SampleEncoding::kSigned8, SampleEncoding::kSigned16BE, SampleEncoding::kSigned24BE,
      SampleEncoding::kSigned32BE};
  const int width = format_.bytesPerSample;
  if (width < 1 || width > 4) return -1;
  return ReadSampleRun(*inner_, kByWidth[width - 1], width, format_.channels, dst, frames);
}

int32_t AiffReader::ReadBytes(uint8_t* dst, int32_t len) {
  return inner_ ? inner_->Read(dst, len) : -1;
}

int32_t AiffReader::Rewind() {
  return inner_ ? inner_->SeekInChunk(soundStart_) : -1;
}

int32_t AiffReader::SeekFrame(int32_t frame) {
  if (!inner_) return -1;
  const int64_t offset = soundStart_ + int64_t{frame} * format_.blockAlign;
  return inner_->SeekInChunk(static_cast<int32_t>(std::clamp<int64_t>(offset, -1, INT32_MAX)));
}

}  // namespace pelorin
