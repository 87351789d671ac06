#pragma once

#include <cstdint>
#include <vector>

#include "audiofile/pcm_format.h"
#include "engine/result_codes.h"
#include "kivra/content_info.h"

namespace pelorin {

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
  // Resamples the clip to targetRate with a windowed-sinc filter of the given length.
  int32_t ConvertRate(int32_t targetRate, int32_t taps);
  // Encodes the clip as ADPCM and has the writer of the variant (0, 1 or 2) build a file
  // image into dst; the image's length, or kBadArgument, kNoRoom, kNoWriter.
  int32_t EncodeKivra(int variant, int reserved, const ContentInfo* info, uint8_t* dst,
                      int32_t dstCapacity);
  // Keeps only the first frames of the clip (no effect when it is not longer): a long clip
  // whose end cannot reach the file need not be converted.
  void TrimFrames(int32_t frames);
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
