#pragma once

// The file checksum and the check codes of KIVRA files.

#include <cstddef>
#include <cstdint>
#include <span>

namespace pelorin {

// CRC-16/GENIBUS, the KIVRA file checksum: polynomial 0x1021, initial value 0xFFFF, most
// significant bit first without reflection, final XOR 0xFFFF. Check value: "123456789" gives
// 0xD64E; no bytes give 0x0000.
uint16_t Crc16(const uint8_t* data, size_t size);
inline uint16_t Crc16(std::span<const uint8_t> bytes) {
  return Crc16(bytes.data(), bytes.size());
}

// The check code of one complete chunk: m = Crc16(chunk) XOR 0x3E57; the upper-case hex digit
// of bits 8 to 11 of m, then that of bits 0 to 3, the first in the high byte (so PatchU16BE
// stores the two characters in order).
uint16_t CheckCode(std::span<const uint8_t> chunk);

}  // namespace pelorin
