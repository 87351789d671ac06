#pragma once

// Tones as sample bytes and as WAV files of any length.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/image_builder.h"

namespace pelorin::test {

// A 440 Hz tone at 8000 Hz as 16-bit mono samples, little- or big-endian.
inline Bytes ToneSamples(int frames, bool bigEndian = false) {
  Bytes b;
  for (int i = 0; i < frames; ++i) {
    const auto s = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 8000));
    if (bigEndian) {
      PutU16BE(b, uint16_t(s));
    } else {
      PutU16LE(b, uint16_t(s));
    }
  }
  return b;
}

// Writes a 16-bit WAV file of a 440 Hz tone in pieces, so that a long one never has to be held
// in memory (a child process's peak memory counts its parent's at the fork). False when the
// file could not be written.
inline bool WriteToneWav(const std::filesystem::path& path, uint32_t rate, uint16_t channels,
                         uint32_t frames) {
  std::ofstream out(path, std::ios::binary);
  const uint32_t dataBytes = frames * 2 * channels;
  Bytes block;
  PutTag(block, "RIFF");
  PutU32LE(block, 4 + 24 + 8 + dataBytes);
  PutTag(block, "WAVE");
  Append(block, ChunkLE("fmt ", FmtBody(channels, rate, 16, 2 * channels)));
  PutTag(block, "data");
  PutU32LE(block, dataBytes);
  for (uint32_t i = 0; i < frames; ++i) {
    const auto s = static_cast<int16_t>(12000 * std::sin(i * 2 * M_PI * 440 / rate));
    for (uint16_t c = 0; c < channels; ++c) PutU16LE(block, uint16_t(c % 2 ? -s : s));
    if (block.size() >= 65536 || i + 1 == frames) {
      out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size()));
      block.clear();
    }
  }
  return out.good();
}

}  // namespace pelorin::test
