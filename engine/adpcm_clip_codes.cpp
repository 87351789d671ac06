#include "engine/adpcm_clip_codes.h"

#include <algorithm>

#include "engine/adpcm_search_encoder.h"

namespace pelorin {
namespace {

// Samples staged at a time where they cannot be encoded in place. Even, so that every call
// of the encoder starts on a byte's low nibble.
constexpr int32_t kStageSamples = 4096;

// Encodes count samples of one channel into codes (two a byte, (count + 1) / 2 bytes): the
// channel's samples are held[channel], held[channel + stride], ... as far as held reaches,
// and silence after that. The encoder is called on blocks of kStageSamples at fixed places,
// held or not: the search encoder's codes depend on where its calls begin, and a clip must give
// the same codes whether its silence is held or not. A mono block held whole is encoded where
// it lies.
template <class Encoder>
bool EncodeChannel(std::span<const int16_t> held, int stride, int channel, int32_t count,
                   uint8_t* codes, const FramesReady& ready) {
  Encoder encoder;
  encoder.Reset();
  const auto available = static_cast<int32_t>(std::min<size_t>(
      size_t(count), (held.size() + size_t(stride - 1 - channel)) / size_t(stride)));
  int16_t stage[kStageSamples];
  // Past the samples held every block is silence. A silent block that starts from the state the
  // silent block before it started from gives the same codes and ends in that state again (a
  // call's codes and end state follow from its start state and its samples alone), so from
  // then on the codes are copied: a long declared silence costs no encoding.
  int32_t silentStart = -1;
  Encoder silentState;
  int32_t done = 0;
  while (done < count) {
    const int32_t n = std::min(kStageSamples, count - done);
    if (ready && done < available && !ready(std::min(done + n, available))) return false;
    if (stride == 1 && done + n <= available) {
      encoder.Encode(held.data() + done, codes + done / 2, n);
      done += n;
      continue;
    }
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
  return true;
}

template <class Encoder>
std::optional<std::vector<uint8_t>> EncodeWith(std::span<const int16_t> held, int channels,
                                               int32_t frames, size_t adpcmBytes,
                                               const FramesReady& ready) {
  std::vector<uint8_t> adpcm(adpcmBytes, 0);
  if (channels == 1) {
    // One code per sample, two per byte: never more samples than the array has room for.
    const auto count = static_cast<int32_t>(std::min<size_t>(size_t(frames), adpcmBytes * 2));
    if (!EncodeChannel<Encoder>(held, 1, 0, count, adpcm.data(), ready)) return std::nullopt;
    return adpcm;
  }
  std::vector<uint8_t> left((static_cast<size_t>(frames) + 1) / 2);
  std::vector<uint8_t> right(left.size());
  if (!EncodeChannel<Encoder>(held, 2, 0, frames, left.data(), ready) ||
      !EncodeChannel<Encoder>(held, 2, 1, frames, right.data(), ready)) {
    return std::nullopt;
  }
  for (size_t n = 0; n < adpcm.size(); ++n) {
    const size_t p = n / 2;
    adpcm[n] = (n % 2 == 0) ? static_cast<uint8_t>((right[p] << 4) | (left[p] & 0x0F))
                            : static_cast<uint8_t>((right[p] & 0xF0) | (left[p] >> 4));
  }
  return adpcm;
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeClipCodes(std::span<const int16_t> held, int channels,
                                                    int32_t frames, size_t adpcmBytes,
                                                    AdpcmQuality quality,
                                                    const FramesReady& ready) {
  return quality == AdpcmQuality::kHigh
             ? EncodeWith<AdpcmSearchEncoder>(held, channels, frames, adpcmBytes, ready)
             : EncodeWith<AdpcmEncoder>(held, channels, frames, adpcmBytes, ready);
}

}  // namespace pelorin
