#include "engine/audio_engine.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audiofile/aiff_reader.h"
#include "audiofile/memory_stream.h"
#include "audiofile/wav_image_writer.h"
#include "audiofile/wav_reader.h"

namespace pelorin {
namespace {

// Frames MixDown takes at a time: a block's copy stays in the first-level cache.
constexpr size_t kMixBlock = 2048;

// Mixes (mode 0) or picks a channel of (1: left, 2: right) the first frames of interleaved
// stereo, frame k into sample k. Each block of frames is copied out before any result is
// stored, so the loop reads from memory no store can reach and is vectorised.
template <int Mode>
void MixFrames(int16_t* samples, size_t frames) {
  int16_t block[2 * kMixBlock];
  for (size_t start = 0; start < frames; start += kMixBlock) {
    const size_t n = std::min(kMixBlock, frames - start);
    std::copy_n(samples + 2 * start, 2 * n, block);
    int16_t* out = samples + start;
    for (size_t i = 0; i < n; ++i) {
      const int32_t left = block[2 * i];
      const int32_t right = block[2 * i + 1];
      if constexpr (Mode == 0) {
        out[i] = static_cast<int16_t>(left / 2 + right / 2);
      } else if constexpr (Mode == 1) {
        out[i] = static_cast<int16_t>(left);
      } else {
        out[i] = static_cast<int16_t>(right);
      }
    }
  }
}

}  // namespace

int32_t AudioEngine::Load(int isAiff, const uint8_t* image, int32_t length) {
  MemoryStream stream(image, length);
  samples_.clear();
  const int32_t imageLength = image == nullptr ? 0 : std::max(length, 0);
  if (isAiff == 0) {
    WavReader reader(stream);
    return LoadWith(reader, imageLength);
  }
  AiffReader reader(stream);
  return LoadWith(reader, imageLength);
}

template <class Reader>
int32_t AudioEngine::LoadWith(Reader& reader, int32_t imageLength) {
  const SourceFormat& source = reader.Format();
  if (source.channels == 0) return kBadFormat;
  if (source.sampleRate < kMinRate || source.sampleRate > kMaxRate) return kBadRate;
  if (source.bitsPerSample != 8 && source.bitsPerSample != 16) return kBadBits;
  if (source.channels > 2) return kBadChannels;
  const auto playMs =
      static_cast<int32_t>(double(source.frameCount) / double(source.sampleRate) * 1000.0);
  if (playMs <= 20) return kTooShort;

  // The clip is held as 16-bit samples; its byte count must be a signed 32-bit value.
  const int64_t sampleCount = int64_t{source.channels} * source.frameCount;
  if (2 * sampleCount > INT32_MAX) return kBadFormat;

  // A file may declare more frames than it holds (only an AIFF image can). Missing frames
  // are silence, but only so many of them: memory follows the file, not its header.
  int32_t frames = source.frameCount;
  const int64_t present = std::max<int64_t>(0, int64_t{imageLength} - source.dataOffset);
  const int64_t presentFrames = present / source.blockAlign;
  const int64_t silenceFrames = int64_t{kMaxMissingSeconds} * source.sampleRate;
  frames = static_cast<int32_t>(std::min<int64_t>(frames, presentFrames + silenceFrames));

  try {
    samples_.assign(static_cast<size_t>(frames) * source.channels, 0);
  } catch (const std::bad_alloc&) {
    samples_.clear();
    return kFailed;
  }
  if (reader.Read(samples_.data(), frames) < 0) return kFailed;

  format_.channels = source.channels;
  format_.bitsPerSample = 16;
  format_.blockAlign = static_cast<uint16_t>(2 * source.channels);
  format_.sampleRate = source.sampleRate;
  format_.frameCount = frames;
  format_.byteCount = 2 * source.channels * frames;
  return kOk;
}

int32_t AudioEngine::MixDown(int mode) {
  if (format_.channels == 1) return kOk;
  if (mode < 0 || mode > 2) return kFailed;
  // After a failed Load the samples may be fewer than the format says: frames not held
  // count as silence.
  const size_t frames = static_cast<size_t>(std::max(format_.frameCount, 0));
  const size_t held = std::min(frames, samples_.size() / 2);
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
  samples_.resize(frames);
  if (held < frames) std::fill(samples_.begin() + held, samples_.end(), 0);
  format_.channels = 1;
  format_.blockAlign = static_cast<uint16_t>(format_.blockAlign >> 1);
  format_.byteCount = format_.byteCount / 2;
  return kOk;
}

void AudioEngine::TrimFrames(int32_t frames) {
  if (frames < 0 || frames >= format_.frameCount) return;
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
  // Samples the format counts but the engine does not hold are written as silence.
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
  samples_.clear();
  samples_.shrink_to_fit();
}

}  // namespace pelorin
