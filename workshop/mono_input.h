#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "workshop/sound_file.h"

namespace pelorin {

// Where the workshop reads a clip from: mono samples in the 16-bit scale (full scale 32768.0),
// a range at a time.
class MonoInput {
 public:
  virtual ~MonoInput() = default;
  virtual int32_t Rate() const = 0;
  // The frames the input states it has; a read may end sooner.
  virtual int64_t Frames() const = 0;
  // Appends up to count frames from frame `first` on to out; the number appended.
  virtual int64_t Read(int64_t first, int64_t count, std::vector<float>& out) = 0;
  // Whether a read met a part that does not decode.
  virtual bool Damaged() const { return false; }
};

// The clip an engine loaded, mixed down: the samples it holds, then silence up to frames.
class HeldInput final : public MonoInput {
 public:
  HeldInput(std::span<const int16_t> held, int64_t frames, int32_t rate)
      : held_(held), frames_(frames), rate_(rate) {}
  int32_t Rate() const override { return rate_; }
  int64_t Frames() const override { return frames_; }
  int64_t Read(int64_t first, int64_t count, std::vector<float>& out) override;

 private:
  std::span<const int16_t> held_;
  int64_t frames_;
  int32_t rate_;
};

// A sound file read through libsndfile (not owned).
class SoundFileInput final : public MonoInput {
 public:
  explicit SoundFileInput(SoundFile& file) : file_(file) {}
  int32_t Rate() const override { return file_.Info().sampleRate; }
  int64_t Frames() const override { return file_.Info().frames; }
  int64_t Read(int64_t first, int64_t count, std::vector<float>& out) override;
  bool Damaged() const override { return file_.Damaged(); }

 private:
  SoundFile& file_;
};

}  // namespace pelorin
