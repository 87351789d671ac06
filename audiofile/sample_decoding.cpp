#include "audiofile/sample_decoding.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace pelorin {
namespace {

constexpr int32_t kBlockBytes = 16384;

void Decode(SampleEncoding encoding, const uint8_t* in, int32_t count, int16_t* out) {
  switch (encoding) {
    case SampleEncoding::kUnsigned8:
      for (int32_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>((in[i] - 128) * 256);
      break;
    case SampleEncoding::kSigned8:
      for (int32_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>(static_cast<int8_t>(in[i]) * 256);
      break;
    case SampleEncoding::kSigned16LE:
      for (int32_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
      break;
    case SampleEncoding::kSigned16BE:
      for (int32_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>((in[2 * i] << 8) | in[2 * i + 1]);
      break;
    case SampleEncoding::kSigned24BE:
      for (int32_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>((in[3 * i] << 8) | in[3 * i + 1]);
      break;
    case SampleEncoding::kSigned32BE:
      for (int32_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>((in[4 * i] << 8) | in[4 * i + 1]);
      break;
  }
}

}  // namespace

int32_t ReadSampleRun(ChunkWalker& walker, SampleEncoding encoding, int bytesPerSample,
                      int channels, int16_t* dst, int32_t frames) {
  if (frames <= 0 || channels <= 0 || bytesPerSample <= 0) return 0;
  // Little-endian 16-bit samples on a little-endian machine are their own bytes: read straight
  // into place, one pass instead of a copy and a conversion.
  if (encoding == SampleEncoding::kSigned16LE && std::endian::native == std::endian::little) {
    const int64_t frameBytes = int64_t{2} * channels;
    const int64_t wanted = std::min<int64_t>(int64_t{frames} * frameBytes, INT32_MAX);
    const int32_t got =
        walker.ReadRun(reinterpret_cast<uint8_t*>(dst), static_cast<int32_t>(wanted));
    // A sample cut in half (a stream ending mid-sample; a parsed WAV file's data lies whole in
    // its image) is left as 0 rather than half read.
    if (got % 2 != 0) reinterpret_cast<uint8_t*>(dst)[got - 1] = 0;
    return static_cast<int32_t>(std::min<int64_t>(frames, got / frameBytes));
  }
  // Whole frames per block, so a block never splits a sample.
  const int32_t frameBytes = bytesPerSample * channels;
  std::vector<uint8_t> block(static_cast<size_t>(std::max(frameBytes, kBlockBytes)));
  const int32_t framesPerBlock = int32_t(block.size()) / frameBytes;
  int32_t done = 0;
  while (done < frames) {
    const int32_t want = std::min(frames - done, framesPerBlock);
    const int32_t wantBytes = want * frameBytes;
    const int32_t got = walker.ReadRun(block.data(), wantBytes);
    const int32_t samples = got / bytesPerSample;
    Decode(encoding, block.data(), samples, dst + int64_t{done} * channels);
    if (got < wantBytes) return done + samples / channels;
    done += want;
  }
  return frames;
}

}  // namespace pelorin
