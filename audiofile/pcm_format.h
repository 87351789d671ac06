#pragma once

#include <cstdint>

namespace pelorin {

// The format of the clip an engine holds. Its 20-byte little-endian layout (with two padding
// bytes after blockAlign) is what AudioEngine::GetFormat copies out; the file writers read it.
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

}  // namespace pelorin
