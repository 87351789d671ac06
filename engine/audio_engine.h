#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audiofile/byte_stream.h"
#include "audiofile/pcm_format.h"
#include "audiofile/refusal.h"
#include "audiofile/sample_source.h"
#include "engine/adpcm_encoder.h"
#include "engine/result_codes.h"
#include "kivra/content_info.h"

namespace pelorin {

// Holds one clip as interleaved signed 16-bit PCM and runs the conversion steps on it.
//
// The samples held may stop before the clip's end: a file may declare more frames than it
// holds, and a conversion leaves out the silence its filter gives after the last frame held.
// Every frame after the held ones, up to the format's frameCount, is silence that takes no
// memory; every operation reads it as zeros.
class AudioEngine {
 public:
  static constexpr int32_t kMinRate = 4000;
  static constexpr int32_t kMaxRate = 48000;

  int32_t Load(int isAiff, const uint8_t* image, int32_t length);
  // Load and MixDown(0) in one pass: the same clip, format and results, without ever holding
  // the stereo samples. For a conversion, which mixes down first anyway.
  int32_t LoadMono(int isAiff, const uint8_t* image, int32_t length);
  // The same from a stream whose Size is the image's length (a FileStream): a file is read a
  // buffer at a time and never held whole.
  int32_t Load(int isAiff, ByteStream& stream);
  int32_t LoadMono(int isAiff, ByteStream& stream);
  // A clip made ready elsewhere: mono 16-bit samples at any rate above 0, each one held (the
  // command line brings files the readers above do not take this way). The play-time and size
  // limits of Load apply; a rate outside kMinRate..kMaxRate is the caller's to convert.
  int32_t LoadClip(int32_t sampleRate, std::vector<int16_t> samples);
  int32_t MixDown(int mode);
  // Resamples the clip to targetRate with a windowed-sinc filter of the given length. With
  // encodeAlong, a long mono clip split over two threads also has its ADPCM codes of that
  // quality made as it converts, by the first thread while the second still converts the end;
  // EncodeKivra with that quality then takes them instead of making them again.
  int32_t ConvertRate(int32_t targetRate, int32_t taps,
                      std::optional<AdpcmQuality> encodeAlong = std::nullopt);
  // Whether ConvertRate may share a long clip's work with a second thread (the default): not
  // worth it when other conversions keep the processors busy.
  void AllowSecondThread(bool allowed) { secondThread_ = allowed; }
  // Encodes the clip as ADPCM and has the writer of the variant (0, 1 or 2) build a file
  // image, which replaces out: sized exactly, so that no caller guesses a capacity. The
  // image's length, or kBadArgument, kNoWriter or kFailed, with out untouched. The quality
  // picks the encoder; the file's size and layout are the same for both.
  int32_t EncodeKivra(int variant, int reserved, const ContentInfo* info, std::vector<uint8_t>& out,
                      AdpcmQuality quality = AdpcmQuality::kStandard);
  // Keeps only the first frames of the clip (no effect when it is not longer): a long clip
  // whose end cannot reach the file need not be converted.
  void TrimFrames(int32_t frames);
  int32_t GetFormat(void* dst) const;
  int32_t WriteWavImage(std::vector<uint8_t>& out) const;
  void Release();

  const PcmFormat& Format() const { return format_; }
  // The frames held, interleaved; the clip's remaining frames are silence.
  const std::vector<int16_t>& Samples() const { return samples_; }
  int32_t HeldFrames() const;

  // What the last Load found: the file's format as its header states it (channels 0 when the
  // reader rejected it) and, for a refusal, why.
  const SourceFormat& FileFormat() const { return fileFormat_; }
  const Refusal& LoadRefusal() const { return refusal_; }

 private:
  int32_t LoadAs(int isAiff, ByteStream& stream, bool mono);
  template <class Reader>
  int32_t LoadWith(Reader& reader, int32_t imageLength, bool mono);
  // The first frames of the file into samples_, as they are or mixed to mono.
  enum class Held { kRead, kNoMemory, kReadFailed };
  template <class Reader>
  Held ReadInto(Reader& reader, int32_t frames, int channels);
  template <class Reader>
  Held ReadMixedDown(Reader& reader, int32_t frames);
  int32_t Refuse(int32_t code, RefusalCategory category, int64_t offset, std::string text);
  // kTooShort or kBadFormat, with the reason, for a clip of frames that is too short or too
  // large to hold as 16-bit samples; kOk otherwise.
  int32_t CheckLength(const SourceFormat& source, int64_t frameCountOffset);

  std::vector<int16_t> samples_;
  PcmFormat format_;
  // The ADPCM codes of the clip held, made while ConvertRate converted it; every other change
  // of the clip drops them.
  struct Codes {
    AdpcmQuality quality = AdpcmQuality::kStandard;
    std::vector<uint8_t> bytes;
  };
  std::optional<Codes> codes_;
  bool clip_ = false;  // from a successful Load until Release or the next Load
  bool secondThread_ = true;
  SourceFormat fileFormat_;
  Refusal refusal_;
};

}  // namespace pelorin
