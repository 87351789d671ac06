#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace pelorin {

// What a sound file holds, as the general-purpose decoder reads it.
struct SoundFileInfo {
  std::string format;  // in words: "FLAC, 24-bit", "Ogg Opus", "WAV, 32-bit float"
  int channels = 0;
  int32_t sampleRate = 0;
  // As the file states it: a damaged stream may hold fewer, and for an MP3 without a length
  // header it is an estimate from the file size. Counted by decoding when the file does not
  // state it (a stream written to a pipe).
  int64_t frames = 0;
  int bitsPerSample = 0;  // of integer PCM (8, 16, 20, 24, 32); 0 for float and lossy data
};

// A sound file read through libsndfile, as mono: the command line's way into the common formats
// the engine does not read itself (FLAC, Ogg, MP3, deep or floating-point WAV and AIFF, ...).
class SoundFile {
  struct State;  // the decoder and where it stands

 public:
  // Opens the file at path, which is read as it is needed, never whole; or the bytes of an
  // image (what a pipe gave), which must outlive the object. Null, with why set, when the file
  // is no sound file the decoder knows or holds no frames. A path must name a regular file.
  static std::unique_ptr<SoundFile> Open(const std::string& path, std::string* why);
  static std::unique_ptr<SoundFile> Open(std::span<const uint8_t> image, std::string* why);
  // Only Open can make the key.
  class Key {
    Key() = default;
    friend class SoundFile;
  };
  SoundFile(Key, std::unique_ptr<State> state);
  ~SoundFile();
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;

  const SoundFileInfo& Info() const;

  // Appends up to count frames, from frame `first` on, to out: each the mean of the frame's
  // channels (all channels weigh the same), in the 16-bit scale (full scale is 32768.0). The
  // number of frames appended: fewer at the end of the stream or where decoding stops
  // (Damaged() then tells). Never holds more than a block of the file's own frames at a time.
  // Floating-point data beyond full scale is kept; NaN becomes 0 and infinities the largest
  // float. The samples do not depend on where a read starts: codecs whose seeks are not exact
  // decode from the start (sequential reads stay cheap).
  int64_t ReadMono(int64_t first, int64_t count, std::vector<float>& out);

  // Whether a read met a frame that does not decode, or the stream stopped short of its stated
  // length.
  bool Damaged() const;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace pelorin
