#include "audiofile/wav_reader.h"

#include <algorithm>
#include <cstring>

#include "audiofile/byte_text.h"
#include "audiofile/chunk_ids.h"
#include "audiofile/sample_decoding.h"

namespace pelorin {
namespace {

constexpr int32_t kIntegerPcm = 1;

// The name of a format tag, for the refusal of anything but integer PCM.
std::string FormatTagText(int32_t tag) {
  switch (tag) {
    case 3:
      return "floating-point samples";
    case 6:
    case 7:
      return "logarithmically compressed samples";
    case 0xFFFE:
      return "the extensible header";
    default:
      return "compressed samples";
  }
}

}  // namespace

WavReader::WavReader(ByteStream& stream) : outer_(&stream) {
  Parse(stream);
}

bool WavReader::Refuse(RefusalCategory category, int64_t offset, std::string text) {
  why_ = {category, offset, std::move(text)};
  return false;
}

bool WavReader::Parse(ByteStream& stream) {
  format_.channels = 0;
  if (outer_.Find(kRiffId) < 0) {
    // A "RIFF" chunk that was found but does not fit is the reason; without one, this is
    // another kind of file.
    if (std::string_view(outer_.Id(), 4) == kRiffId) {
      why_ = FindFailure(outer_, kRiffId, 0, "the file");
      return false;
    }
    return Refuse(RefusalCategory::kContainer, 0, "not a WAV file: no \"RIFF\" chunk");
  }
  // Offsets inside the form are counted from its first byte; the file's are wanted.
  const int64_t form = int64_t{outer_.HeaderPos()} + 8;

  formStream_ = std::make_unique<ChunkStream>(&outer_);
  uint8_t formType[4];
  if (formStream_->Read(formType, 4) != 4) {
    return Refuse(RefusalCategory::kContainer, form,
                  "the \"RIFF\" chunk ends before its form type");
  }
  if (std::memcmp(formType, kWaveForm, 4) != 0) {
    return Refuse(RefusalCategory::kContainer, form,
                  "form type " + PrintableBytes(formType) + ", not \"WAVE\"");
  }

  inner_ = std::make_unique<ChunkWalkerLE>(formStream_.get());
  if (inner_->Find(kFmtId) < 0) {
    why_ = FindFailure(*inner_, kFmtId, form, "the \"RIFF\" chunk");
    return false;
  }
  const int64_t fmt = form + inner_->StreamTell();  // the first byte of the "fmt " data
  const auto tooShort = [&] {
    return Refuse(RefusalCategory::kContainer, fmt - 4,
                  "the \"fmt \" chunk has " + std::to_string(inner_->ChunkSize()) +
                      " bytes, too few for its fields");
  };

  const int32_t tag = inner_->ReadU16();
  if (tag < 0) return tooShort();
  if (tag != kIntegerPcm) {
    return Refuse(RefusalCategory::kEncoding, fmt,
                  "format tag " + HexNumber(uint64_t(tag), 4) + " (" + FormatTagText(tag) +
                      "); only 1, integer PCM, is supported");
  }
  offsets_.channels = fmt + 2;
  const int32_t channels = inner_->ReadU16();
  if (channels < 0) return tooShort();
  offsets_.sampleRate = fmt + 4;
  format_.sampleRate = inner_->ReadU32();
  if (format_.sampleRate < 0) {
    if (inner_->Consumed() < 8) return tooShort();
    return Refuse(RefusalCategory::kRate, fmt + 4, "a sampling rate of 2^31 Hz or more");
  }
  inner_->ReadU32();  // average bytes per second: not needed
  const int32_t blockAlign = inner_->ReadU16();
  if (blockAlign < 0) return tooShort();
  if (channels == 0) return Refuse(RefusalCategory::kChannels, fmt + 2, "0 channels");
  format_.bytesPerSample = static_cast<uint16_t>(blockAlign / channels);
  format_.blockAlign = static_cast<uint16_t>(channels * format_.bytesPerSample);
  if (blockAlign != format_.blockAlign) {
    return Refuse(RefusalCategory::kEncoding, fmt + 12,
                  "block align " + std::to_string(blockAlign) + " is not a multiple of the " +
                      std::to_string(channels) + " channels");
  }
  offsets_.bitsPerSample = fmt + 14;
  const int32_t bits = inner_->ReadU16();
  if (bits < 0) return tooShort();
  format_.bitsPerSample = static_cast<uint16_t>(bits);
  if (format_.bytesPerSample != (bits + 7) / 8) {
    return Refuse(RefusalCategory::kEncoding, fmt + 14,
                  std::to_string(bits) + " bits per sample do not fill the " +
                      std::to_string(format_.bytesPerSample) +
                      " bytes per sample the block align gives");
  }

  // Extension bytes of "fmt " are skipped; "data" must follow it.
  if (inner_->SkipRest() < 0) return tooShort();
  const int32_t dataBytes = inner_->Find(kWavDataId);
  if (dataBytes < 0) {
    why_ = FindFailure(*inner_, kWavDataId, form, "the \"RIFF\" chunk");
    if (why_.offset < 0) why_.text += " after \"fmt \"";
    return false;
  }
  offsets_.frameCount = form + inner_->HeaderPos() + 4;
  format_.dataOffset = stream.Tell();
  format_.dataBytes = dataBytes;
  if (format_.blockAlign == 0) {
    return Refuse(RefusalCategory::kEncoding, fmt + 12, "block align 0");
  }
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
