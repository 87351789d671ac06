// AudioEngine::ConvertRate: resamples the held clip, a long one on two threads.

#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "audiofile/memory_stream.h"
#include "audiofile/wav_reader.h"
#include "engine/audio_engine.h"
#include "engine/clip_source.h"
#include "engine/conversion_split.h"
#include "engine/rate_converter.h"

namespace pelorin {
namespace {

// Above these the coefficients are not tabulated in single precision.
constexpr int32_t kTablePhaseLimit = 640;
constexpr int32_t kTableSizeLimit = 81920;

struct Converted {
  std::vector<int16_t> samples;
  SourceFormat format;
};

// Sized from the byte count, so about twice the samples the converter delivers; the rest
// stays 0. Nothing when the length does not fit.
std::optional<int32_t> OutputLength(const PcmFormat& clip, int32_t convertedRate) {
  double length = double(convertedRate) / double(clip.sampleRate) * double(clip.byteCount) + 0.5;
  if (length < 0.0) length = 0.0;
  if (!(length < double(INT32_MAX) + 1.0)) return std::nullopt;
  return static_cast<int32_t>(length);
}

// The whole conversion by one chain over the source.
int32_t ConvertWhole(SampleSource& source, const PcmFormat& clip, int32_t targetRate, int32_t taps,
                     Converted& out) {
  RateConverter converter(source);
  // A converter that is not set up fails every read: nothing to allocate for it.
  if (converter.Setup(targetRate, taps, kTablePhaseLimit, kTableSizeLimit) < 0) return kFailed;
  const SourceFormat& converted = converter.Format();
  const std::optional<int32_t> count = OutputLength(clip, converted.sampleRate);
  if (!count) return kFailed;
  std::vector<int16_t> buffer(static_cast<size_t>(*count), 0);
  // The count is in frames: a stereo read writes two samples per frame, and must stay in the
  // buffer.
  int16_t none = 0;  // a destination for a read of nothing
  int16_t* dst = buffer.empty() ? &none : buffer.data();
  if (converter.Read(dst, *count / converted.channels) < 0) return kFailed;
  out.samples = std::move(buffer);
  out.format = converted;
  return kOk;
}

// The outputs of the second chain from the split output on, at most frames of them, into
// dst. Runs on its own thread: nothing may escape it.
int32_t ConvertTail(std::span<const int16_t> samples, const PcmFormat& clip, int32_t targetRate,
                    int32_t taps, const ConversionSplit& split, int16_t* dst,
                    int32_t frames) noexcept {
  try {
    ClipSource tail(samples, clip.channels, clip.sampleRate, split.tailStart,
                    clip.frameCount - split.tailStart);
    RateConverter converter(tail);
    if (converter.Setup(targetRate, taps, kTablePhaseLimit, kTableSizeLimit) < 0) return kFailed;
    // The first outputs reach before the chain's start: computed, and dropped.
    std::vector<int16_t> dropped(static_cast<size_t>(split.tailSkip) * clip.channels + 1);
    if (converter.Read(dropped.data(), split.tailSkip) != split.tailSkip) return kFailed;
    return converter.Read(dst, frames) < 0 ? kFailed : kOk;
  } catch (const std::exception&) {
    return kFailed;
  }
}

// The same buffer and format as ConvertWhole gives, from two chains on two threads: the
// outputs before the split from a chain over the whole clip, the rest from a chain started
// shortly before them. kFailed for any failure; the caller then converts in one chain.
int32_t ConvertInTwoParts(std::span<const int16_t> samples, const PcmFormat& clip,
                          int32_t targetRate, int32_t taps, const ConversionSplit& split,
                          Converted& out) {
  // A converter that is set up delivers the target rate and the clip's channels, so the
  // buffer is sized before either chain is, and the second one starts at once.
  const std::optional<int32_t> count = OutputLength(clip, targetRate);
  if (!count) return kFailed;
  // The one read of the single chain asks for this many frames.
  const int32_t frames = *count / clip.channels;
  if (frames <= split.splitOutput) return kFailed;
  std::vector<int16_t> buffer;
  int32_t tailResult = kFailed;
  SourceFormat converted;
  try {
    buffer.assign(static_cast<size_t>(*count), 0);
    int16_t* tailDst = buffer.data() + int64_t{split.splitOutput} * clip.channels;
    // The two chains share nothing but the held samples, which neither changes, and write
    // to disjoint parts of the buffer. The worker is joined on every way out of this block.
    std::jthread worker([&] {
      tailResult =
          ConvertTail(samples, clip, targetRate, taps, split, tailDst, frames - split.splitOutput);
    });
    ClipSource whole(samples, clip.channels, clip.sampleRate, 0, clip.frameCount);
    RateConverter head(whole);
    if (head.Setup(targetRate, taps, kTablePhaseLimit, kTableSizeLimit) < 0) return kFailed;
    converted = head.Format();
    if (converted.sampleRate != targetRate || converted.channels != clip.channels) {
      return kFailed;
    }
    if (head.Read(buffer.data(), split.splitOutput) != split.splitOutput) return kFailed;
  } catch (const std::system_error&) {
    return kFailed;  // no thread
  } catch (const std::bad_alloc&) {
    return kFailed;
  }
  if (tailResult != kOk) return kFailed;
  out.samples = std::move(buffer);
  out.format = converted;
  return kOk;
}

// The format as a WAV image of the held samples would declare it, with samples the format
// counts but the engine does not hold read as silence.
bool IsPlainClip(const PcmFormat& f) {
  return (f.channels == 1 || f.channels == 2) && f.bitsPerSample == 16 &&
         f.blockAlign == 2 * f.channels && f.sampleRate > 0 && f.frameCount >= 0 &&
         int64_t{f.byteCount} == int64_t{f.frameCount} * f.blockAlign &&
         int64_t{f.byteCount} + 44 <= INT32_MAX;  // the image would have to fit as well
}

}  // namespace

int32_t AudioEngine::ConvertRate(int32_t targetRate, int32_t taps) {
  if (targetRate == format_.sampleRate) return kOk;
  try {
    Converted result;
    int32_t code = kFailed;
    if (IsPlainClip(format_)) {
      const std::span<const int16_t> samples(samples_);
      const std::optional<ConversionSplit> split =
          PlanConversionSplit(format_.frameCount, format_.sampleRate, targetRate, taps);
      if (split) code = ConvertInTwoParts(samples, format_, targetRate, taps, *split, result);
      if (code != kOk) {
        ClipSource source(samples, format_.channels, format_.sampleRate, 0, format_.frameCount);
        code = ConvertWhole(source, format_, targetRate, taps, result);
      }
    } else {
      // Whatever the format block holds, read as the reader reads the image it describes.
      std::vector<uint8_t> image;
      WriteWavImage(image);
      if (image.size() > size_t{INT32_MAX}) return kFailed;
      MemoryStream stream(image.data(), static_cast<int32_t>(image.size()));
      WavReader reader(stream);
      code = ConvertWhole(reader, format_, targetRate, taps, result);
    }
    if (code != kOk) return code;

    samples_ = std::move(result.samples);
    format_.sampleRate = result.format.sampleRate;
    format_.channels = result.format.channels;
    format_.bitsPerSample = result.format.bitsPerSample;
    format_.blockAlign = result.format.blockAlign;
    format_.byteCount = result.format.dataBytes;
    format_.frameCount = result.format.frameCount;
    return kOk;
  } catch (const std::bad_alloc&) {
    return kFailed;
  }
}

}  // namespace pelorin
