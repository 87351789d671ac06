#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audiofile/sample_source.h"

namespace pelorin {

// Changes the rate of a mono 16-bit source: every output sample is an N-tap windowed-sinc
// filter evaluated at that sample's exact rational position in the input. Built on a mono
// source (not owned), set up once for a target rate, then read to the end.
class MonoResampler : public SampleSource {
 public:
  // Coefficients are cached per phase (L x N doubles) when that takes at most this many:
  // 16 MiB, enough for every rate pair of a 4000 or 8000 Hz target. Beyond it, coefficients
  // without a table are evaluated for every tap of every sample.
  static constexpr int64_t kDefaultCacheLimit = int64_t{1} << 21;

  explicit MonoResampler(SampleSource* source, int64_t cacheLimit = kDefaultCacheLimit);

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
  // The coefficient at offset k (|k| <= N/2 x L), in units of 1/L input sample, as the sums
  // use it.
  double Coefficient(int32_t k) const;
  int32_t Refill();
  // Computes outputs into dst, at most count, as long as they lie inside the current history;
  // returns how many. The first output must lie inside it.
  int32_t ComputeRun(int16_t* dst, int32_t count);
  // The kBlock outputs from the current one on, at the given positions inside the history.
  void ComputeBlock(const int32_t* positions, int16_t* dst);
  double ComputeSampleCached();
  double ComputeSampleDirect() const;
  void Advance(int32_t& position, int32_t& phase) const;
  const double* Row(int32_t slot);

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
  // one after the other through memory.
  int64_t cacheLimit_;
  int32_t slot_ = 0;
  std::unique_ptr<double[]> rows_;
  std::vector<uint8_t> rowFilled_;
};

}  // namespace pelorin
