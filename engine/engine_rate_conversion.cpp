// AudioEngine::ConvertRate: resamples the held clip through a WAV image of itself.

#include <cstdint>
#include <new>
#include <vector>

#include "engine/audio_engine.h"
#include "engine/rate_converter.h"
#include "input/memory_stream.h"
#include "input/wav_reader.h"

namespace pelorin {
namespace {

// Above these the coefficients are not tabulated in single precision.
constexpr int32_t kTablePhaseLimit = 640;
constexpr int32_t kTableSizeLimit = 81920;

}  // namespace

int32_t AudioEngine::ConvertRate(int32_t targetRate, int32_t taps) {
  if (targetRate == format_.sampleRate) return kOk;
  try {
    std::vector<uint8_t> image;
    WriteWavImage(image);
    if (image.size() > size_t{INT32_MAX}) return kFailed;
    MemoryStream stream(image.data(), static_cast<int32_t>(image.size()));
    WavReader reader(stream);
    RateConverter converter(reader);
    // A converter that is not set up fails every read: nothing to allocate for it.
    if (converter.Setup(targetRate, taps, kTablePhaseLimit, kTableSizeLimit) < 0) return kFailed;
    const SourceFormat& converted = converter.Format();

    // Sized from the byte count, so about twice the samples the converter delivers; the
    // rest stays 0.
    double length =
        double(converted.sampleRate) / double(format_.sampleRate) * double(format_.byteCount) + 0.5;
    if (length < 0.0) length = 0.0;
    if (!(length < double(INT32_MAX) + 1.0)) return kFailed;
    const auto count = static_cast<int32_t>(length);
    std::vector<int16_t> buffer(static_cast<size_t>(count), 0);
    // The count is in frames: a stereo read writes two samples per frame, and must stay in
    // the buffer.
    int16_t none = 0;  // a destination for a read of nothing
    int16_t* dst = buffer.empty() ? &none : buffer.data();
    if (converter.Read(dst, count / converted.channels) < 0) return kFailed;

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
