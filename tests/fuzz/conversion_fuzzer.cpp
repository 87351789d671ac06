#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/audio_engine.h"
#include "kivra/content_info.h"

// The whole in-memory conversion. The first byte picks the container (bit 0), the target rate
// (bit 1), the variant (the byte / 4 % 3) and the searching encoder (bit 7); the rest is the
// image.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size - 1 > INT32_MAX) return 0;
  const uint8_t choice = data[0];
  const int isAiff = choice & 1;
  const int32_t rate = (choice & 2) ? 8000 : 4000;
  const int variant = (choice / 4) % 3;
  const auto quality =
      (choice & 0x80) ? pelorin::AdpcmQuality::kHigh : pelorin::AdpcmQuality::kStandard;

  pelorin::AudioEngine engine;
  if (engine.Load(isAiff, data + 1, static_cast<int32_t>(size - 1)) != pelorin::kOk) return 0;
  // Long clips only cost time: the rate conversion is linear in the length.
  const pelorin::PcmFormat& format = engine.Format();
  if (int64_t{format.frameCount} > int64_t{format.sampleRate} * 10) return 0;
  engine.MixDown(0);
  if (engine.ConvertRate(rate, 256) < 0) return 0;

  pelorin::ContentInfo info;
  info.textCode = 2;
  std::strcpy(info.text[pelorin::ContentInfo::kTitle], "Fuzz");
  std::vector<uint8_t> out;
  engine.EncodeKivra(variant, 0, &info, out, quality);
  return 0;
}
