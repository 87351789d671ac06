#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "workshop/mono_input.h"
#include "workshop/time_text.h"

namespace pelorin {

// What the user asked of a clip before its conversion, as the command line's options say it.
// Times are seconds of the input (after the silence trim, when there is one).
struct ClipChoices {
  std::optional<TypedTime> start;
  std::optional<TypedTime> length;  // length or end, never both
  std::optional<TypedTime> end;
  std::optional<double> trimDbfs;  // drop leading and trailing samples at or below this level
  std::optional<TypedTime> fadeIn;
  std::optional<TypedTime> fadeOut;  // also replaces the automatic fade at the cap; 0 turns it off
  std::optional<double> normalizeLufs;

  bool Any() const {
    return start || length || end || trimDbfs || fadeIn || fadeOut || normalizeLufs;
  }
};

inline constexpr double kDefaultTrimDbfs = -50.0;
inline constexpr double kDefaultLoudnessLufs = -16.0;
inline constexpr double kTruePeakCeilingDbtp = -1.0;
// The fade that ends a clip where a file's play-time cap cuts it, unless the user chose one.
inline constexpr int64_t kCapFadeMs = 1000;

// A clip made ready for the engine, or why it could not be.
struct PreparedClip {
  int32_t sampleRate = 0;
  std::vector<int16_t> samples;
  std::vector<std::string> done;  // for the summary: "0:45–1:51.04", "fade-out 1 s", "−16 LUFS"
  std::vector<std::string> notes;  // what the user should know beyond that
  std::string error;               // empty when the clip is ready
  bool usageError = false;         // the choices, not the input, are at fault
};

// Reads the part of the input the choices select and makes it ready: silence trimmed, the part
// selected and cut to capMs (the longest play time the file keeps; 0 for none), loudness
// normalized, faded, rounded to 16 bits. Only the selected part is ever held.
PreparedClip PrepareClip(MonoInput& input, const ClipChoices& choices, int64_t capMs);

}  // namespace pelorin
