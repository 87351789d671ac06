#pragma once

#include <cstdint>
#include <vector>

#include "engine/result_codes.h"

namespace pelorin {

// The format of the held clip. Its 20-byte little-endian layout (with two padding bytes after
// blockAlign) is what GetFormat copies out.
struct PcmFormat {
  uint16_t channels = 0;
  uint16_t bitsPerSample = 0;
  uint16_t blockAlign = 0;
  uint16_t padding = 0;
  int32_t sampleRate = 0;
  int32_t byteCount = 0;
  int32_t frameCount = 0;
};
static_assert(sizeof(PcmFormat) == 20);

// Holds one clip as interleaved signed 16-bit PCM and runs the conversion steps on it.
class AudioEngine {
 public:
  static constexpr int32_t kMinRate = 4000;
  static constexpr int32_t kMaxRate = 48000;
  // Frames missing from a file that declares more sample data than it holds are kept as
  // silence, but at most this many seconds of them, so memory follows the file's real size.
  static constexpr int32_t kMaxMissingSeconds = 10;

  AudioEngine() = default;
  virtual ~AudioEngine() = default;
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  int32_t Load(int isAiff, const uint8_t* image, int32_t length);
  int32_t MixDown(int mode);
  int32_t GetFormat(void* dst) const;
  int32_t WriteWavImage(std::vector<uint8_t>& out) const;
  void Release();

  const PcmFormat& Format() const { return format_; }
  const std::vector<int16_t>& Samples() const { return samples_; }

 private:
  template <class Reader>
  int32_t LoadWith(Reader& reader, int32_t imageLength);

  std::vector<int16_t> samples_;
  PcmFormat format_;
};

}  // namespace pelorin
