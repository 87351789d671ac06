#pragma once

// The search behind AdpcmSearchEncoder, written once over a type L of eight 32-bit lanes and
// compiled twice: for any processor (adpcm_search_encoder.cpp) and for AVX2
// (adpcm_search_avx2.cpp, built with -mavx2 and called only when the processor has it). The
// arithmetic is all on integers, so both give the same codes.
//
// Apart from SearchBlock and the two functions declared first, everything here has internal
// linkage and nothing from the standard library is used that the linker could share between
// the two builds: an AVX2 copy of an inline function must never stand in for the plain one.
//
// L provides: Splat(v), Load(p) and Store(p) of eight values, LaneIndex() (0 to 7), + - & | ^
// (wrapping), << and >> (arithmetic) by a constant, ShiftRightLogical, the signed comparisons
// == > < >= giving all-ones or zero lanes, Select(mask, a, b), signed Min and Max,
// MinUnsigned, MulLow (the low 32 bits of the product), MinUnsignedAcross() (the least lane in
// every lane), Any() (a lane is not zero), Broadcast(k) (lane k in every lane), Lookup(table,
// index) (lane k takes the table's lane index[k], 0 to 7) and CountBelow(v, x) (how many lanes of
// the four vectors v are below x's lanes, which are all alike).

#include <cstdint>

namespace pelorin {

// One call of the search: the decoder's state before samples[0] on the way in, after the last
// sample on the way out. The codes go to out as AdpcmEncoder writes them.
struct SearchBlock {
  const int16_t* samples = nullptr;
  uint8_t* out = nullptr;
  int32_t count = 0;
  int32_t predictor = 0;
  int32_t step = 0;
};

// True when this build has the AVX2 search and this processor runs it.
bool SearchAvx2Available();
// Only when SearchAvx2Available().
void SearchAdpcmAvx2(SearchBlock& block);

namespace {
namespace search {

constexpr int kWidth = 8;  // paths followed, one a lane
constexpr int kKinds = 4;  // codes tried from a path
constexpr int kChildren = kWidth * kKinds;
// How many paths, the cheapest first, each kind of code is tried from. The dearer paths'
// smaller neighbour and all but the cheapest path's largest magnitude hardly ever lead anywhere
// better (measured: the average gain over the standard encoder moves by 0.01 dB), and each
// child left out is one less to rank.
constexpr int kTriedFrom[kKinds] = {kWidth, kWidth / 2, kWidth, 1};
constexpr int kRanked = kTriedFrom[0] + kTriedFrom[1] + kTriedFrom[2] + kTriedFrom[3];
// Ties of cost go by these tags: by kind, then by path. The children never tried come after
// all others, so that each of the first kRanked places of the order is written every time.
alignas(32) constexpr int32_t kTags[kKinds][kWidth] = {{0, 1, 2, 3, 4, 5, 6, 7},
                                                       {8, 9, 10, 11, 21, 22, 23, 24},
                                                       {12, 13, 14, 15, 16, 17, 18, 19},
                                                       {20, 25, 26, 27, 28, 29, 30, 31}};
constexpr int kDelay = 16;  // codes a path remembers: 16 nibbles in 64 bits
constexpr int kOldestShift = 4 * (kDelay - 1);

// A cost is a sum of squared errors, taken relative to a floor at or below the cheapest path's
// (see Extend). A path more than kMaxCost above the floor has no chance left and is held at
// kMaxCost; the cap keeps a cost, shifted left by 5 and tagged, below 2^31.
constexpr int32_t kMaxCost = (1 << 26) - 2;
constexpr int32_t kNoPath = kMaxCost + 1;
// A squared error is below 2^32. Capped so that a path's cost plus it stays below 2^32 - 1,
// which marks a code not tried.
constexpr uint32_t kMaxError = 0xFFFFFFFFu - (1u << 26);
constexpr int32_t kNotTried = -1;  // 0xFFFFFFFF as unsigned

// The paths after a sample, cheapest first: decoder state, cost and the last kDelay codes, the
// newest in the low nibble. Lanes from count on hold no path: what they compute is never tried,
// and their arithmetic wraps rather than overflows.
struct Paths {
  alignas(32) int32_t predictor[kWidth];
  alignas(32) int32_t step[kWidth];
  alignas(32) int32_t cost[kWidth];
  uint64_t codes[kWidth];
  int count;
};

// Every path's children: child kind x kWidth + k extends path k. The first kRanked places of
// order list the children that may be tried, cheapest first (equal costs by kTags).
struct Children {
  alignas(32) int32_t predictor[kChildren];
  alignas(32) int32_t step[kChildren];
  alignas(32) int32_t cost[kChildren];
  alignas(32) int32_t code[kChildren];
  alignas(32) int32_t mergeKey[kChildren];
  int order[kChildren];
};

// Paths with the same step whose predictors lie in the same 4096-wide band go on alike, so
// only the cheaper is followed. Merging on the step alone would lose paths that follow the
// waveform from different sides; merging only equal states fills the beam with near copies.
template <class L>
L MergeKey(L predictor, L step) {
  return (step << 4) | L::ShiftRightLogical(predictor + L::Splat(32768), 12);
}

// Tries the standard encoder's code for the sample, its neighbours in magnitude and the largest
// magnitude, which grows the step fastest, all with the sign of the difference, from the paths
// kTriedFrom says: the other codes hardly ever lead anywhere better. The reconstruction is
// adpcm::Reconstruct lane by lane. Only the first kRanked places of the order are written.
template <class L>
void Extend(const Paths& paths, int32_t sample, Children& children) {
  const L zero = L::Splat(0);
  const L one = L::Splat(1);
  const L lane = L::LaneIndex();
  const L predictor = L::Load(paths.predictor);
  const L step = L::Load(paths.step);
  const L cost = L::Load(paths.cost);
  const L live = lane < L::Splat(paths.count);
  const L x = L::Splat(sample);
  const L difference = x - predictor;
  const L negative = difference >> 31;
  const L magnitude = (difference ^ negative) - negative;
  // How many of q, 2q, ..., 7q the magnitude reaches, as adpcm::EncodeStep counts.
  const L q = step >> 2;
  const L q2 = q + q;
  const L q3 = q2 + q;
  const L q4 = q2 + q2;
  const L q5 = q4 + q;
  const L q6 = q3 + q3;
  const L q7 = q4 + q3;
  // Seven less one for each multiple above the magnitude: a comparison as the processor has it.
  const L nearest =
      L::Splat(7) +
      ((((q > magnitude) + (q2 > magnitude)) + ((q3 > magnitude) + (q4 > magnitude))) +
       (((q5 > magnitude) + (q6 > magnitude)) + (q7 > magnitude)));
  const L eighth = step >> 3;
  const L half = step >> 1;
  alignas(32) static constexpr int32_t kMultipliers[kWidth] = {230, 230, 230, 230,
                                                               307, 409, 512, 614};
  const L multipliers = L::Load(kMultipliers);
  L costs[kKinds];
  // A floor under every child's cost, ready long before the costs are: the least over the paths
  // of a path's cost plus the square of how far short of the sample its largest change falls
  // (every code moves toward the sample, none further than the largest magnitude). Costs are
  // taken relative to it: the least cost itself comes last, and finding it across the lanes
  // would hold up every sample.
  const L shortfall = L::Max(magnitude - (eighth + q + half + step), zero);
  const L bound = L::Select(live,
                            cost + L::MinUnsigned(L::MulLow(shortfall, shortfall),
                                                  L::Splat(static_cast<int32_t>(kMaxError))),
                            L::Splat(kNotTried));
  const L base = bound.MinUnsignedAcross();
  for (int kind = 0; kind < kKinds; ++kind) {
    L m = L::Splat(7);
    L tried = live & (nearest < L::Splat(6));
    if (kind == 0) {
      m = nearest;
      tried = live;
    } else if (kind == 1) {
      m = nearest - one;
      tried = live & (nearest > zero);
    } else if (kind == 2) {
      m = nearest + one;
      tried = live & (nearest < L::Splat(7));
    }
    if (kTriedFrom[kind] < kWidth) tried = tried & (lane < L::Splat(kTriedFrom[kind]));
    m = m & L::Splat(7);
    L change = eighth + (q & (zero - (m & one))) + (half & (zero - ((m >> 1) & one))) +
               (step & (zero - ((m >> 2) & one)));
    change = (change ^ negative) - negative;
    const L newPredictor = L::Max(L::Min(predictor + change, L::Splat(32767)), L::Splat(-32768));
    // The step multipliers: 230 for magnitudes 0 to 3, then 307, 409, 512 and 614.
    const L scale = L::Lookup(multipliers, m);
    const L newStep = L::Max(L::Min(L::MulLow(step, scale) >> 8, L::Splat(24576)), L::Splat(127));
    const L error = x - newPredictor;
    const L squared =
        L::MinUnsigned(L::MulLow(error, error), L::Splat(static_cast<int32_t>(kMaxError)));
    costs[kind] = L::Select(tried, cost + squared, L::Splat(kNotTried));
    newPredictor.Store(children.predictor + kind * kWidth);
    newStep.Store(children.step + kind * kWidth);
    ((negative & L::Splat(8)) | m).Store(children.code + kind * kWidth);
    MergeKey(newPredictor, newStep).Store(children.mergeKey + kind * kWidth);
  }
  // Children of one path often share a merge key (the magnitudes 0 to 3 share a step): the
  // dearer of two (the higher kind on a tie) could never be chosen, and dropping it here keeps
  // the serial walk in Choose short. Sharing a key is transitive, so every pair is judged on
  // the costs as they were, side by side: the cheapest of each set of twins stays all the same.
  L dropped[3] = {zero, zero, zero};
  for (int a = 0; a < 2; ++a) {
    for (int b = a + 1; b < 3; ++b) {
      const L twins =
          L::Load(children.mergeKey + a * kWidth) == L::Load(children.mergeKey + b * kWidth);
      const L aWins = L::MinUnsigned(costs[a], costs[b]) == costs[a];
      dropped[b] = dropped[b] | (twins & aWins);
      dropped[a] = dropped[a] | (twins & (aWins ^ L::Splat(-1)));
    }
  }
  for (int kind = 0; kind < 3; ++kind) {
    costs[kind] = L::Select(dropped[kind], L::Splat(kNotTried), costs[kind]);
  }
  L keys[kKinds];
  for (int kind = 0; kind < kKinds; ++kind) {
    const L relative = L::Select(costs[kind] == L::Splat(kNotTried), L::Splat(kNoPath),
                                 L::MinUnsigned(costs[kind] - base, L::Splat(kMaxCost)));
    relative.Store(children.cost + kind * kWidth);
    keys[kind] = (relative << 5) | L::Load(kTags[kind]);
  }
  // A child's place in cost order is the number of children with a smaller key; the keys all
  // differ, so counting sorts them without a branch. Each count comes out as a number, ready to
  // place the child: counts gathered in vectors would have to be taken out lane by lane.
  for (int kind = 0; kind < kKinds; ++kind) {
#pragma GCC unroll 8
    for (int k = 0; k < kTriedFrom[kind]; ++k) {
      children.order[L::CountBelow(keys, keys[kind].Broadcast(k))] = kind * kWidth + k;
    }
  }
}

// The next paths: the cheapest children, passing over any whose merge key a cheaper one has.
// A child passed over is written all the same, into the slot the next one takes: whether one
// is passed over is unforeseeable, and a branch on it would be mispredicted often.
template <class L>
void Choose(const Paths& paths, const Children& children, Paths& next) {
  const L lane = L::LaneIndex();
  L keys = L::Splat(-1);  // no merge key is negative
  int count = 0;
  for (int r = 0; r < kRanked; ++r) {
    const int i = children.order[r];
    if (children.cost[i] == kNoPath) break;  // every child after it was not tried either
    const L key = L::Splat(children.mergeKey[i]);
    const bool fresh = !(keys == key).Any();
    keys = L::Select(lane == L::Splat(count), key, keys);
    next.predictor[count] = children.predictor[i];
    next.step[count] = children.step[i];
    next.cost[count] = children.cost[i];
    next.codes[count] = paths.codes[static_cast<unsigned>(i) % kWidth] << 4 |
                        static_cast<uint32_t>(children.code[i]);
    count += fresh ? 1 : 0;
    if (count == kWidth) break;
  }
  next.count = count;
}

inline void PutCode(uint8_t* out, int32_t i, uint64_t code) {
  if (i % 2 == 0) {
    out[i / 2] = static_cast<uint8_t>(code);
  } else {
    out[i / 2] = static_cast<uint8_t>(out[i / 2] | code << 4);
  }
}

// Writes the code of sample i, the oldest one open, as the cheapest path has it, and drops the
// paths that chose another there: all paths left share every code written.
inline void Settle(Paths& paths, uint8_t* out, int32_t i) {
  const uint64_t code = paths.codes[0] >> kOldestShift;
  PutCode(out, i, code);
  // All eight slots, those past count masked off: a loop of fixed length, no branch to guess.
  int agreeing = 0;
#pragma GCC unroll 8
  for (int k = 0; k < kWidth; ++k) {
    agreeing += (k < paths.count) & ((paths.codes[k] >> kOldestShift) == code);
  }
  if (agreeing == paths.count) return;
  int kept = 0;
  for (int k = 0; k < paths.count; ++k) {
    paths.predictor[kept] = paths.predictor[k];
    paths.step[kept] = paths.step[k];
    paths.cost[kept] = paths.cost[k];
    paths.codes[kept] = paths.codes[k];
    kept += (paths.codes[k] >> kOldestShift) == code ? 1 : 0;
  }
  paths.count = kept;
}

template <class L>
void Search(SearchBlock& block) {
  Paths buffers[2] = {};
  Paths* paths = &buffers[0];
  Paths* next = &buffers[1];
  paths->predictor[0] = block.predictor;
  paths->step[0] = block.step;
  paths->cost[0] = 0;
  paths->count = 1;
  Children children;
  for (int32_t i = 0; i < block.count; ++i) {
    Extend<L>(*paths, block.samples[i], children);
    Choose<L>(*paths, children, *next);
    Paths* const done = paths;
    paths = next;
    next = done;
    if (i >= kDelay - 1) Settle(*paths, block.out, i - (kDelay - 1));
  }
  // The codes still open are the cheapest path's.
  const int32_t first = block.count > kDelay - 1 ? block.count - (kDelay - 1) : 0;
  for (int32_t i = first; i < block.count; ++i) {
    PutCode(block.out, i, paths->codes[0] >> (4 * (block.count - 1 - i)) & 15);
  }
  block.predictor = paths->predictor[0];
  block.step = paths->step[0];
}

}  // namespace search
}  // namespace

}  // namespace pelorin
