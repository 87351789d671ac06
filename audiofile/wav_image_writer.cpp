#include "audiofile/wav_image_writer.h"

#include "audiofile/byte_order.h"

namespace pelorin {
namespace {

void AppendTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
  out.insert(out.end(), tag, tag + 4);
}

// Header fields are 32-bit values; wrap as the format's own arithmetic does.
uint32_t Wrap32(int64_t v) {
  return static_cast<uint32_t>(v);
}

}  // namespace

void WriteWavImage(const WavImageHeader& header, std::span<const int16_t> samples,
                   std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(44 + samples.size() * 2);
  AppendTag(out, "RIFF");
  AppendU32LE(out, 0);  // filled in last
  AppendTag(out, "WAVE");
  AppendTag(out, "fmt ");
  AppendU32LE(out, 16);
  AppendU16LE(out, 1);  // integer PCM
  AppendU16LE(out, header.channels);
  AppendU32LE(out, Wrap32(header.sampleRate));
  const auto product = static_cast<int32_t>(
      Wrap32(int64_t{header.bitsPerSample} * header.channels * header.sampleRate));
  AppendU32LE(out, Wrap32(product / 8));
  AppendU16LE(out, header.bitsPerSample * header.channels / 8);
  AppendU16LE(out, 16);
  AppendTag(out, "data");
  AppendU32LE(out, Wrap32(header.byteCount));
  const size_t start = out.size();
  out.resize(start + samples.size() * 2);
  uint8_t* p = out.data() + start;
  for (int16_t s : samples) {
    const auto v = static_cast<uint16_t>(s);
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
  }
  const uint32_t riffSize = Wrap32(int64_t(out.size()) - 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
}

}  // namespace pelorin
