#include "engine/audio_engine.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audiofile/aiff_reader.h"
#include "audiofile/large_buffer.h"
#include "audiofile/memory_stream.h"
#include "audiofile/wav_image_writer.h"
#include "audiofile/wav_reader.h"

namespace pelorin {
namespace {

// Frames MixDown takes at a time: a block's copy stays in the first-level cache.
constexpr size_t kMixBlock = 2048;

// Mixes (mode 0) or picks a channel of (1: left, 2: right) n frames of interleaved stereo
// into n mono samples; the two must not overlap, so the loop is vectorised.
template <int Mode>
void MixBlock(const int16_t* stereo, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int32_t left = stereo[2 * i];
    const int32_t right = stereo[2 * i + 1];
    if constexpr (Mode == 0) {
      out[i] = static_cast<int16_t>(left / 2 + right / 2);
    } else if constexpr (Mode == 1) {
      out[i] = static_cast<int16_t>(left);
    } else {
      out[i] = static_cast<int16_t>(right);
    }
  }
}

// The same in place for the first frames of interleaved stereo, frame k into sample k. Each
// block of frames is copied out before any result is stored.
template <int Mode>
void MixFrames(int16_t* samples, size_t frames) {
  int16_t block[2 * kMixBlock];
  for (size_t start = 0; start < frames; start += kMixBlock) {
    const size_t n = std::min(kMixBlock, frames - start);
    std::copy_n(samples + 2 * start, 2 * n, block);
    MixBlock<Mode>(block, samples + start, n);
  }
}

}  // namespace

int32_t AudioEngine::Load(int isAiff, const uint8_t* image, int32_t length) {
  MemoryStream stream(image, length);
  return LoadAs(isAiff, stream, false);
}

int32_t AudioEngine::LoadMono(int isAiff, const uint8_t* image, int32_t length) {
  MemoryStream stream(image, length);
  return LoadAs(isAiff, stream, true);
}

int32_t AudioEngine::Load(int isAiff, ByteStream& stream) {
  return LoadAs(isAiff, stream, false);
}

int32_t AudioEngine::LoadMono(int isAiff, ByteStream& stream) {
  return LoadAs(isAiff, stream, true);
}

int32_t AudioEngine::LoadAs(int isAiff, ByteStream& stream, bool mono) {
  codes_.reset();
  samples_.clear();
  clip_ = false;
  refusal_ = {};
  const int32_t imageLength = std::max(stream.Size(), 0);
  if (isAiff == 0) {
    WavReader reader(stream);
    return LoadWith(reader, imageLength, mono);
  }
  AiffReader reader(stream);
  return LoadWith(reader, imageLength, mono);
}

int32_t AudioEngine::Refuse(int32_t code, RefusalCategory category, int64_t offset,
                            std::string text) {
  refusal_ = {category, offset, std::move(text)};
  return code;
}

template <class Reader>
int32_t AudioEngine::LoadWith(Reader& reader, int32_t imageLength, bool mono) {
  const SourceFormat& source = reader.Format();
  const FieldOffsets& at = reader.Offsets();
  fileFormat_ = source;
  if (source.channels == 0) {
    refusal_ = reader.Why();
    return kBadFormat;
  }
  const std::string rate = std::to_string(source.sampleRate) + " Hz";
  if (source.sampleRate < kMinRate || source.sampleRate > kMaxRate) {
    return Refuse(kBadRate, RefusalCategory::kRate, at.sampleRate,
                  rate + "; 4000 to 48000 Hz are supported");
  }
  if (source.bitsPerSample != 8 && source.bitsPerSample != 16) {
    return Refuse(kBadBits, RefusalCategory::kEncoding, at.bitsPerSample,
                  std::to_string(source.bitsPerSample) + " bits per sample; 8 or 16 are supported");
  }
  if (source.channels > 2) {
    return Refuse(kBadChannels, RefusalCategory::kChannels, at.channels,
                  std::to_string(source.channels) + " channels; 1 or 2 are supported");
  }
  if (const int32_t code = CheckLength(source, at.frameCount); code != kOk) return code;
  const int64_t clipBytes = 2 * int64_t{source.channels} * source.frameCount;

  // A file may declare more frames than it holds (an AIFF file cut short). Only the frames it
  // holds are stored, a last partial one included; the rest of the clip is silence.
  const int64_t bytesHeld = std::max<int64_t>(0, int64_t{imageLength} - source.dataOffset);
  const int64_t framesHeld = (bytesHeld + source.blockAlign - 1) / source.blockAlign;
  const auto frames = static_cast<int32_t>(std::min<int64_t>(source.frameCount, framesHeld));
  const bool mix = mono && source.channels == 2;
  const Held held = mix ? ReadMixedDown(reader, frames) : ReadInto(reader, frames, source.channels);
  if (held == Held::kNoMemory) {
    samples_.clear();
    return Refuse(kFailed, RefusalCategory::kMemory, -1,
                  "not enough memory for " + std::to_string(frames) + " frames");
  }
  if (held == Held::kReadFailed) {
    return Refuse(kFailed, RefusalCategory::kContainer, source.dataOffset,
                  "the sample data cannot be read");
  }

  const uint16_t channels = mix ? 1 : source.channels;
  format_.channels = channels;
  format_.bitsPerSample = 16;
  format_.blockAlign = static_cast<uint16_t>(2 * channels);
  format_.sampleRate = source.sampleRate;
  format_.frameCount = source.frameCount;
  format_.byteCount = static_cast<int32_t>(mix ? clipBytes / 2 : clipBytes);
  clip_ = true;
  return kOk;
}

template <class Reader>
AudioEngine::Held AudioEngine::ReadInto(Reader& reader, int32_t frames, int channels) {
  try {
    ReserveLarge(samples_, static_cast<size_t>(frames) * channels);
    samples_.assign(static_cast<size_t>(frames) * channels, 0);
  } catch (const std::bad_alloc&) {
    return Held::kNoMemory;
  }
  // Frames the file does not hold whole stay silent.
  return reader.Read(samples_.data(), frames) < 0 ? Held::kReadFailed : Held::kRead;
}

template <class Reader>
AudioEngine::Held AudioEngine::ReadMixedDown(Reader& reader, int32_t frames) {
  try {
    ReserveLarge(samples_, static_cast<size_t>(frames));
  } catch (const std::bad_alloc&) {
    return Held::kNoMemory;
  }
  // A block of stereo frames at a time, mixed as MixDown(0) mixes, so that the stereo clip is
  // never stored. A block is cleared before it is read: frames the file does not hold whole
  // read as silence, as in a clip loaded whole.
  int16_t stereo[2 * kMixBlock];
  int16_t out[kMixBlock];
  for (int32_t done = 0; done < frames;) {
    const auto n = static_cast<int32_t>(std::min<size_t>(kMixBlock, size_t(frames - done)));
    std::fill_n(stereo, 2 * n, int16_t{0});
    const int32_t got = reader.Read(stereo, n);
    if (got < 0) return Held::kReadFailed;
    MixBlock<0>(stereo, out, static_cast<size_t>(n));
    samples_.insert(samples_.end(), out, out + n);
    done += n;
    if (got < n) {
      samples_.resize(static_cast<size_t>(frames), 0);
      break;
    }
  }
  return Held::kRead;
}

int32_t AudioEngine::CheckLength(const SourceFormat& source, int64_t frameCountOffset) {
  const std::string rate = std::to_string(source.sampleRate) + " Hz";
  const auto playMs =
      static_cast<int32_t>(double(source.frameCount) / double(source.sampleRate) * 1000.0);
  if (playMs <= 20) {
    return Refuse(kTooShort, RefusalCategory::kDuration, frameCountOffset,
                  std::to_string(source.frameCount) + " frames at " + rate + " play " +
                      std::to_string(playMs) + " ms; more than 20 ms are needed");
  }

  // The clip is held as 16-bit samples; its byte count must be a signed 32-bit value.
  const int64_t clipBytes = 2 * int64_t{source.channels} * source.frameCount;
  if (clipBytes > INT32_MAX) {
    return Refuse(kBadFormat, RefusalCategory::kSize, frameCountOffset,
                  std::to_string(source.frameCount) + " frames make " + std::to_string(clipBytes) +
                      " bytes as 16-bit samples; at most 2^31 - 1 can be held");
  }

  return kOk;
}

int32_t AudioEngine::LoadClip(int32_t sampleRate, std::vector<int16_t> samples) {
  codes_.reset();
  samples_.clear();
  clip_ = false;
  refusal_ = {};
  SourceFormat source;
  source.channels = 1;
  source.bitsPerSample = 16;
  source.bytesPerSample = 2;
  source.blockAlign = 2;
  source.sampleRate = sampleRate;
  fileFormat_ = source;
  if (sampleRate <= 0) return Refuse(kBadRate, RefusalCategory::kRate, -1, "no sampling rate");
  if (samples.size() > size_t{INT32_MAX})
    return Refuse(kBadFormat, RefusalCategory::kSize, -1, "the clip is too long to hold");
  source.frameCount = static_cast<int32_t>(samples.size());
  fileFormat_ = source;
  if (const int32_t code = CheckLength(source, -1); code != kOk) return code;
  samples_ = std::move(samples);
  format_.channels = 1;
  format_.bitsPerSample = 16;
  format_.blockAlign = 2;
  format_.sampleRate = sampleRate;
  format_.frameCount = source.frameCount;
  format_.byteCount = 2 * source.frameCount;
  clip_ = true;
  return kOk;
}

int32_t AudioEngine::HeldFrames() const {
  if (format_.channels == 0 || format_.frameCount <= 0) return 0;
  return static_cast<int32_t>(
      std::min<size_t>(size_t(format_.frameCount), samples_.size() / format_.channels));
}

int32_t AudioEngine::MixDown(int mode) {
  if (format_.channels == 1) return kOk;
  if (mode < 0 || mode > 2) return kFailed;
  codes_.reset();
  const auto held = static_cast<size_t>(HeldFrames());
  switch (mode) {
    case 0:
      MixFrames<0>(samples_.data(), held);
      break;
    case 1:
      MixFrames<1>(samples_.data(), held);
      break;
    default:
      MixFrames<2>(samples_.data(), held);
      break;
  }
  samples_.resize(held);
  format_.channels = 1;
  format_.blockAlign = static_cast<uint16_t>(format_.blockAlign >> 1);
  format_.byteCount = format_.byteCount / 2;
  return kOk;
}

void AudioEngine::TrimFrames(int32_t frames) {
  if (frames < 0 || frames >= format_.frameCount) return;
  codes_.reset();
  format_.frameCount = frames;
  format_.byteCount = format_.blockAlign * frames;
  samples_.resize(std::min(samples_.size(), size_t{format_.channels} * size_t(frames)));
  samples_.shrink_to_fit();  // the point is to hold less
}

int32_t AudioEngine::GetFormat(void* dst) const {
  if (dst == nullptr) return kBadArgument;
  uint8_t block[20] = {};
  auto put16 = [&](int at, uint16_t v) {
    block[at] = static_cast<uint8_t>(v);
    block[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](int at, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<uint8_t>(u >> (8 * i));
  };
  put16(0, format_.channels);
  put16(2, format_.bitsPerSample);
  put16(4, format_.blockAlign);
  put32(8, format_.sampleRate);
  put32(12, format_.byteCount);
  put32(16, format_.frameCount);
  std::memcpy(dst, block, sizeof block);
  return kOk;
}

int32_t AudioEngine::WriteWavImage(std::vector<uint8_t>& out) const {
  // The silence after the frames held is written out.
  const size_t count =
      static_cast<size_t>(std::max<int64_t>(0, int64_t{format_.channels} * format_.frameCount));
  std::vector<int16_t> padded;
  std::span<const int16_t> samples(samples_.data(), std::min(count, samples_.size()));
  if (samples.size() < count) {
    padded.assign(samples.begin(), samples.end());
    padded.resize(count, 0);
    samples = padded;
  }
  const WavImageHeader header{format_.channels, format_.bitsPerSample, format_.sampleRate,
                              format_.byteCount};
  pelorin::WriteWavImage(header, samples, out);
  return kOk;
}

void AudioEngine::Release() {
  codes_.reset();
  samples_.clear();
  samples_.shrink_to_fit();
  clip_ = false;
}

}  // namespace pelorin
