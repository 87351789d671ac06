#include "engine/adpcm_search_encoder.h"

#include <cstdlib>
#include <string_view>

#include "engine/adpcm_search_kernel.h"

namespace pelorin {
namespace {

// Eight lanes as two vectors of four, which every processor the compiler targets has.
typedef int32_t Int4 __attribute__((vector_size(16)));
typedef uint32_t Uint4 __attribute__((vector_size(16)));

struct PortableLanes {
  Int4 lo;
  Int4 hi;

  static PortableLanes Splat(int32_t v) { return {Int4{} + v, Int4{} + v}; }
  static PortableLanes LaneIndex() { return {Int4{0, 1, 2, 3}, Int4{4, 5, 6, 7}}; }
  static PortableLanes Load(const int32_t* p) {
    PortableLanes l;
    __builtin_memcpy(&l.lo, p, sizeof(Int4));
    __builtin_memcpy(&l.hi, p + 4, sizeof(Int4));
    return l;
  }
  void Store(int32_t* p) const {
    __builtin_memcpy(p, &lo, sizeof(Int4));
    __builtin_memcpy(p + 4, &hi, sizeof(Int4));
  }

  // Additions and multiplications wrap, as on unsigned values.
  static Int4 Wrap(Uint4 v) { return __builtin_bit_cast(Int4, v); }
  static Uint4 U(Int4 v) { return __builtin_bit_cast(Uint4, v); }
  friend PortableLanes operator+(PortableLanes a, PortableLanes b) {
    return {Wrap(U(a.lo) + U(b.lo)), Wrap(U(a.hi) + U(b.hi))};
  }
  friend PortableLanes operator-(PortableLanes a, PortableLanes b) {
    return {Wrap(U(a.lo) - U(b.lo)), Wrap(U(a.hi) - U(b.hi))};
  }
  static PortableLanes MulLow(PortableLanes a, PortableLanes b) {
    return {Wrap(U(a.lo) * U(b.lo)), Wrap(U(a.hi) * U(b.hi))};
  }
  friend PortableLanes operator&(PortableLanes a, PortableLanes b) {
    return {a.lo & b.lo, a.hi & b.hi};
  }
  friend PortableLanes operator|(PortableLanes a, PortableLanes b) {
    return {a.lo | b.lo, a.hi | b.hi};
  }
  friend PortableLanes operator^(PortableLanes a, PortableLanes b) {
    return {a.lo ^ b.lo, a.hi ^ b.hi};
  }
  PortableLanes operator<<(int n) const { return {Wrap(U(lo) << n), Wrap(U(hi) << n)}; }
  PortableLanes operator>>(int n) const { return {lo >> n, hi >> n}; }
  static PortableLanes ShiftRightLogical(PortableLanes a, int n) {
    return {Wrap(U(a.lo) >> n), Wrap(U(a.hi) >> n)};
  }
  friend PortableLanes operator==(PortableLanes a, PortableLanes b) {
    return {a.lo == b.lo, a.hi == b.hi};
  }
  friend PortableLanes operator>(PortableLanes a, PortableLanes b) {
    return {a.lo > b.lo, a.hi > b.hi};
  }
  friend PortableLanes operator<(PortableLanes a, PortableLanes b) {
    return {a.lo < b.lo, a.hi < b.hi};
  }
  friend PortableLanes operator>=(PortableLanes a, PortableLanes b) {
    return {a.lo >= b.lo, a.hi >= b.hi};
  }
  static PortableLanes Select(PortableLanes mask, PortableLanes a, PortableLanes b) {
    return {(a.lo & mask.lo) | (b.lo & ~mask.lo), (a.hi & mask.hi) | (b.hi & ~mask.hi)};
  }
  static PortableLanes Min(PortableLanes a, PortableLanes b) { return Select(a < b, a, b); }
  static PortableLanes Max(PortableLanes a, PortableLanes b) { return Select(a > b, a, b); }
  static PortableLanes MinUnsigned(PortableLanes a, PortableLanes b) {
    return {Wrap(U(a.lo) < U(b.lo) ? U(a.lo) : U(b.lo)),
            Wrap(U(a.hi) < U(b.hi) ? U(a.hi) : U(b.hi))};
  }
  PortableLanes MinUnsignedAcross() const {
    uint32_t least = U(lo)[0];
    for (int k = 1; k < 4; ++k) least = U(lo)[k] < least ? U(lo)[k] : least;
    for (int k = 0; k < 4; ++k) least = U(hi)[k] < least ? U(hi)[k] : least;
    return Splat(static_cast<int32_t>(least));
  }
  static int CountBelow(const PortableLanes (&v)[4], PortableLanes x) {
    const PortableLanes negated = ((v[0] < x) + (v[1] < x)) + ((v[2] < x) + (v[3] < x));
    const Int4 both = negated.lo + negated.hi;
    return -(both[0] + both[1] + both[2] + both[3]);
  }
  // Lane k of the result is table's lane index[k] (0 to 7): a tree of selects on the bits.
  static PortableLanes Lookup(PortableLanes table, PortableLanes index) {
    const PortableLanes one = Splat(1);
    const PortableLanes bit0 = (index & one) == one;
    const PortableLanes bit1 = (index & Splat(2)) == Splat(2);
    const PortableLanes bit2 = (index & Splat(4)) == Splat(4);
    PortableLanes pairs[4];
    for (int k = 0; k < 4; ++k) {
      pairs[k] = Select(bit0, table.Broadcast(2 * k + 1), table.Broadcast(2 * k));
    }
    return Select(bit2, Select(bit1, pairs[3], pairs[2]), Select(bit1, pairs[1], pairs[0]));
  }
  PortableLanes Broadcast(int k) const { return Splat(Lane(k)); }
  int32_t Lane(int k) const { return k < 4 ? lo[k] : hi[k - 4]; }
  bool Any() const {
    const Int4 both = lo | hi;
    return (both[0] | both[1] | both[2] | both[3]) != 0;
  }
};

}  // namespace

bool AdpcmSearchEncoder::KernelAvailable(Kernel kernel) {
  return kernel == Kernel::kPortable || SearchAvx2Available();
}

AdpcmSearchEncoder::Kernel AdpcmSearchEncoder::DefaultKernel() {
  static const Kernel kernel = [] {
    const char* requested = std::getenv("PELORIN_KERNEL");
    if (requested != nullptr && std::string_view(requested) == "portable") return Kernel::kPortable;
    return SearchAvx2Available() ? Kernel::kAvx2 : Kernel::kPortable;
  }();
  return kernel;
}

void AdpcmSearchEncoder::Encode(const int16_t* samples, uint8_t* out, int32_t count) {
  if (count <= 0) return;
  SearchBlock block;
  block.samples = samples;
  block.out = out;
  block.count = count;
  block.predictor = predictor;
  block.step = step;
  if (kernel == Kernel::kAvx2 && SearchAvx2Available()) {
    SearchAdpcmAvx2(block);
  } else {
    search::Search<PortableLanes>(block);
  }
  predictor = block.predictor;
  step = block.step;
}

#if !PELORIN_SEARCH_AVX2

bool SearchAvx2Available() {
  return false;
}

// Never called: SearchAvx2Available() is false.
void SearchAdpcmAvx2(SearchBlock& block) {
  search::Search<PortableLanes>(block);
}

#else

bool SearchAvx2Available() {
  // Also false when the operating system does not save the vector registers.
  static const bool available = [] {
    __builtin_cpu_init();  // the first call may come before the runtime has done it
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return available;
}

#endif

}  // namespace pelorin
