#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/adpcm_encoder.h"

namespace pelorin {

// Turns the 4-bit codes of one channel back into signed 16-bit PCM: each sample is the
// encoder's predictor after the same code, so decoding reproduces the encoder's own
// reconstruction exactly.
class AdpcmDecoder {
 public:
  // Call before the first code of every independent channel.
  void Reset() {
    predictor = 0;
    step = AdpcmEncoder::kInitialStep;
  }

  // Decodes count codes from in, in the encoder's order: code i is in in[i / 2], even i in
  // the low nibble. in needs (count + 1) / 2 bytes. State carries over between calls.
  void Decode(const uint8_t* in, int16_t* out, int32_t count);

  int32_t predictor = 0;
  int32_t step = AdpcmEncoder::kInitialStep;
};

// Decodes a file's ADPCM data. Mono: two codes per byte, low nibble first. Stereo: byte n
// holds frame n, left in the low nibble and right in the high one, each channel a stream of
// its own. Gives two samples per byte, interleaved for stereo.
std::vector<int16_t> DecodeAdpcm(std::span<const uint8_t> adpcm, int channels);

}  // namespace pelorin
