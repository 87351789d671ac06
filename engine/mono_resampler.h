#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audiofile/sample_source.h"
#include "engine/resample_kernel.h"

namespace pelorin {

// Changes the rate of a mono 16-bit source: every output sample is an N-tap windowed-sinc
// filter evaluated at that sample's exact rational position in the input. Built on a mono
// source (not owned), set up once for a target rate, then read to the end.
//
// With cached coefficients and the AVX2 kernel (ResamplerOptions::kernel) the outputs
// are computed a span at a time: the 8L outputs over 8M input samples (L / M the reduced rate
// ratio). Outputs j, j + L, ..., j + 7L have the same phase, hence the same coefficient row,
// and windows exactly M samples apart, so two vectors hold their eight sums, each coefficient
// is loaded once for all eight, and one transposed copy of the span's input feeds all L phases.
// Otherwise a history of 4N samples is kept and the outputs are computed in order, four scalar
// sums at a time. Both give the same bits.
class CoefficientRows;

// How a resampler computes.
struct ResamplerOptions {
  // Coefficients are cached per phase (L x N doubles) when that takes at most this many:
  // 16 MiB, enough for every rate pair of a 4000 or 8000 Hz target. Beyond it, coefficients
  // without a table are evaluated for every tap of every sample.
  int64_t cacheLimit = int64_t{1} << 21;
  ResampleKernel kernel = DefaultResampleKernel();
  // Rows to share with the other resamplers given them, or none for rows of its own.
  std::shared_ptr<CoefficientRows> sharedRows;
};

// The coefficient rows of one ratio, taps and cut-off, for resamplers that run together (the
// two channels of stereo, the two chains of a long conversion): each row is computed once, by
// whichever resampler needs it first. Whoever runs them makes one and hands it to each; the
// first to set up decides what the rows are for, and one of another ratio keeps rows of its
// own.
class CoefficientRows {
 public:
  struct Key {
    int32_t l = 0;
    int32_t m = 0;
    int32_t taps = 0;
    bool table = false;  // from the single-precision table, itself made from the rest
    uint64_t cutoff = 0;
    bool operator==(const Key&) const = default;
  };

  // Whether these are the rows for key: true when they were made for it or are made for it
  // now. May throw std::bad_alloc.
  bool Take(const Key& key);

  double* Values() const { return values_.get(); }
  // A RowState per slot: a row is written only by the resampler that moved it from empty to
  // filling, and read by others only once it is ready.
  std::atomic<uint8_t>& State(int32_t slot) const { return states_[static_cast<size_t>(slot)]; }

 private:
  std::mutex mutex_;
  bool made_ = false;
  Key key_;
  std::unique_ptr<double[]> values_;
  std::unique_ptr<std::atomic<uint8_t>[]> states_;
};

class MonoResampler : public SampleSource {
 public:
  explicit MonoResampler(SampleSource* source, ResamplerOptions options = {});
  MonoResampler(const MonoResampler&) = delete;
  MonoResampler& operator=(const MonoResampler&) = delete;

  // 0, or -1 for a rate outside 1..1000000, fewer than 2 taps, a missing or non-mono source,
  // a second call, a source rate of 0 or less, a ratio or length the history cannot carry,
  // or a failed allocation.
  int32_t Setup(int32_t targetRate, int32_t taps, int32_t tablePhaseLimit, int32_t tableSizeLimit);

  int32_t Read(int16_t* dst, int32_t frames) override;
  int32_t ReadBytes(uint8_t* dst, int32_t len) override;
  int32_t Rewind() override { return -1; }
  int32_t SeekFrame(int32_t) override { return -1; }

  bool TableInUse() const { return (flags_ & kTableInUse) != 0; }
  int32_t TableSize() const { return tableSize_; }
  bool CacheInUse() const { return rows_ != nullptr; }
  bool SpansInUse() const { return !spanOut_.empty(); }

 private:
  enum Flag : uint32_t {
    kInitialised = 1,
    kReady = 2,
    kSourceFailed = 4,
    kFinished = 8,
    kSourceExhausted = 16,
    kTableInUse = 32,
  };

  int32_t BuildTable(int32_t phaseLimit, int32_t sizeLimit);
  void AllocateCache();
  // Sets up the span buffers when the kernel and the ratio allow it; false otherwise.
  bool AllocateSpans(ResampleKernel kernel);
  // The coefficient at offset k (|k| <= N/2 x L), in units of 1/L input sample, as the sums
  // use it.
  double Coefficient(int32_t k) const;
  // Reads the source into the history until it is full or the source has nothing left; 0 or
  // the source's error.
  int32_t ReadSource();
  int32_t Refill();
  int32_t ReadSpans(int16_t* dst, int32_t frames);
  // Moves to the next span: reads its input, computes its outputs. 0 (spanCount_ is 0 when the
  // source has nothing left for it) or the source's error.
  int32_t NextSpan();
  // Computes outputs into dst, at most count, as long as they lie inside the current history;
  // returns how many. The first output must lie inside it.
  int32_t ComputeRun(int16_t* dst, int32_t count);
  // The kBlock outputs from the current one on, at the given positions inside the history.
  void ComputeBlock(const int32_t* positions, int16_t* dst);
  double ComputeSampleCached();
  double ComputeSampleDirect() const;
  void Advance(int32_t& position, int32_t& phase) const;
  const double* Row(int32_t slot);
  // Fills the row of a slot unless another resampler has begun it; whether it did.
  bool ClaimRow(int32_t slot);
  // Fills the rows of slots [0, count) nobody else is filling, then waits for the others, so
  // that resamplers running together share the work.
  void FillRows(int32_t count);

  static constexpr int32_t kBlock = 4;

  uint32_t flags_ = 0;
  SampleSource* source_ = nullptr;
  std::vector<int16_t> history_;
  // The history as doubles, the values the filter sums multiply.
  std::vector<double> values_;
  int32_t historyLength_ = 0;
  int32_t validEnd_ = 0;
  int32_t position_ = 0;
  int32_t taps_ = 0;
  int32_t sourceStep_ = 0;
  int32_t targetStep_ = 0;
  int32_t phase_ = 0;
  // M as whole input samples and a remainder in units of 1/L, for advancing without division.
  int32_t wholeStep_ = 0;
  int32_t fractionStep_ = 0;
  double cutoff_ = 0.0;
  int32_t tableSize_ = 0;
  std::vector<float> table_;
  // The N coefficients of each phase, in tap order, filled when the phase first comes up.
  // Output j has phase j x M mod L and uses row j mod L (its slot), so that the rows are read
  // one after the other through memory; shared when the options give rows to share.
  ResamplerOptions options_;
  int32_t slot_ = 0;
  std::shared_ptr<CoefficientRows> rows_;
  // Rows before this slot are known to be filled; rows from rowsWanted_ on are filled only
  // when asked for.
  int32_t rowsReady_ = 0;
  int32_t rowsWanted_ = 0;

  // Spans. history_ holds the span's input from N/2 - 1 samples before its first output's
  // instant, 8M + N - 1 samples; the next span keeps its last N - 1. lanes_ is the transposed
  // copy, kLanes doubles per sample t: history t, t + M, ..., t + 7M (32-byte aligned inside
  // laneStorage_). spanStarts_[r] is floor(r x M / L), where slot r's window starts.
  std::vector<double> laneStorage_;
  double* lanes_ = nullptr;
  std::vector<int32_t> spanStarts_;
  std::vector<int16_t> spanOut_;  // kLanes x L outputs, in output order
  int32_t spanCount_ = 0;         // outputs of the current span that exist
  int32_t spanNext_ = 0;          // the next one to hand out
  bool spanStarted_ = false;
};

}  // namespace pelorin
