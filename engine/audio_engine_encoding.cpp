// AudioEngine::EncodeKivra: ADPCM-encodes the held clip and has a file writer build the image.

#include <algorithm>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "engine/adpcm_clip_codes.h"
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

}  // namespace

int32_t AudioEngine::EncodeKivra(int variant, int reserved, const ContentInfo* info,
                                 std::vector<uint8_t>& out, AdpcmQuality quality) {
  if (!clip_ || reserved != 0 || format_.channels == 0) return kBadArgument;
  if (variant < 0 || variant > 2) return kBadArgument;
  if (quality != AdpcmQuality::kStandard && quality != AdpcmQuality::kHigh) return kBadArgument;
  const int32_t frames = std::max(format_.frameCount, 0);
  const size_t adpcmBytes = (static_cast<size_t>(std::max(format_.byteCount, 0)) + 3) / 4;
  const std::span<const int16_t> held(samples_.data(),
                                      size_t(HeldFrames()) * size_t(format_.channels));
  std::vector<uint8_t> adpcm;
  if (codes_ && codes_->quality == quality && codes_->bytes.size() == adpcmBytes) {
    adpcm = std::move(codes_->bytes);  // made while the clip was converted
    codes_.reset();
  } else {
    try {
      adpcm = *EncodeClipCodes(held, format_.channels, frames, adpcmBytes, quality);
    } catch (const std::bad_alloc&) {
      return kFailed;
    }
  }
  std::unique_ptr<FileBuilder> writer;
  try {
    writer = MakeWriter(variant);
  } catch (const std::bad_alloc&) {
    return kNoWriter;
  }
  std::vector<uint8_t> image;
  try {
    writer->Build(info, format_, adpcm, image);
  } catch (const std::bad_alloc&) {
    return kFailed;
  }
  if (image.size() > size_t{INT32_MAX}) return kFailed;
  out = std::move(image);
  return static_cast<int32_t>(out.size());
}

}  // namespace pelorin
