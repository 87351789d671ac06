#pragma once

#include <cstdint>

#include "engine/adpcm_encoder.h"

namespace pelorin {

// Encodes signed 16-bit PCM of one channel as 4-bit ADPCM in AdpcmEncoder's layout, for the
// same decoder, choosing the codes by a search instead of one sample at a time. It follows the
// eight code sequences whose reconstruction has the least squared error so far (of those that
// lead to clearly different decoder states), extends each by up to four codes at every sample,
// and settles a code 15 samples after it, as the cheapest sequence has it then. Integer
// arithmetic and fixed memory; 10 to 20 times the standard encoder's time.
class AdpcmSearchEncoder {
 public:
  // The code the search runs on; both give the same codes.
  enum class Kernel {
    kPortable,  // any processor
    kAvx2,      // x86-64 processors with AVX2
  };
  static bool KernelAvailable(Kernel kernel);
  // AVX2 where this build and processor have it, unless the environment variable
  // PELORIN_KERNEL is "portable" (as for the resampler). Worked out once, at the first call.
  static Kernel DefaultKernel();

  // Call before the first sample of every independent channel.
  void Reset() {
    predictor = 0;
    step = AdpcmEncoder::kInitialStep;
  }

  // Writes the codes of samples[0..count) as AdpcmEncoder::Encode does (even i to the low
  // nibble of out[i / 2], clearing the high one; odd i to the high nibble). Each call is a
  // search of its own that settles all its codes: the codes and the state it ends in depend
  // only on the state it starts from and its samples. A count of 0 or less writes nothing.
  void Encode(const int16_t* samples, uint8_t* out, int32_t count);

  int32_t predictor = 0;  // the decoder's reconstruction of the previous sample
  int32_t step = AdpcmEncoder::kInitialStep;
  Kernel kernel = DefaultKernel();  // one not available runs as kPortable
};

}  // namespace pelorin
