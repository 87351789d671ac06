// AudioEngine::ConvertRate: resamples the held clip, a long one on two threads.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/adpcm_clip_codes.h"
#include "engine/audio_engine.h"
#include "engine/clip_source.h"
#include "engine/conversion_split.h"
#include "engine/processor_shares.h"
#include "engine/rate_converter.h"

namespace pelorin {
namespace {

// Above these the coefficients are not tabulated in single precision.
constexpr int32_t kTablePhaseLimit = 640;
constexpr int32_t kTableSizeLimit = 81920;

// What Load, MixDown and ConvertRate leave: 16-bit frames of one or two channels whose byte
// count agrees with the frame count. Nothing else can be converted.
bool IsPlainClip(const PcmFormat& f) {
  return (f.channels == 1 || f.channels == 2) && f.bitsPerSample == 16 &&
         f.blockAlign == 2 * f.channels && f.sampleRate > 0 && f.frameCount >= 0 &&
         int64_t{f.byteCount} == int64_t{f.frameCount} * f.blockAlign;
}

// How many of the outputs can differ from silence when only the first `held` source frames
// are: output j is the filter at input frame j x M / L, and its taps reach at most N / 2
// frames back, so from (held + N / 2) x L / M on it sums zeros only. Counted with N for
// margin; never more than the outputs there are.
int32_t OutputsWithSound(int32_t held, int32_t sourceRate, int32_t targetRate, int32_t taps,
                         int32_t outputs) {
  const int64_t divisor = std::gcd(sourceRate, targetRate);
  const int64_t m = sourceRate / divisor;
  const int64_t l = targetRate / divisor;
  const int64_t reach = (int64_t{held} + (taps & ~1)) * l;
  return static_cast<int32_t>(std::min<int64_t>(outputs, (reach + m - 1) / m));
}

// Outputs a second chain makes between two reports of its progress.
constexpr int32_t kProgressStep = 8192;

// How much of a split conversion the first chain takes, in thousandths. Alone, half. When the
// first thread also encodes what both make, it converts a share f and then encodes while the
// second converts the rest: with conversion work R and encoding work E both end together at
// f = (R - E) / 2R. Measured: from the single-precision table R is about twice the standard
// encoder's E, so f is about a quarter; without the table the coefficients make R several
// times larger. The searching encoder's E exceeds R several times over: the first chain then
// converts only enough to keep the encoder busy while the second starts.
int32_t HeadPermille(bool table, bool encodeAlong, AdpcmQuality quality) {
  if (!encodeAlong) return 500;
  if (quality == AdpcmQuality::kHigh) return 20;
  return table ? 270 : 450;
}

// The outputs of a second chain from the split output on, `count` of them, into dst, telling
// progress how many are there as it goes (-1 when they will not all come). Runs on its own
// thread: nothing may escape it.
int32_t ConvertTail(std::span<const int16_t> held, const PcmFormat& clip, int32_t targetRate,
                    int32_t taps, const ConversionSplit& split, const ResamplerOptions& options,
                    int16_t* dst, int32_t count, std::atomic<int32_t>& progress) noexcept {
  int32_t done = 0;
  try {
    ClipSource tail(held, clip.channels, clip.sampleRate, split.tailStart,
                    clip.frameCount - split.tailStart);
    RateConverter converter(tail, options);
    if (converter.Setup(targetRate, taps, kTablePhaseLimit, kTableSizeLimit) >= 0) {
      // The first outputs reach before the chain's start: computed, and dropped.
      std::vector<int16_t> dropped(static_cast<size_t>(split.tailSkip) * clip.channels + 1);
      if (converter.Read(dropped.data(), split.tailSkip) == split.tailSkip) {
        while (done < count) {
          const int32_t n = std::min(kProgressStep, count - done);
          if (converter.Read(dst + int64_t{done} * clip.channels, n) != n) break;
          done += n;
          progress.store(done, std::memory_order_release);
          progress.notify_all();
        }
      }
    }
  } catch (const std::exception&) {
  }
  if (done == count) return kOk;
  progress.store(-1, std::memory_order_release);
  progress.notify_all();
  return kFailed;
}

// The first `count` outputs of head, a chain over the whole clip, into buffer: those before the
// split from head itself, the rest from a second chain started shortly before them on another
// thread. With encode, it is called on this thread once head is done, with a FramesReady that
// waits for the second chain; its false ends the conversion as failed. kFailed for any failure;
// headRead tells whether head was read from.
int32_t ConvertInTwoParts(RateConverter& head, std::span<const int16_t> held, const PcmFormat& clip,
                          int32_t targetRate, int32_t taps, const ConversionSplit& split,
                          const ResamplerOptions& options, int32_t count,
                          std::vector<int16_t>& buffer, bool& headRead,
                          const std::function<bool(const FramesReady&)>& encode) {
  if (count <= split.splitOutput) return kFailed;
  int32_t tailResult = kFailed;
  std::atomic<int32_t> progress = 0;
  try {
    int16_t* tailDst = buffer.data() + int64_t{split.splitOutput} * clip.channels;
    // The two chains share nothing but the held samples, which neither changes, and write to
    // disjoint parts of the buffer. The worker is joined on every way out of this block.
    // Each chain keeps to its own processor, so that the two run at once even where the
    // scheduler would first put the new thread beside its starter.
    const ProcessorShares shares(2);
    const ProcessorShares::Stay stay = shares.Enter(0);
    std::jthread worker([&] {
      tailResult = ConvertTail(held, clip, targetRate, taps, split, options, tailDst,
                               count - split.splitOutput, progress);
    });
    shares.Send(worker.native_handle(), 1);
    headRead = true;
    if (head.Read(buffer.data(), split.splitOutput) != split.splitOutput) return kFailed;
    if (encode) {
      const FramesReady ready = [&](int32_t end) {
        const int32_t wanted = end - split.splitOutput;
        for (int32_t seen; (seen = progress.load(std::memory_order_acquire)) < wanted;) {
          if (seen < 0) return false;
          progress.wait(seen, std::memory_order_acquire);
        }
        return true;
      };
      if (!encode(ready)) return kFailed;
    }
  } catch (const std::system_error&) {
    return kFailed;  // no thread
  }
  return tailResult;
}

}  // namespace

int32_t AudioEngine::ConvertRate(int32_t targetRate, int32_t taps,
                                 std::optional<AdpcmQuality> encodeAlong) {
  if (targetRate == format_.sampleRate) return kOk;
  if (!IsPlainClip(format_)) return kFailed;
  codes_.reset();
  try {
    const int32_t heldFrames = HeldFrames();
    const std::span<const int16_t> held(samples_.data(),
                                        size_t(heldFrames) * size_t(format_.channels));
    // Every chain of this conversion computes with the same coefficients: they share them.
    ResamplerOptions options;
    options.sharedRows = std::make_shared<CoefficientRows>();
    ClipSource whole(held, format_.channels, format_.sampleRate, 0, format_.frameCount);
    RateConverter converter(whole, options);
    // A converter that is not set up fails every read: nothing to allocate for it.
    if (converter.Setup(targetRate, taps, kTablePhaseLimit, kTableSizeLimit) < 0) return kFailed;
    const SourceFormat converted = converter.Format();
    // Outputs past the sound of the frames held are silence and are not stored.
    const int32_t count = OutputsWithSound(heldFrames, format_.sampleRate, converted.sampleRate,
                                           taps, converted.frameCount);
    std::vector<int16_t> buffer(static_cast<size_t>(count) * converted.channels, 0);

    int32_t code = kFailed;
    bool headRead = false;
    const int32_t reach = std::min<int32_t>(format_.frameCount, heldFrames + (taps & ~1));
    // Codes are made along only for a mono clip: the stereo encoder takes one channel after
    // the other.
    const bool along = encodeAlong.has_value() && converted.channels == 1;
    const AdpcmQuality quality = encodeAlong.value_or(AdpcmQuality::kStandard);
    const std::optional<ConversionSplit> split =
        secondThread_ ? PlanConversionSplit(reach, format_.sampleRate, targetRate, taps,
                                            HeadPermille(converter.TableInUse(), along, quality))
                      : std::nullopt;
    std::optional<std::vector<uint8_t>> codes;
    if (split) {
      std::function<bool(const FramesReady&)> encode;
      if (along) {
        // As EncodeKivra will see the clip once it is converted.
        const auto adpcmBytes = (static_cast<size_t>(std::max(converted.dataBytes, 0)) + 3) / 4;
        const std::span<const int16_t> made(buffer.data(), buffer.size());
        const int32_t frames = std::max(converted.frameCount, 0);
        encode = [&codes, made, frames, adpcmBytes, quality](const FramesReady& ready) {
          try {
            codes = EncodeClipCodes(made, 1, frames, adpcmBytes, quality, ready);
            return codes.has_value();  // nothing: the second chain failed
          } catch (const std::bad_alloc&) {
            return true;  // no codes now: EncodeKivra makes them, or says it cannot
          }
        };
      }
      code = ConvertInTwoParts(converter, held, format_, targetRate, taps, *split, options, count,
                               buffer, headRead, encode);
    }
    if (code != kOk) {
      // All of it by one chain; a new one when the split has read from the first.
      std::optional<ClipSource> again;
      std::optional<RateConverter> fresh;
      RateConverter* chain = &converter;
      if (headRead) {
        again.emplace(held, format_.channels, format_.sampleRate, 0, format_.frameCount);
        fresh.emplace(*again, options);
        if (fresh->Setup(targetRate, taps, kTablePhaseLimit, kTableSizeLimit) < 0) return kFailed;
        chain = &*fresh;
      }
      int16_t none = 0;  // a destination for a read of nothing
      if (chain->Read(buffer.empty() ? &none : buffer.data(), count) != count) return kFailed;
    }

    if (code == kOk && codes) codes_ = Codes{quality, std::move(*codes)};
    samples_ = std::move(buffer);
    format_.sampleRate = converted.sampleRate;
    format_.channels = converted.channels;
    format_.bitsPerSample = converted.bitsPerSample;
    format_.blockAlign = converted.blockAlign;
    format_.byteCount = converted.dataBytes;
    format_.frameCount = converted.frameCount;
    return kOk;
  } catch (const std::bad_alloc&) {
    return kFailed;
  }
}

}  // namespace pelorin
