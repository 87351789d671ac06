// AdpcmSearchEncoder's search for AVX2: this file alone is compiled with -mavx2, and its one
// entry point is called only when the processor has AVX2. It includes nothing else, so that no
// inline function compiled here can be shared with the rest of the program.

#include "engine/adpcm_search_kernel.h"

namespace pelorin {
namespace {

typedef int32_t Int8 __attribute__((vector_size(32)));
typedef uint32_t Uint8 __attribute__((vector_size(32)));
typedef long long LongLong4 __attribute__((vector_size(32)));
typedef short Short16 __attribute__((vector_size(32)));
typedef char Char32 __attribute__((vector_size(32)));

// Eight lanes in one vector.
struct Avx2Lanes {
  Int8 v;

  static Avx2Lanes Splat(int32_t x) { return {Int8{} + x}; }
  static Avx2Lanes LaneIndex() { return {Int8{0, 1, 2, 3, 4, 5, 6, 7}}; }
  static Avx2Lanes Load(const int32_t* p) {
    Avx2Lanes l;
    __builtin_memcpy(&l.v, p, sizeof(Int8));
    return l;
  }
  void Store(int32_t* p) const { __builtin_memcpy(p, &v, sizeof(Int8)); }

  // Additions and multiplications wrap, as on unsigned values.
  static Int8 Wrap(Uint8 x) { return __builtin_bit_cast(Int8, x); }
  static Uint8 U(Int8 x) { return __builtin_bit_cast(Uint8, x); }
  friend Avx2Lanes operator+(Avx2Lanes a, Avx2Lanes b) { return {Wrap(U(a.v) + U(b.v))}; }
  friend Avx2Lanes operator-(Avx2Lanes a, Avx2Lanes b) { return {Wrap(U(a.v) - U(b.v))}; }
  static Avx2Lanes MulLow(Avx2Lanes a, Avx2Lanes b) { return {Wrap(U(a.v) * U(b.v))}; }
  friend Avx2Lanes operator&(Avx2Lanes a, Avx2Lanes b) { return {a.v & b.v}; }
  friend Avx2Lanes operator|(Avx2Lanes a, Avx2Lanes b) { return {a.v | b.v}; }
  friend Avx2Lanes operator^(Avx2Lanes a, Avx2Lanes b) { return {a.v ^ b.v}; }
  Avx2Lanes operator<<(int n) const { return {Wrap(U(v) << n)}; }
  Avx2Lanes operator>>(int n) const { return {v >> n}; }
  static Avx2Lanes ShiftRightLogical(Avx2Lanes a, int n) { return {Wrap(U(a.v) >> n)}; }
  friend Avx2Lanes operator==(Avx2Lanes a, Avx2Lanes b) { return {a.v == b.v}; }
  friend Avx2Lanes operator>(Avx2Lanes a, Avx2Lanes b) { return {a.v > b.v}; }
  friend Avx2Lanes operator<(Avx2Lanes a, Avx2Lanes b) { return {a.v < b.v}; }
  friend Avx2Lanes operator>=(Avx2Lanes a, Avx2Lanes b) { return {a.v >= b.v}; }
  static Avx2Lanes Select(Avx2Lanes mask, Avx2Lanes a, Avx2Lanes b) {
    return {(a.v & mask.v) | (b.v & ~mask.v)};
  }
  static Avx2Lanes Min(Avx2Lanes a, Avx2Lanes b) { return {a.v < b.v ? a.v : b.v}; }
  static Avx2Lanes Max(Avx2Lanes a, Avx2Lanes b) { return {a.v > b.v ? a.v : b.v}; }
  // Spelled out: GCC makes the conditional form a comparison and a blend around the minimum.
  static Avx2Lanes MinUnsigned(Avx2Lanes a, Avx2Lanes b) {
    return {__builtin_ia32_pminud256(a.v, b.v)};
  }
  // The least lane in every lane: halves, then quarters, then pairs swapped, all in registers.
  Avx2Lanes MinUnsignedAcross() const {
    Avx2Lanes m = MinUnsigned(*this, {__builtin_shufflevector(v, v, 4, 5, 6, 7, 0, 1, 2, 3)});
    m = MinUnsigned(m, {__builtin_shufflevector(m.v, m.v, 2, 3, 0, 1, 6, 7, 4, 5)});
    return MinUnsigned(m, {__builtin_shufflevector(m.v, m.v, 1, 0, 3, 2, 5, 4, 7, 6)});
  }
  // The four comparisons packed to one byte a lane, their signs gathered into one word.
  static int CountBelow(const Avx2Lanes (&v)[4], Avx2Lanes x) {
    const LongLong4 low =
        __builtin_bit_cast(LongLong4, __builtin_ia32_packssdw256(v[0].v < x.v, v[1].v < x.v));
    const LongLong4 high =
        __builtin_bit_cast(LongLong4, __builtin_ia32_packssdw256(v[2].v < x.v, v[3].v < x.v));
    return __builtin_popcount(static_cast<unsigned>(__builtin_ia32_pmovmskb256(__builtin_bit_cast(
        Char32, __builtin_ia32_packsswb256(__builtin_bit_cast(Short16, low),
                                           __builtin_bit_cast(Short16, high))))));
  }
  static Avx2Lanes Lookup(Avx2Lanes table, Avx2Lanes index) {
    return {__builtin_ia32_permvarsi256(table.v, index.v)};
  }
  Avx2Lanes Broadcast(int k) const { return Splat(v[k]); }
  bool Any() const {
    return !__builtin_ia32_ptestz256(__builtin_bit_cast(LongLong4, v),
                                     __builtin_bit_cast(LongLong4, v));
  }
};

}  // namespace

void SearchAdpcmAvx2(SearchBlock& block) {
  search::Search<Avx2Lanes>(block);
}

}  // namespace pelorin
