#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/audio_engine.h"

// Loads an arbitrary image the way the conversion does and touches everything a loaded clip
// offers; shared by the WAV and AIFF harnesses.
inline int FuzzLoad(int isAiff, const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return 0;
  pelorin::AudioEngine engine;
  if (engine.Load(isAiff, data, static_cast<int32_t>(size)) != pelorin::kOk) return 0;
  uint8_t format[20];
  engine.GetFormat(format);
  engine.MixDown(0);
  std::vector<uint8_t> wav;
  engine.WriteWavImage(wav);
  return 0;
}
