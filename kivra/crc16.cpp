#include "kivra/crc16.h"

#include <array>

namespace pelorin {
namespace {

// kTables[0][i]: the register after shifting i << 8 through eight steps of the polynomial.
// kTables[k][i]: the register after byte i and k zero bytes, so that eight bytes can be taken
// at once, each through its own table, instead of one after the other through one.
using Table = std::array<uint16_t, 256>;

constexpr std::array<Table, 8> MakeTables() {
  std::array<Table, 8> tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t reg = i << 8;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1;
    tables[0][i] = static_cast<uint16_t>(reg);
  }
  for (size_t k = 1; k < tables.size(); ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint16_t previous = tables[k - 1][i];
      tables[k][i] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
    }
  }
  return tables;
}

constexpr std::array<Table, 8> kTables = MakeTables();
static_assert(kTables[0][0] == 0x0000 && kTables[0][1] == 0x1021 && kTables[0][255] == 0x1EF0);

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t size) {
  uint32_t reg = 0xFFFF;
  size_t i = 0;
  // The register goes into the first two of each eight bytes; each byte then adds what it
  // leaves after the bytes that follow it in the group.
  for (; i + 8 <= size; i += 8) {
    const uint8_t* b = data + i;
    reg = kTables[7][(reg >> 8) ^ b[0]] ^ kTables[6][(reg & 0xFF) ^ b[1]] ^ kTables[5][b[2]] ^
          kTables[4][b[3]] ^ kTables[3][b[4]] ^ kTables[2][b[5]] ^ kTables[1][b[6]] ^
          kTables[0][b[7]];
  }
  for (; i < size; ++i) reg = kTables[0][((reg >> 8) ^ data[i]) & 0xFF] ^ ((reg << 8) & 0xFFFF);
  return static_cast<uint16_t>(reg ^ 0xFFFF);
}

uint16_t CheckCode(std::span<const uint8_t> chunk) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const uint16_t m = Crc16(chunk) ^ 0x3E57;
  return static_cast<uint16_t>((kHex[(m >> 8) & 0xF] << 8) | kHex[m & 0xF]);
}

}  // namespace pelorin
