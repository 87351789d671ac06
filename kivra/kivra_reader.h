#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pelorin {

// One chunk as found in a KIVRA file, in file order (a parent before its children).
struct KivraChunk {
  std::string id;       // as text (audiofile/byte_text.h): "MMMD", "ATR\x00", "MTR\x05"
  size_t offset = 0;    // of the identifier, from the start of the file
  uint32_t length = 0;  // as stored: the bytes after the 8-byte header
  int depth = 0;        // 0 for the top-level "MMMD"
};

// A tag of the content information: variant 0's "NN:text," tags with the escapes undone, or
// the "NN" + 16-bit length tags of variants 1 and 2 (the bytes as they are).
struct KivraTag {
  std::string name;
  std::string text;
  size_t offset = 0;  // of the name
};

struct KivraProblem {
  size_t offset = 0;
  std::string what;
};

// A stored value against the one the file's bytes give. Check codes are two characters, the
// first in the high byte.
struct KivraCheck {
  bool present = false;  // false when the field is missing or could not be reached
  uint64_t stored = 0;
  uint64_t computed = 0;
  bool Ok() const { return present && stored == computed; }
};

// What ReadKivra finds in a file. Anything that makes the file unusable or shows it damaged is
// in problems; the other fields hold whatever could be read. A sound report (no problems)
// always has the variant, rate, channels, play time and ADPCM data.
struct KivraReport {
  int variant = -1;  // 0, 1 or 2; -1 when the chunks do not tell
  std::vector<KivraChunk> chunks;
  std::vector<KivraTag> tags;
  std::optional<uint8_t> textCode;   // variant 0
  std::optional<uint8_t> flags;      // variant 0: bit 0 transfer off, bit 1 saving off
  int32_t sampleRate = 0;            // 0 when unknown
  int channels = 0;                  // 0 when unknown
  std::optional<uint32_t> ticks;     // playing time in 4-ms ticks
  std::optional<uint32_t> proTicks;  // variant 2: the copy in the "Pro" chunk
  std::optional<size_t> adpcmOffset;
  size_t adpcmLength = 0;
  KivraCheck length;     // top-level length against file length - 8
  KivraCheck checksum;   // last two bytes against the Crc16 of all before them
  KivraCheck infoCode;   // "A2"
  KivraCheck trackCode;  // "A0"
  std::vector<KivraProblem> problems;

  bool Sound() const { return problems.empty(); }
  double Seconds() const { return ticks ? *ticks * 0.004 : 0.0; }
};

// Parses an untrusted KIVRA image of any variant. Every read is bounds-checked; damage never
// stops the reading of what lies before it.
KivraReport ReadKivra(std::span<const uint8_t> file);

}  // namespace pelorin
