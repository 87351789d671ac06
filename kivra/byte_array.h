#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pelorin {

// The byte-array primitives the KIVRA writers build their chunks with. Every multi-byte field
// of a KIVRA file is big-endian. Positions are indices into the array, so a patch can never
// write outside it.

// Appends n bytes from bytes; nothing when bytes is null.
void AppendBytes(std::vector<uint8_t>& array, const void* bytes, size_t n);
// Appends the bytes of a view: a chunk id or a fixed run of the format.
void AppendBytes(std::vector<uint8_t>& array, std::string_view bytes);
// Appends v, high byte first.
void AppendU16BE(std::vector<uint8_t>& array, uint16_t v);
// Appends v, most significant byte first.
void AppendU32BE(std::vector<uint8_t>& array, uint32_t v);
// Appends v as a standard MIDI variable-length quantity (7-bit groups, most significant
// non-zero group first, bit 7 set on every byte but the last): 1 to 5 bytes.
void AppendVarLen(std::vector<uint8_t>& array, uint32_t v);
// Stores v big-endian at array[pos..pos + 1]; nothing when that lies outside the array.
void PatchU16BE(std::vector<uint8_t>& array, size_t pos, uint16_t v);
// Stores v big-endian at array[pos..pos + 3]; nothing when that lies outside the array.
void PatchU32BE(std::vector<uint8_t>& array, size_t pos, uint32_t v);

}  // namespace pelorin
