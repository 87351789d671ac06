#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pelorin {

// What the 44-byte header of a written WAV image says.
struct WavImageHeader {
  uint16_t channels = 0;
  uint16_t bitsPerSample = 16;
  int32_t sampleRate = 0;
  int32_t byteCount = 0;  // the "data" size
};

// Replaces out with a little-endian PCM WAV image: the header, then every sample of samples.
void WriteWavImage(const WavImageHeader& header, std::span<const int16_t> samples,
                   std::vector<uint8_t>& out);

}  // namespace pelorin
