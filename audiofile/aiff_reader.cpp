#include "audiofile/aiff_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audiofile/byte_text.h"
#include "audiofile/chunk_ids.h"
#include "audiofile/extended_float.h"
#include "audiofile/sample_decoding.h"

namespace pelorin {

AiffReader::AiffReader(ByteStream& stream) : outer_(&stream) {
  Parse(stream);
}

bool AiffReader::Refuse(RefusalCategory category, int64_t offset, std::string text) {
  why_ = {category, offset, std::move(text)};
  return false;
}

bool AiffReader::Parse(ByteStream& stream) {
  format_.channels = 0;
  soundStart_ = 0;

  // The stream must start with "FORM"; its size is not held against the stream's length.
  const char* id = outer_.NextHeader();
  if (id == nullptr || std::strcmp(id, kFormId) != 0) {
    return Refuse(RefusalCategory::kContainer, 0, "not an AIFF file: no \"FORM\" chunk");
  }
  if (outer_.ReadSize() < 0) {
    return Refuse(RefusalCategory::kContainer, 4,
                  stream.Size() < 8 ? "the file ends inside the \"FORM\" header"
                                    : "\"FORM\" chunk declares 2^31 bytes or more");
  }
  constexpr int64_t kForm = 8;  // offsets inside the form count from its first byte

  formStream_ = std::make_unique<ChunkStream>(&outer_);
  uint8_t formType[4];
  if (formStream_->Read(formType, 4) != 4) {
    return Refuse(RefusalCategory::kContainer, kForm,
                  "the \"FORM\" chunk ends before its form type");
  }
  if (std::memcmp(formType, kAiffForm, 4) != 0) {
    return Refuse(RefusalCategory::kContainer, kForm,
                  "form type " + PrintableBytes(formType) + ", not \"AIFF\"");
  }

  inner_ = std::make_unique<ChunkWalkerBE>(formStream_.get());
  const int32_t firstChunk = inner_->StreamTell();
  if (firstChunk < 0) return Refuse(RefusalCategory::kContainer, kForm, "unreadable form");

  const int32_t commSize = inner_->Find(kCommId);
  if (commSize < 0) {
    why_ = FindFailure(*inner_, kCommId, kForm, "the \"FORM\" chunk");
    return false;
  }
  const int64_t comm = kForm + inner_->StreamTell();  // the first byte of the "COMM" data
  if (commSize != 18) {
    return Refuse(RefusalCategory::kContainer, comm - 4,
                  "the \"COMM\" chunk has " + std::to_string(commSize) + " bytes, not 18");
  }
  // The form may declare more than the file holds, so any field can be cut off.
  const auto cut = [&] {
    return Refuse(RefusalCategory::kContainer, comm - 8, "the file ends inside the \"COMM\" chunk");
  };
  offsets_.channels = comm;
  const int32_t channels = inner_->ReadU16();
  if (channels < 0) return cut();
  if (channels == 0) return Refuse(RefusalCategory::kChannels, comm, "0 channels");
  offsets_.frameCount = comm + 2;
  format_.frameCount = inner_->ReadU32();
  if (format_.frameCount < 0) {
    if (inner_->Consumed() < 6) return cut();
    return Refuse(RefusalCategory::kSize, comm + 2, "2^31 frames or more");
  }
  offsets_.bitsPerSample = comm + 6;
  const int32_t sampleSize = inner_->ReadU16();
  if (sampleSize < 0) return cut();
  if (sampleSize < 1 || sampleSize > 32) {
    return Refuse(RefusalCategory::kEncoding, comm + 6,
                  "a sample size of " + std::to_string(sampleSize) + " bits; 1 to 32 are possible");
  }
  format_.bitsPerSample = static_cast<uint16_t>(sampleSize);
  format_.bytesPerSample = static_cast<uint16_t>((sampleSize + 7) / 8);
  format_.blockAlign = static_cast<uint16_t>(channels * format_.bytesPerSample);
  // A sound too large to count in 32 bits is refused rather than let through with a
  // wrapped size.
  const int64_t dataBytes = int64_t{format_.blockAlign} * format_.frameCount;
  if (dataBytes > INT32_MAX) {
    return Refuse(RefusalCategory::kSize, comm + 2,
                  std::to_string(format_.frameCount) + " frames of " +
                      std::to_string(format_.blockAlign) + " bytes make " +
                      std::to_string(dataBytes) + " bytes of sound; at most 2^31 - 1 can be read");
  }
  format_.dataBytes = static_cast<int32_t>(dataBytes);

  offsets_.sampleRate = comm + 8;
  uint8_t rateBytes[10];
  if (inner_->Read(rateBytes, 10) != 10) return cut();
  const std::optional<double> rate = DecodeExtended80(rateBytes);
  if (!rate || !(*rate >= 1.0 && *rate <= 2147483647.0)) {
    char text[64] = "a sampling rate that is not a finite number";
    if (rate) std::snprintf(text, sizeof text, "a sampling rate of %.6g Hz", *rate);
    return Refuse(RefusalCategory::kRate, comm + 8, text);
  }
  format_.sampleRate = static_cast<int32_t>(*rate);

  // "SSND" may come before or after "COMM": search the whole form again.
  if (inner_->Restart(firstChunk) < 0) {
    return Refuse(RefusalCategory::kContainer, kForm, "unreadable form");
  }
  const int32_t soundChunk = inner_->Find(kSsndId);
  if (soundChunk < 0) {
    why_ = FindFailure(*inner_, kSsndId, kForm, "the \"FORM\" chunk");
    return false;
  }
  const int64_t ssnd = kForm + inner_->StreamTell();  // the first byte of the "SSND" data
  const int32_t offset = inner_->ReadU32();
  if (offset < 0) {
    return Refuse(RefusalCategory::kContainer, ssnd,
                  inner_->Consumed() < 4 ? "the \"SSND\" chunk is too short for its header"
                                         : "a sound offset of 2^31 bytes or more");
  }
  inner_->ReadU32();  // block size: not needed
  if (inner_->Skip(offset) < 0) {
    return Refuse(RefusalCategory::kContainer, ssnd, "unreadable sound offset");
  }
  if (int64_t{soundChunk} - inner_->TellInChunk() < format_.dataBytes) {
    return Refuse(RefusalCategory::kContainer, ssnd - 4,
                  "the \"SSND\" chunk holds " +
                      std::to_string(std::max<int64_t>(0, soundChunk - inner_->TellInChunk())) +
                      " bytes of sound; " + std::to_string(format_.frameCount) + " frames need " +
                      std::to_string(format_.dataBytes));
  }

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
