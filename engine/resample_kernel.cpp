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

// Taps [from, to) of one slot whose window starts at start: its sums in tap order.
PELORIN_AVX2 inline void AddTaps(SlotSums& sums, const double* c, const double* lanes,
                                 int64_t start, int64_t from, int64_t to) {
  for (int64_t i = from; i < to; ++i) AddProducts(sums, c + i, lanes + kLanes * (start + i));
}

}  // namespace

PELORIN_AVX2 void ComputeLaneSumsAvx2(const LaneSums& job) {
  static_assert(kLanes == 8, "two vectors of four");
  const int64_t n = job.taps;
  int32_t r = 0;
  // Four slots at once: their chains of additions overlap instead of waiting on one another.
  // Their windows start a few samples apart, so where all four cover a sample it is loaded once
  // and multiplied by each slot's coefficient for it. Every sum still takes its taps in order:
  // first the taps before the shared stretch, then the stretch, then the taps after it.
  for (; r + 4 <= job.count; r += 4) {
    const int64_t s0 = job.starts[r];
    const int64_t s1 = job.starts[r + 1];
    const int64_t s2 = job.starts[r + 2];
    const int64_t s3 = job.starts[r + 3];
    const double* c0 = job.rows + r * n;
    const double* c1 = c0 + n;
    const double* c2 = c1 + n;
    const double* c3 = c2 + n;
    SlotSums t0 = Start();
    SlotSums t1 = Start();
    SlotSums t2 = Start();
    SlotSums t3 = Start();
    if (s3 - s0 < n) {
      // Samples [s3, s0 + n) lie in all four windows.
      AddTaps(t0, c0, job.lanes, s0, 0, s3 - s0);
      AddTaps(t1, c1, job.lanes, s1, 0, s3 - s1);
      AddTaps(t2, c2, job.lanes, s2, 0, s3 - s2);
      const double* x = job.lanes + kLanes * s3;
      const double* d0 = c0 + (s3 - s0);
      const double* d1 = c1 + (s3 - s1);
      const double* d2 = c2 + (s3 - s2);
      const double* d3 = c3;
      for (int64_t p = 0, shared = s0 + n - s3; p < shared; ++p, x += kLanes) {
        const __m256d low = _mm256_loadu_pd(x);
        const __m256d high = _mm256_loadu_pd(x + 4);
        const __m256d k0 = _mm256_broadcast_sd(d0 + p);
        const __m256d k1 = _mm256_broadcast_sd(d1 + p);
        const __m256d k2 = _mm256_broadcast_sd(d2 + p);
        const __m256d k3 = _mm256_broadcast_sd(d3 + p);
        t0.low = _mm256_add_pd(t0.low, _mm256_mul_pd(k0, low));
        t0.high = _mm256_add_pd(t0.high, _mm256_mul_pd(k0, high));
        t1.low = _mm256_add_pd(t1.low, _mm256_mul_pd(k1, low));
        t1.high = _mm256_add_pd(t1.high, _mm256_mul_pd(k1, high));
        t2.low = _mm256_add_pd(t2.low, _mm256_mul_pd(k2, low));
        t2.high = _mm256_add_pd(t2.high, _mm256_mul_pd(k2, high));
        t3.low = _mm256_add_pd(t3.low, _mm256_mul_pd(k3, low));
        t3.high = _mm256_add_pd(t3.high, _mm256_mul_pd(k3, high));
      }
      AddTaps(t1, c1, job.lanes, s1, s0 + n - s1, n);
      AddTaps(t2, c2, job.lanes, s2, s0 + n - s2, n);
      AddTaps(t3, c3, job.lanes, s3, s0 + n - s3, n);
    } else {
      AddTaps(t0, c0, job.lanes, s0, 0, n);
      AddTaps(t1, c1, job.lanes, s1, 0, n);
      AddTaps(t2, c2, job.lanes, s2, 0, n);
      AddTaps(t3, c3, job.lanes, s3, 0, n);
    }
    Store(t0, job, r);
    Store(t1, job, r + 1);
    Store(t2, job, r + 2);
    Store(t3, job, r + 3);
  }
  for (; r < job.count; ++r) {
    SlotSums t = Start();
    AddTaps(t, job.rows + r * n, job.lanes, job.starts[r], 0, n);
    Store(t, job, r);
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
