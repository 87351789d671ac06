#pragma once

#include <cstdint>

namespace pelorin {

// The code that computes the resampler's filter sums. Every kernel adds each sum's products
// in tap order, one rounding per multiplication and per addition, so all give the same bits.
enum class ResampleKernel : uint8_t {
  kPortable,  // four scalar sums side by side; any processor, any compiler
  kAvx2,      // eight outputs of one phase in two vectors; x86-64 processors with AVX2
};

// What the processor and the environment ask for: AVX2 where the processor has it, unless the
// environment variable PELORIN_KERNEL is "portable". Worked out once, at the first call.
// Resamplers use it unless told otherwise (ResamplerOptions), as tests comparing kernels do.
ResampleKernel DefaultResampleKernel();

// Whether this processor and build can run the kernel; a resampler asked for one it cannot
// run uses the portable one.
bool ResampleKernelAvailable(ResampleKernel kernel);

// Rounds a filter sum to a sample: non-negative sums to nearest, negative ones up; clamped to
// +-32767, so -32768 is never produced.
inline int16_t RoundSum(double sum) {
  const double v = sum + 0.5;
  if (v > 32767.0) return 32767;
  if (v < -32767.0) return -32767;
  return static_cast<int16_t>(static_cast<int32_t>(v));
}

// How many outputs of one phase the AVX2 kernel computes together: two vectors of four, which
// share every coefficient they load.
inline constexpr int32_t kLanes = 8;

// Outputs that share a phase: for each slot r in [0, count) and lane k in [0, kLanes),
// out[k x stride + r] is the rounded sum over i in [0, taps) of
// rows[r x taps + i] x lanes[kLanes x (starts[r] + i) + k], added in order of i.
struct LaneSums {
  const double* rows = nullptr;
  int32_t taps = 0;
  const double* lanes = nullptr;
  const int32_t* starts = nullptr;
  int32_t count = 0;
  int32_t stride = 0;
  int16_t* out = nullptr;
};

// Only where ResampleKernelAvailable(kAvx2).
void ComputeLaneSumsAvx2(const LaneSums& job);

}  // namespace pelorin
