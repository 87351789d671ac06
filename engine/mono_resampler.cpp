#include "engine/mono_resampler.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

#include "audiofile/large_buffer.h"
#include "engine/sinc_filter.h"

namespace pelorin {
namespace {

constexpr int32_t kMaxTargetRate = 1000000;

enum RowState : uint8_t { kRowEmpty, kRowFilling, kRowReady };

// How many coefficient rows are filled at once when a phase without one comes up.
constexpr int32_t kRowsAhead = 64;

// The most input a span may hold, 8M + N - 1 samples: 1 MiB of samples and 4 MiB of their
// transposed copy. With 256 taps it takes every source rate up to 65 kHz, whatever the target;
// beyond it the outputs are computed in order.
constexpr int64_t kMaxSpanInput = int64_t{1} << 19;

}  // namespace

bool CoefficientRows::Take(const Key& key) {
  const std::lock_guard lock(mutex_);
  if (made_) return key == key_;
  const auto count = static_cast<size_t>(int64_t{key.l} * key.taps);
  values_ = std::make_unique_for_overwrite<double[]>(count);
  AdviseHugePages(values_.get(), count * sizeof(double));
  states_ = std::make_unique<std::atomic<uint8_t>[]>(static_cast<size_t>(key.l));
  key_ = key;
  made_ = true;
  return true;
}

MonoResampler::MonoResampler(SampleSource* source, ResamplerOptions options)
    : source_(source), options_(std::move(options)) {
  if (source != nullptr && source->Format().channels == 1) {
    format_ = source->Format();
    format_.dataOffset = 0;
    flags_ = kInitialised;
  }
}

int32_t MonoResampler::Setup(int32_t targetRate, int32_t taps, int32_t tablePhaseLimit,
                             int32_t tableSizeLimit) {
  if (targetRate <= 0 || targetRate > kMaxTargetRate || taps < 2) return -1;
  if ((flags_ & kInitialised) == 0 || (flags_ & kReady) != 0) return -1;
  format_.sampleRate = targetRate;
  targetStep_ = targetRate;
  const SourceFormat& source = source_->Format();
  sourceStep_ = source.sampleRate;
  if (sourceStep_ <= 0) return -1;

  const int32_t n = taps & ~1;
  // The window must stay inside the history after one refill, which moves it by 3N samples,
  // and the offsets of its taps (up to N/2 x L) must fit in 32 bits.
  const int32_t divisor = std::gcd(targetStep_, sourceStep_);
  const int64_t reducedTarget = targetStep_ / divisor;
  const int64_t reducedSource = sourceStep_ / divisor;
  const int64_t maxAdvance = (reducedSource + reducedTarget - 1) / reducedTarget;
  if (maxAdvance > 3 * int64_t{n}) return -1;
  if (int64_t{n / 2 + 1} * reducedTarget > INT32_MAX || int64_t{n} * 4 > INT32_MAX) return -1;

  const double frames =
      std::ceil(double(source.frameCount) * double(targetRate) / double(source.sampleRate));
  if (!(frames <= double(INT32_MAX / 2))) return -1;  // dataBytes is twice the frame count
  format_.frameCount = static_cast<int32_t>(frames);
  format_.dataBytes = 2 * format_.frameCount;

  taps_ = n;
  cutoff_ = 0.5;
  if (sourceStep_ > targetStep_) cutoff_ = double(targetStep_) * 0.5 / double(sourceStep_);

  if (BuildTable(tablePhaseLimit, tableSizeLimit) < 0) return -1;
  wholeStep_ = sourceStep_ / targetStep_;
  fractionStep_ = sourceStep_ % targetStep_;
  AllocateCache();
  // Phases beyond the outputs there are never come up.
  rowsWanted_ = static_cast<int32_t>(std::min<int64_t>(targetStep_, format_.frameCount));
  if (!AllocateSpans(options_.kernel)) {
    historyLength_ = 4 * n;
    try {
      history_.assign(static_cast<size_t>(historyLength_), 0);
      values_.assign(static_cast<size_t>(historyLength_), 0.0);
    } catch (const std::bad_alloc&) {
      return -1;
    }
    validEnd_ = historyLength_;
    position_ = historyLength_;
    phase_ = 0;
  }
  flags_ |= kReady;
  return 0;
}

int32_t MonoResampler::BuildTable(int32_t phaseLimit, int32_t sizeLimit) {
  const int32_t divisor = std::gcd(targetStep_, sourceStep_);
  sourceStep_ /= divisor;
  targetStep_ /= divisor;
  flags_ &= ~uint32_t{kTableInUse};
  if (targetStep_ > phaseLimit) return 0;
  const int64_t size = int64_t{targetStep_} * taps_ / 2;
  if (size > sizeLimit) return 0;
  try {
    table_.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  tableSize_ = static_cast<int32_t>(size);
  for (int32_t i = 0; i < tableSize_; ++i) {
    const double t = double(i + 1) / double(targetStep_);
    table_[static_cast<size_t>(i)] = static_cast<float>(ImpulseResponse(t, cutoff_, taps_));
  }
  flags_ |= kTableInUse;
  return 0;
}

void MonoResampler::AllocateCache() {
  // Only a speed-up: without room for it the coefficients are computed where they are used.
  const int64_t size = int64_t{targetStep_} * taps_;
  if (size > options_.cacheLimit) return;
  CoefficientRows::Key key;
  key.l = targetStep_;
  key.m = sourceStep_;
  key.taps = taps_;
  key.table = (flags_ & kTableInUse) != 0;
  key.cutoff = std::bit_cast<uint64_t>(cutoff_);
  try {
    rows_ = options_.sharedRows;
    if (rows_ == nullptr || !rows_->Take(key)) {
      rows_ = std::make_shared<CoefficientRows>();
      rows_->Take(key);
    }
  } catch (const std::bad_alloc&) {
    rows_.reset();
  }
}

bool MonoResampler::AllocateSpans(ResampleKernel kernel) {
  // The kernel reads whole coefficient rows, so it needs the cache.
  if (kernel != ResampleKernel::kAvx2 || !ResampleKernelAvailable(kernel) || rows_ == nullptr) {
    return false;
  }
  const int64_t input = kLanes * int64_t{sourceStep_} + taps_ - 1;
  if (input > kMaxSpanInput) return false;
  const auto laneSamples = static_cast<size_t>(sourceStep_ + taps_ - 1);
  try {
    history_.assign(static_cast<size_t>(input), 0);
    laneStorage_.assign(kLanes * laneSamples + 3, 0.0);  // room to align to 32 bytes
    spanStarts_.resize(static_cast<size_t>(targetStep_));
    spanOut_.assign(kLanes * static_cast<size_t>(targetStep_), 0);
  } catch (const std::bad_alloc&) {
    // Only a speed-up: the outputs are then computed in order.
    history_.clear();
    laneStorage_.clear();
    spanStarts_.clear();
    spanOut_.clear();
    return false;
  }
  void* lanes = laneStorage_.data();
  size_t space = laneStorage_.size() * sizeof(double);
  lanes_ =
      static_cast<double*>(std::align(32, kLanes * laneSamples * sizeof(double), lanes, space));
  for (int32_t r = 0; r < targetStep_; ++r) {
    spanStarts_[static_cast<size_t>(r)] =
        static_cast<int32_t>(int64_t{r} * sourceStep_ / targetStep_);
  }
  historyLength_ = static_cast<int32_t>(input);
  // The samples before the source's first one are zeros.
  validEnd_ = taps_ / 2 - 1;
  return true;
}

double MonoResampler::Coefficient(int32_t k) const {
  if (k == 0) return 2.0 * cutoff_;
  if ((flags_ & kTableInUse) != 0) return table_[static_cast<size_t>(std::abs(k)) - 1];
  return ImpulseResponse(double(k) / double(targetStep_), cutoff_, taps_);
}

int32_t MonoResampler::Read(int16_t* dst, int32_t frames) {
  if (dst == nullptr || frames < 0) return -1;
  if ((flags_ & kReady) == 0 || (flags_ & kSourceFailed) != 0) return -1;
  if ((flags_ & kFinished) != 0) return 0;
  if (SpansInUse()) return ReadSpans(dst, frames);
  const int32_t half = taps_ / 2;
  int32_t done = 0;
  while (done < frames) {
    if (position_ + half >= historyLength_) {
      const int32_t result = Refill();
      if (result < 0) return result;
    }
    if (position_ >= validEnd_) {
      flags_ |= kFinished;
      return done;
    }
    done += ComputeRun(dst + done, frames - done);
  }
  return frames;
}

int32_t MonoResampler::ReadSource() {
  if ((flags_ & kSourceExhausted) != 0) return 0;
  while (validEnd_ < historyLength_) {
    const int32_t got = source_->Read(history_.data() + validEnd_, historyLength_ - validEnd_);
    if (got < 0) {
      flags_ |= kSourceFailed;
      return got;
    }
    if (got == 0) {
      flags_ |= kSourceExhausted;
      break;
    }
    validEnd_ += std::min(got, historyLength_ - validEnd_);
  }
  return 0;
}

int32_t MonoResampler::Refill() {
  const int32_t n = taps_;
  std::copy(history_.end() - n, history_.end(), history_.begin());
  position_ -= 3 * n;
  validEnd_ -= 3 * n;
  const int32_t result = ReadSource();
  if (result < 0) return result;
  // Samples moved down from beyond the end are zeros already.
  std::fill(history_.begin() + std::max(validEnd_, n), history_.end(), int16_t{0});
  std::copy(history_.begin(), history_.end(), values_.begin());
  return 0;
}

int32_t MonoResampler::ReadSpans(int16_t* dst, int32_t frames) {
  int32_t done = 0;
  while (done < frames) {
    if (spanNext_ == spanCount_) {
      const int32_t result = NextSpan();
      if (result < 0) return result;
      if (spanCount_ == 0) {
        flags_ |= kFinished;
        return done;
      }
    }
    const int32_t count = std::min(frames - done, spanCount_ - spanNext_);
    std::copy_n(spanOut_.begin() + spanNext_, count, dst + done);
    spanNext_ += count;
    done += count;
  }
  return frames;
}

int32_t MonoResampler::NextSpan() {
  const int32_t step = kLanes * sourceStep_;
  if (spanStarted_) {
    // The last N - 1 samples start the next span's input.
    std::copy(history_.begin() + step, history_.end(), history_.begin());
    validEnd_ = std::max(validEnd_ - step, 0);
  }
  spanStarted_ = true;
  spanCount_ = 0;
  spanNext_ = 0;
  const int32_t result = ReadSource();
  if (result < 0) return result;
  std::fill(history_.begin() + validEnd_, history_.end(), int16_t{0});

  // Output j of the span lies floor(j x M / L) samples after the span's first instant, which
  // is history sample N/2 - 1; it exists while that is a sample the source delivered.
  const int64_t delivered = int64_t{validEnd_} - (taps_ / 2 - 1);
  if (delivered <= 0) return 0;
  spanCount_ = static_cast<int32_t>(std::min<int64_t>(
      kLanes * int64_t{targetStep_}, (delivered * targetStep_ + sourceStep_ - 1) / sourceStep_));

  // Slots whose first lane holds no output are not computed; later lanes past the end are,
  // and are never handed out.
  const int32_t slots = std::min(targetStep_, spanCount_);
  FillRows(slots);
  const int32_t reach = spanStarts_[static_cast<size_t>(slots - 1)] + taps_;
  const auto m = static_cast<size_t>(sourceStep_);
  for (size_t t = 0; t < static_cast<size_t>(reach); ++t) {
    for (size_t k = 0; k < kLanes; ++k) lanes_[kLanes * t + k] = double(history_[t + k * m]);
  }
  LaneSums job;
  job.rows = rows_->Values();
  job.taps = taps_;
  job.lanes = lanes_;
  job.starts = spanStarts_.data();
  job.count = slots;
  job.stride = targetStep_;
  job.out = spanOut_.data();
  ComputeLaneSumsAvx2(job);
  return 0;
}

void MonoResampler::Advance(int32_t& position, int32_t& phase) const {
  // phase += M, then whole input samples out of it: the same as subtracting L repeatedly.
  position += wholeStep_;
  phase += fractionStep_;
  if (phase >= targetStep_) {
    phase -= targetStep_;
    ++position;
  }
}

namespace {

bool Claim(std::atomic<uint8_t>& state) {
  uint8_t expected = kRowEmpty;
  return state.compare_exchange_strong(expected, kRowFilling, std::memory_order_acquire);
}

void Publish(std::atomic<uint8_t>& state) {
  state.store(kRowReady, std::memory_order_release);
  state.notify_all();
}

}  // namespace

bool MonoResampler::ClaimRow(int32_t slot) {
  if (!Claim(rows_->State(slot))) return false;
  double* row = rows_->Values() + int64_t{slot} * taps_;
  const auto phase = static_cast<int32_t>(int64_t{slot} * sourceStep_ % targetStep_);
  int32_t k = -phase - (taps_ / 2 - 1) * targetStep_;
  // Without the table, the row of the opposite phase holds the coefficients at the opposite
  // offsets, in reverse order. Their sinc factors are the same, so both rows are filled at once
  // and each sine is taken once. Slot 0, phase 0, is its own opposite.
  const int32_t mirror = targetStep_ - slot;
  if (!TableInUse() && slot != 0 && mirror < rowsWanted_ && Claim(rows_->State(mirror))) {
    double* mirrored = rows_->Values() + int64_t{mirror} * taps_ + taps_;
    for (int32_t i = 0; i < taps_; ++i, k += targetStep_) {
      const double t = double(k) / double(targetStep_);
      const double sinc = SincFactor(t, cutoff_);
      row[i] = WindowedResponse(sinc, t, cutoff_, taps_);
      *--mirrored = WindowedResponse(sinc, -t, cutoff_, taps_);
    }
    Publish(rows_->State(mirror));
  } else {
    for (int32_t i = 0; i < taps_; ++i, k += targetStep_) row[i] = Coefficient(k);
  }
  Publish(rows_->State(slot));
  return true;
}

const double* MonoResampler::Row(int32_t slot) {
  // The rows filled are always the first ones, as slots come up in order from 0. A few beyond
  // the one asked for are filled with it, so that a resampler running alongside can take some.
  if (slot >= rowsReady_) FillRows(std::max(slot + 1, std::min(rowsWanted_, slot + kRowsAhead)));
  return rows_->Values() + int64_t{slot} * taps_;
}

void MonoResampler::FillRows(int32_t count) {
  if (count <= rowsReady_) return;
  for (int32_t r = rowsReady_; r < count; ++r) {
    if (rows_->State(r).load(std::memory_order_relaxed) == kRowEmpty) {
      ClaimRow(r);
    }
  }
  // What is not ready now is being filled by another resampler.
  for (int32_t r = rowsReady_; r < count; ++r) {
    std::atomic<uint8_t>& state = rows_->State(r);
    for (uint8_t seen; (seen = state.load(std::memory_order_acquire)) != kRowReady;) {
      state.wait(seen, std::memory_order_acquire);
    }
  }
  rowsReady_ = count;
}

double MonoResampler::ComputeSampleDirect() const {
  const double* x = values_.data() + (position_ - taps_ / 2 + 1);
  int32_t k = -phase_ - (taps_ / 2 - 1) * targetStep_;
  double sum = 0.0;
  for (int32_t i = 0; i < taps_; ++i, k += targetStep_) sum += Coefficient(k) * x[i];
  return sum;
}

double MonoResampler::ComputeSampleCached() {
  const double* c = Row(slot_);
  const double* x = values_.data() + (position_ - taps_ / 2 + 1);
  double sum = 0.0;
  for (int32_t i = 0; i < taps_; ++i) sum += c[i] * x[i];
  return sum;
}

void MonoResampler::ComputeBlock(const int32_t* positions, int16_t* dst) {
  // Four sums side by side, each adding its own products strictly in tap order: the four
  // chains of additions overlap instead of waiting on one another. The sums are named
  // variables so that they stay in registers.
  const int32_t start = 1 - taps_ / 2;
  const double* c0 = Row(slot_);
  const double* c1 = Row((slot_ + 1) % targetStep_);
  const double* c2 = Row((slot_ + 2) % targetStep_);
  const double* c3 = Row((slot_ + 3) % targetStep_);
  const double* x0 = values_.data() + (positions[0] + start);
  const double* x1 = values_.data() + (positions[1] + start);
  const double* x2 = values_.data() + (positions[2] + start);
  const double* x3 = values_.data() + (positions[3] + start);
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  for (int32_t i = 0; i < taps_; ++i) {
    s0 += c0[i] * x0[i];
    s1 += c1[i] * x1[i];
    s2 += c2[i] * x2[i];
    s3 += c3[i] * x3[i];
  }
  dst[0] = RoundSum(s0);
  dst[1] = RoundSum(s1);
  dst[2] = RoundSum(s2);
  dst[3] = RoundSum(s3);
}

int32_t MonoResampler::ComputeRun(int16_t* dst, int32_t count) {
  // An output whose window would reach past the history, or which lies past the last source
  // sample, is left to Read: it refills or finishes first.
  const int32_t limit = std::min(validEnd_, historyLength_ - taps_ / 2);
  int32_t done = 0;
  while (done < count && position_ < limit) {
    if (rows_ != nullptr && count - done >= kBlock) {
      int32_t positions[kBlock] = {position_};
      int32_t phase = phase_;
      for (int32_t b = 1; b < kBlock; ++b) {
        positions[b] = positions[b - 1];
        Advance(positions[b], phase);
      }
      if (positions[kBlock - 1] < limit) {
        ComputeBlock(positions, dst + done);
        done += kBlock;
        position_ = positions[kBlock - 1];
        phase_ = phase;
        Advance(position_, phase_);
        slot_ = (slot_ + kBlock) % targetStep_;
        continue;
      }
    }
    dst[done++] = RoundSum(rows_ != nullptr ? ComputeSampleCached() : ComputeSampleDirect());
    Advance(position_, phase_);
    if (++slot_ == targetStep_) slot_ = 0;
  }
  return done;
}

int32_t MonoResampler::ReadBytes(uint8_t* dst, int32_t len) {
  return source_ != nullptr ? source_->ReadBytes(dst, len) : -1;
}

}  // namespace pelorin
