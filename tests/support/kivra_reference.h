#pragma once

// Independent reference computations for the writer tests: a bitwise CRC-16/GENIBUS (no
// table) and the check code rule, written from the format's rules, not from the code under test.

#include <cstdint>
#include <vector>

namespace pelorin::test {

inline uint16_t BitwiseCrc(const uint8_t* p, size_t n) {
  uint16_t reg = 0xFFFF;
  for (size_t k = 0; k < n; ++k) {
    reg ^= uint16_t(p[k] << 8);
    for (int i = 0; i < 8; ++i) reg = uint16_t((reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1);
  }
  return reg ^ 0xFFFF;
}

inline uint16_t BitwiseCrc(const std::vector<uint8_t>& b) {
  return BitwiseCrc(b.data(), b.size());
}

// The two characters of the check code of bytes [begin, end), first character first.
inline void ReferenceCode(const std::vector<uint8_t>& b, size_t begin, size_t end, char out[2]) {
  const uint16_t m = BitwiseCrc(b.data() + begin, end - begin) ^ 0x3E57;
  const char* hex = "0123456789ABCDEF";
  out[0] = hex[(m >> 8) & 0xF];
  out[1] = hex[m & 0xF];
}

}  // namespace pelorin::test
