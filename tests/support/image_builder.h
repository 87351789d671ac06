#pragma once

// Builds RIFF/IFF byte images by hand for the tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin::test {

using Bytes = std::vector<uint8_t>;

inline void PutTag(Bytes& b, std::string_view tag) {
  b.insert(b.end(), tag.begin(), tag.end());
}

inline void PutU16LE(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void PutU32LE(Bytes& b, uint32_t v) {
  PutU16LE(b, v & 0xFFFF);
  PutU16LE(b, v >> 16);
}
inline void PutU16BE(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
inline void PutU32BE(Bytes& b, uint32_t v) {
  PutU16BE(b, v >> 16);
  PutU16BE(b, v & 0xFFFF);
}
inline void Append(Bytes& b, const Bytes& more) {
  b.insert(b.end(), more.begin(), more.end());
}

// A chunk: id, size (the data's length unless given), data, and a pad byte after odd data.
inline Bytes ChunkLE(std::string_view id, const Bytes& data, int64_t size = -1, bool pad = true) {
  Bytes b;
  PutTag(b, id);
  PutU32LE(b, uint32_t(size < 0 ? int64_t(data.size()) : size));
  Append(b, data);
  if (pad && data.size() % 2) b.push_back(0);
  return b;
}
inline Bytes ChunkBE(std::string_view id, const Bytes& data, int64_t size = -1, bool pad = true) {
  Bytes b;
  PutTag(b, id);
  PutU32BE(b, uint32_t(size < 0 ? int64_t(data.size()) : size));
  Append(b, data);
  if (pad && data.size() % 2) b.push_back(0);
  return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) Append(b, p);
  return b;
}

// A "fmt " body for integer PCM (tag 1 unless given).
inline Bytes FmtBody(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t blockAlign,
                     uint32_t tag = 1) {
  Bytes b;
  PutU16LE(b, tag);
  PutU16LE(b, channels);
  PutU32LE(b, rate);
  PutU32LE(b, rate * blockAlign);
  PutU16LE(b, blockAlign);
  PutU16LE(b, bits);
  return b;
}

// A complete WAV image: RIFF/WAVE with "fmt " and "data".
inline Bytes WavImage(uint32_t channels, uint32_t rate, uint32_t bits, const Bytes& data) {
  const uint32_t bytesPerSample = (bits + 7) / 8;
  Bytes form;
  PutTag(form, "WAVE");
  Append(form, ChunkLE("fmt ", FmtBody(channels, rate, bits, channels * bytesPerSample)));
  Append(form, ChunkLE("data", data));
  return ChunkLE("RIFF", form);
}

// 16-bit little-endian sample data.
inline Bytes Pcm16LE(std::initializer_list<int> samples) {
  Bytes b;
  for (int s : samples) PutU16LE(b, uint16_t(int16_t(s)));
  return b;
}
inline Bytes Pcm16LE(const std::vector<int16_t>& samples) {
  Bytes b;
  for (int16_t s : samples) PutU16LE(b, uint16_t(s));
  return b;
}

// The 10 bytes of an 80-bit extended float for a positive integer rate.
inline Bytes Extended80(uint32_t rate) {
  Bytes b(10, 0);
  int exponent = 16383 + 31;
  uint64_t mantissa = uint64_t(rate) << 32;
  while (mantissa && !(mantissa & (uint64_t(1) << 63))) {
    mantissa <<= 1;
    --exponent;
  }
  if (!mantissa) exponent = 0;
  b[0] = uint8_t(exponent >> 8);
  b[1] = uint8_t(exponent);
  for (int i = 0; i < 8; ++i) b[2 + i] = uint8_t(mantissa >> (56 - 8 * i));
  return b;
}

// A "COMM" body: channels, frames, sample size, rate.
inline Bytes CommBody(uint32_t channels, uint32_t frames, uint32_t bits, const Bytes& rate80) {
  Bytes b;
  PutU16BE(b, channels);
  PutU32BE(b, frames);
  PutU16BE(b, bits);
  Append(b, rate80);
  return b;
}

// An "SSND" body: offset, block size, then the sound bytes.
inline Bytes SsndBody(const Bytes& sound, uint32_t offset = 0) {
  Bytes b;
  PutU32BE(b, offset);
  PutU32BE(b, 0);
  b.insert(b.end(), offset, 0xEE);
  Append(b, sound);
  return b;
}

// A complete AIFF image with "COMM" before "SSND".
inline Bytes AiffImage(uint32_t channels, uint32_t rate, uint32_t bits, const Bytes& sound) {
  const uint32_t frameBytes = channels * ((bits + 7) / 8);
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("COMM", CommBody(channels, uint32_t(sound.size() / frameBytes), bits,
                                        Extended80(rate))));
  Append(form, ChunkBE("SSND", SsndBody(sound)));
  return ChunkBE("FORM", form);
}

// 16-bit big-endian sample data.
inline Bytes Pcm16BE(std::initializer_list<int> samples) {
  Bytes b;
  for (int s : samples) PutU16BE(b, uint16_t(int16_t(s)));
  return b;
}

}  // namespace pelorin::test
