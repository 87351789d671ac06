#include "engine/resample_kernel.h"

#include <cstdlib>
#include <string_view>

// The AVX2 code is compiled for that instruction set function by function and only called
// after the processor has said it has it, so one binary runs on every x86-64.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define PELORIN_AVX2_KERNEL 1
#include <immintrin.h>
#else
#define PELORIN_AVX2_KERNEL 0
#endif

namespace pelorin {
namespace {

bool ProcessorHasAvx2() {
#if PELORIN_AVX2_KERNEL
  // Also false when the operating system does not save the vector registers.
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace

ResampleKernel DefaultResampleKernel() {
  static const ResampleKernel kernel = [] {
    const char* requested = std::getenv("PELORIN_KERNEL");
    if (requested != nullptr && std::string_view(requested) == "portable") {
      return ResampleKernel::kPortable;
    }
    return ProcessorHasAvx2() ? ResampleKernel::kAvx2 : ResampleKernel::kPortable;
  }();
  return kernel;
}

bool ResampleKernelAvailable(ResampleKernel kernel) {
  return kernel != ResampleKernel::kAvx2 || ProcessorHasAvx2();
}

#if PELORIN_AVX2_KERNEL

namespace {

// "avx2" only: with "fma" the compiler could fuse a multiplication and its addition into one
// rounding, and the sums would no longer match the scalar ones.
#define PELORIN_AVX2 __attribute__((target("avx2")))

// The sums of one slot: lanes 0-3 and 4-7.
struct SlotSums {
  __m256d low;
  __m256d high;
};

PELORIN_AVX2 inline SlotSums Start() {
  return {_mm256_setzero_pd(), _mm256_setzero_pd()};
}

// Adds one tap, c times x[0..7]: each product rounded, then each sum, as the scalar code does.
PELORIN_AVX2 inline void AddProducts(SlotSums& sums, const double* c, const double* x) {
  const __m256d coefficient = _mm256_broadcast_sd(c);
  sums.low = _mm256_add_pd(sums.low, _mm256_mul_pd(coefficient, _mm256_loadu_pd(x)));
  sums.high = _mm256_add_pd(sums.high, _mm256_mul_pd(coefficient, _mm256_loadu_pd(x + 4)));
}

PELORIN_AVX2 void Store(const SlotSums& sums, const LaneSums& job, int32_t r) {
  alignas(32) double lane[kLanes];
  _mm256_store_pd(lane, sums.low);
  _mm256_store_pd(lane + 4, sums.high);
  for (int32_t k = 0; k < kLanes; ++k) job.out[int64_t{k} * job.stride + r] = RoundSum(lane[k]);
}

}  // namespace

PELORIN_AVX2 void ComputeLaneSumsAvx2(const LaneSums& job) {
  static_assert(kLanes == 8, "two vectors of four");
  const int64_t n = job.taps;
  int32_t r = 0;
  // Four slots at once: their chains of additions overlap instead of waiting on one another.
  for (; r + 4 <= job.count; r += 4) {
    const double* c0 = job.rows + r * n;
    const double* c1 = c0 + n;
    const double* c2 = c1 + n;
    const double* c3 = c2 + n;
    const double* x0 = job.lanes + kLanes * int64_t{job.starts[r]};
    const double* x1 = job.lanes + kLanes * int64_t{job.starts[r + 1]};
    const double* x2 = job.lanes + kLanes * int64_t{job.starts[r + 2]};
    const double* x3 = job.lanes + kLanes * int64_t{job.starts[r + 3]};
    SlotSums s0 = Start();
    SlotSums s1 = Start();
    SlotSums s2 = Start();
    SlotSums s3 = Start();
    for (int64_t i = 0; i < n; ++i) {
      AddProducts(s0, c0 + i, x0 + kLanes * i);
      AddProducts(s1, c1 + i, x1 + kLanes * i);
      AddProducts(s2, c2 + i, x2 + kLanes * i);
      AddProducts(s3, c3 + i, x3 + kLanes * i);
    }
    Store(s0, job, r);
    Store(s1, job, r + 1);
    Store(s2, job, r + 2);
    Store(s3, job, r + 3);
  }
  for (; r < job.count; ++r) {
    const double* c = job.rows + r * n;
    const double* x = job.lanes + kLanes * int64_t{job.starts[r]};
    SlotSums s = Start();
    for (int64_t i = 0; i < n; ++i) AddProducts(s, c + i, x + kLanes * i);
    Store(s, job, r);
  }
}

#undef PELORIN_AVX2

#else

void ComputeLaneSumsAvx2(const LaneSums&) {
  // Never called: resamplers take AVX2 only where ResampleKernelAvailable says so.
  std::abort();
}

#endif

}  // namespace pelorin
