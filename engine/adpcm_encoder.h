#pragma once

#include <cstdint>

namespace pelorin {

// Which encoder turns a clip into codes. Both give one code per sample in the same layout for
// the same decoder; kHigh searches for codes that decode closer to the input (AdpcmSearchEncoder)
// and takes 10 to 20 times as long to encode.
enum class AdpcmQuality { kStandard, kHigh };

// One step of the codec's reconstruction, shared by the encoder and the decoder so that the
// two can never drift apart: applies the 4-bit code (bit 3 sign, bits 0 to 2 magnitude) to the
// predictor and adapts the step size. The predictor stays in -32768..32767, the step in
// 127..24576.
void ApplyAdpcmCode(int32_t& predictor, int32_t& step, uint8_t code);

// Encodes signed 16-bit PCM of one channel as 4-bit ADPCM, two codes per byte.
class AdpcmEncoder {
 public:
  static constexpr int32_t kInitialStep = 127;

  // Call before the first sample of every independent channel.
  void Reset() {
    predictor = 0;
    step = kInitialStep;
  }

  // Writes the code of samples[i] into out[i / 2]: even i to the low nibble (clearing the high
  // one), odd i to the high nibble. out needs (count + 1) / 2 bytes. The nibble index restarts
  // with every call; predictor and step carry over. A count of 0 or less writes nothing.
  void Encode(const int16_t* samples, uint8_t* out, int32_t count);

  int32_t predictor = 0;  // the decoder's reconstruction of the previous sample
  int32_t step = kInitialStep;
};

}  // namespace pelorin
