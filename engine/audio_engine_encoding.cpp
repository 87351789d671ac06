// AudioEngine::EncodeKivra: ADPCM-encodes the held clip and has a file writer build the image.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/adpcm_encoder.h"
#include "engine/audio_engine.h"
#include "kivra/kivra_writer_v0.h"
#include "kivra/kivra_writer_v1.h"
#include "kivra/kivra_writer_v2.h"

namespace pelorin {
namespace {

std::unique_ptr<FileBuilder> MakeWriter(int variant) {
  switch (variant) {
    case 0:
      return std::make_unique<KivraWriterV0>();
    case 1:
      return std::make_unique<KivraWriterV1>();
    default:
      return std::make_unique<KivraWriterV2>();
  }
}

// Stereo: byte n holds frame n, the left code in the low nibble and the right in the high.
std::vector<uint8_t> EncodeStereo(const std::vector<int16_t>& samples, int32_t frames,
                                  size_t adpcmBytes) {
  std::vector<int16_t> left(static_cast<size_t>(frames));
  std::vector<int16_t> right(static_cast<size_t>(frames));
  for (size_t i = 0; i < left.size(); ++i) {
    left[i] = samples[2 * i];
    right[i] = samples[2 * i + 1];
  }
  std::vector<uint8_t> leftCodes((static_cast<size_t>(frames) + 1) / 2);
  std::vector<uint8_t> rightCodes(leftCodes.size());
  AdpcmEncoder encoder;
  encoder.Reset();
  encoder.Encode(left.data(), leftCodes.data(), frames);
  encoder.Reset();
  encoder.Encode(right.data(), rightCodes.data(), frames);
  std::vector<uint8_t> adpcm(adpcmBytes);
  for (size_t n = 0; n < adpcm.size(); ++n) {
    const size_t p = n / 2;
    adpcm[n] = (n % 2 == 0) ? static_cast<uint8_t>((rightCodes[p] << 4) | (leftCodes[p] & 0x0F))
                            : static_cast<uint8_t>((rightCodes[p] & 0xF0) | (leftCodes[p] >> 4));
  }
  return adpcm;
}

}  // namespace

int32_t AudioEngine::EncodeKivra(int variant, int reserved, const ContentInfo* info, uint8_t* dst,
                                 int32_t dstCapacity) {
  if (samples_.empty() || reserved != 0 || format_.channels == 0) return kBadArgument;
  if (variant < 0 || variant > 2) return kBadArgument;
  // Never read beyond what is held, whatever the format says.
  const int32_t frames = static_cast<int32_t>(std::min<size_t>(
      static_cast<size_t>(std::max(format_.frameCount, 0)), samples_.size() / format_.channels));
  const size_t adpcmBytes = (static_cast<size_t>(std::max(format_.byteCount, 0)) + 3) / 4;

  std::vector<uint8_t> adpcm;
  std::vector<uint8_t> out;
  try {
    if (format_.channels == 2) {
      adpcm = EncodeStereo(samples_, frames, adpcmBytes);
    } else {
      adpcm.assign(adpcmBytes, 0);
      AdpcmEncoder encoder;
      encoder.Reset();
      // One code per sample, two per byte: never more samples than the array has room for.
      encoder.Encode(samples_.data(), adpcm.data(),
                     static_cast<int32_t>(std::min<size_t>(frames, adpcmBytes * 2)));
    }
  } catch (const std::bad_alloc&) {
    return kFailed;
  }
  std::unique_ptr<FileBuilder> writer;
  try {
    writer = MakeWriter(variant);
  } catch (const std::bad_alloc&) {
    return kNoWriter;
  }
  try {
    writer->Build(0, info, format_, adpcm, out);
  } catch (const std::bad_alloc&) {
    return kFailed;
  }
  if (out.size() > static_cast<size_t>(std::max(dstCapacity, 0))) return kNoRoom;
  if (!out.empty()) std::memcpy(dst, out.data(), out.size());
  return static_cast<int32_t>(out.size());
}

}  // namespace pelorin
