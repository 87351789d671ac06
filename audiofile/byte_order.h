#pragma once

#include <cstdint>
#include <vector>

namespace pelorin {

// Multi-byte values from a source of single bytes: next() gives 0..255, or a negative value
// when there is no byte. The first missing byte makes the result -1. The 32-bit forms come back
// in a signed integer, so a value with all 32 bits set looks like that failure, as it does
// everywhere in the streams.
template <class NextByte>
int32_t ReadU16LE(NextByte&& next) {
  const int32_t a = next();
  if (a < 0) return -1;
  const int32_t b = next();
  if (b < 0) return -1;
  return a + 256 * b;
}

template <class NextByte>
int32_t ReadU16BE(NextByte&& next) {
  const int32_t a = next();
  if (a < 0) return -1;
  const int32_t b = next();
  if (b < 0) return -1;
  return 256 * a + b;
}

template <class NextByte>
int32_t ReadU32LE(NextByte&& next) {
  const int32_t lo = ReadU16LE(next);
  if (lo < 0) return -1;
  const int32_t hi = ReadU16LE(next);
  if (hi < 0) return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(lo) + 65536u * static_cast<uint32_t>(hi));
}

template <class NextByte>
int32_t ReadU32BE(NextByte&& next) {
  const int32_t hi = ReadU16BE(next);
  if (hi < 0) return -1;
  const int32_t lo = ReadU16BE(next);
  if (lo < 0) return -1;
  return static_cast<int32_t>(65536u * static_cast<uint32_t>(hi) + static_cast<uint32_t>(lo));
}

inline void AppendU16LE(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void AppendU32LE(std::vector<uint8_t>& out, uint32_t v) {
  AppendU16LE(out, static_cast<uint16_t>(v));
  AppendU16LE(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace pelorin
