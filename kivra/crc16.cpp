#include "kivra/crc16.h"

#include <array>

namespace pelorin {
namespace {

// table[i]: the register after shifting i << 8 through eight steps of the polynomial.
constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t reg = i << 8;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1;
    table[i] = static_cast<uint16_t>(reg);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();
static_assert(kTable[0] == 0x0000 && kTable[1] == 0x1021 && kTable[255] == 0x1EF0);

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t size) {
  uint16_t reg = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    reg = static_cast<uint16_t>(kTable[((reg >> 8) ^ data[i]) & 0xFF] ^ (reg << 8));
  }
  return static_cast<uint16_t>(reg ^ 0xFFFF);
}

uint16_t CheckCode(std::span<const uint8_t> chunk) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const uint16_t m = Crc16(chunk) ^ 0x3E57;
  return static_cast<uint16_t>((kHex[(m >> 8) & 0xF] << 8) | kHex[m & 0xF]);
}

}  // namespace pelorin
