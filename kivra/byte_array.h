#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelorin {

// The byte-array primitives the KIVRA writers build their chunks with. Every multi-byte field
// of a KIVRA file is big-endian. Positions are indices into the array, so a patch can never
// write outside it. The writers ignore the results; they are kept for the tests.

// Appends n bytes from bytes: 0, or -1 without change when bytes is null or n is 0.
int32_t AppendBytes(std::vector<uint8_t>& array, const void* bytes, size_t n);
// Appends v, high byte first: 0.
int32_t AppendU16BE(std::vector<uint8_t>& array, uint16_t v);
// Appends v, most significant byte first: 0.
int32_t AppendU32BE(std::vector<uint8_t>& array, uint32_t v);
// Appends v as a standard MIDI variable-length quantity (7-bit groups, most significant
// non-zero group first, bit 7 set on every byte but the last): the number of bytes, 1 to 5.
int32_t AppendVarLen(std::vector<uint8_t>& array, uint32_t v);
// Stores v big-endian at array[pos..pos + 1]: 0, or -1 without change when that lies outside.
int32_t PatchU16BE(std::vector<uint8_t>& array, size_t pos, uint16_t v);
// Stores v big-endian at array[pos..pos + 3]: 0, or -1 without change when that lies outside.
int32_t PatchU32BE(std::vector<uint8_t>& array, size_t pos, uint32_t v);

}  // namespace pelorin
