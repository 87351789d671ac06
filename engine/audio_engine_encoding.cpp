// AudioEngine::EncodeKivra: ADPCM-encodes the held clip and has a file writer build the image.

#include <algorithm>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "engine/adpcm_encoder.h"
#include "engine/audio_engine.h"
#include "kivra/kivra_writer_v0.h"
#include "kivra/kivra_writer_v1.h"
#include "kivra/kivra_writer_v2.h"

namespace pelorin {
namespace {

// Samples staged at a time where they cannot be encoded in place. Even, so that every call
// of the encoder starts on a byte's low nibble.
constexpr int32_t kStageSamples = 4096;

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

// Encodes count samples of one channel into codes (two a byte, (count + 1) / 2 bytes): the
// channel's samples are held[channel], held[channel + stride], ... as far as held reaches,
// and silence after that. A mono clip is encoded where it lies.
void EncodeChannel(std::span<const int16_t> held, int stride, int channel, int32_t count,
                   uint8_t* codes) {
  AdpcmEncoder encoder;
  encoder.Reset();
  const auto available = static_cast<int32_t>(std::min<size_t>(
      size_t(count), (held.size() + size_t(stride - 1 - channel)) / size_t(stride)));
  int32_t done = 0;
  if (stride == 1) {
    // Up to an even count, so that what follows starts on a new byte.
    done = available == count ? count : available & ~1;
    encoder.Encode(held.data(), codes, done);
  }
  int16_t stage[kStageSamples];
  // Past the samples held every block is silence. A silent block that starts from the state the
  // silent block before it started from gives the same codes and ends in that state again, so
  // from then on the codes are copied: a long declared silence costs no encoding.
  int32_t silentStart = -1;
  AdpcmEncoder silentState;
  while (done < count) {
    const int32_t n = std::min(kStageSamples, count - done);
    if (done >= available && n == kStageSamples) {
      if (silentStart >= 0 && encoder.predictor == silentState.predictor &&
          encoder.step == silentState.step) {
        std::copy_n(codes + silentStart / 2, n / 2, codes + done / 2);
        done += n;
        continue;
      }
      silentStart = done;
      silentState = encoder;
    }
    for (int32_t i = 0; i < n; ++i) {
      const int32_t k = done + i;
      stage[i] = k < available ? held[size_t(k) * size_t(stride) + size_t(channel)] : int16_t{0};
    }
    encoder.Encode(stage, codes + done / 2, n);
    done += n;
  }
}

// The ADPCM data of a clip of one or two channels. Mono: the codes, two a byte, low nibble
// first. Stereo: byte n holds frame n, the left code in the low nibble and the right one in
// the high nibble.
std::vector<uint8_t> EncodeAdpcm(std::span<const int16_t> held, int channels, int32_t frames,
                                 size_t adpcmBytes) {
  std::vector<uint8_t> adpcm(adpcmBytes, 0);
  if (channels == 1) {
    // One code per sample, two per byte: never more samples than the array has room for.
    const auto count = static_cast<int32_t>(std::min<size_t>(size_t(frames), adpcmBytes * 2));
    EncodeChannel(held, 1, 0, count, adpcm.data());
    return adpcm;
  }
  std::vector<uint8_t> left((static_cast<size_t>(frames) + 1) / 2);
  std::vector<uint8_t> right(left.size());
  EncodeChannel(held, 2, 0, frames, left.data());
  EncodeChannel(held, 2, 1, frames, right.data());
  for (size_t n = 0; n < adpcm.size(); ++n) {
    const size_t p = n / 2;
    adpcm[n] = (n % 2 == 0) ? static_cast<uint8_t>((right[p] << 4) | (left[p] & 0x0F))
                            : static_cast<uint8_t>((right[p] & 0xF0) | (left[p] >> 4));
  }
  return adpcm;
}

}  // namespace

int32_t AudioEngine::EncodeKivra(int variant, int reserved, const ContentInfo* info,
                                 std::vector<uint8_t>& out) {
  if (!clip_ || reserved != 0 || format_.channels == 0) return kBadArgument;
  if (variant < 0 || variant > 2) return kBadArgument;
  const int32_t frames = std::max(format_.frameCount, 0);
  const size_t adpcmBytes = (static_cast<size_t>(std::max(format_.byteCount, 0)) + 3) / 4;
  const std::span<const int16_t> held(samples_.data(),
                                      size_t(HeldFrames()) * size_t(format_.channels));
  std::vector<uint8_t> adpcm;
  try {
    adpcm = EncodeAdpcm(held, format_.channels, frames, adpcmBytes);
  } catch (const std::bad_alloc&) {
    return kFailed;
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
