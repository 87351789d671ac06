#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/conversion.h"
#include "workshop/sound_file.h"

namespace pelorin {

// Whether the command line reads an input as a stream: "-" (standard input) or a pipe, a
// device, anything that is not a file that can be read twice.
bool IsStreamInput(const std::string& path);

// An input as the command line reads it, decided by its content, never by its name: through
// the engine when it takes the file (as the window would, the same clip), else through
// libsndfile. When neither reads it, the refusal is the one the window would give.
struct OpenedInput {
  enum class Decoder { kNone, kEngine, kSoundFile };

  // path is a file, "-" or a stream; name is what the conversion is called after (its default
  // title, its messages). purpose: as Conversion::Open.
  static std::unique_ptr<OpenedInput> Open(const std::string& path, const std::string& name,
                                           Conversion::Purpose purpose);

  Decoder decoder = Decoder::kNone;
  std::string format;         // the file's format in words: "FLAC, 24-bit integer"
  Conversion conversion;      // holds the engine's clip for kEngine
  ConversionOutcome outcome;  // the engine's refusal, when it refused
  // For a WAV or AIFF file the engine found damaged (its chunks, its sizes) but libsndfile
  // reads: what the engine found.
  Refusal damage;
  std::unique_ptr<SoundFile> sound;  // for kSoundFile
  std::vector<uint8_t> image;        // a stream's bytes, which sound reads
};

}  // namespace pelorin
