#include "engine/mono_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numeric>

#include "engine/sinc_filter.h"

namespace pelorin {
namespace {

constexpr int32_t kMaxTargetRate = 1000000;

int16_t RoundSum(double sum) {
  // Rounds non-negative sums to nearest; negative ones move up. -32768 is never produced.
  const double v = sum + 0.5;
  if (v > 32767.0) return 32767;
  if (v < -32767.0) return -32767;
  return static_cast<int16_t>(static_cast<int32_t>(v));
}

}  // namespace

MonoResampler::MonoResampler(SampleSource* source, int64_t cacheLimit)
    : source_(source), cacheLimit_(cacheLimit) {
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

  cutoff_ = 0.5;
  if (sourceStep_ > targetStep_) cutoff_ = double(targetStep_) * 0.5 / double(sourceStep_);

  if (BuildTable(tablePhaseLimit, tableSizeLimit) < 0) return -1;
  wholeStep_ = sourceStep_ / targetStep_;
  fractionStep_ = sourceStep_ % targetStep_;
  AllocateCache();
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
  if (size > cacheLimit_) return;
  try {
    rows_ = std::make_unique_for_overwrite<double[]>(static_cast<size_t>(size));
    rowFilled_.assign(static_cast<size_t>(targetStep_), 0);
  } catch (const std::bad_alloc&) {
    rows_.reset();
    rowFilled_.clear();
  }
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

int32_t MonoResampler::Refill() {
  const int32_t n = taps_;
  std::copy(history_.end() - n, history_.end(), history_.begin());
  position_ -= 3 * n;
  validEnd_ -= 3 * n;
  if ((flags_ & kSourceExhausted) == 0) {
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
  }
  // Samples moved down from beyond the end are zeros already.
  std::fill(history_.begin() + std::max(validEnd_, n), history_.end(), int16_t{0});
  std::copy(history_.begin(), history_.end(), values_.begin());
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

const double* MonoResampler::Row(int32_t slot) {
  double* row = rows_.get() + int64_t{slot} * taps_;
  if (rowFilled_[static_cast<size_t>(slot)] == 0) {
    const auto phase = static_cast<int32_t>(int64_t{slot} * sourceStep_ % targetStep_);
    int32_t k = -phase - (taps_ / 2 - 1) * targetStep_;
    for (int32_t i = 0; i < taps_; ++i, k += targetStep_) row[i] = Coefficient(k);
    rowFilled_[static_cast<size_t>(slot)] = 1;
  }
  return row;
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
