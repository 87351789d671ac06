#include "kivra/byte_array.h"

namespace pelorin {
namespace {

// True when [pos, pos + n) lies inside the array; no overflow for any pos.
bool Fits(const std::vector<uint8_t>& array, size_t pos, size_t n) {
  return pos <= array.size() && array.size() - pos >= n;
}

}  // namespace

void AppendBytes(std::vector<uint8_t>& array, const void* bytes, size_t n) {
  if (bytes == nullptr) return;
  const auto* p = static_cast<const uint8_t*>(bytes);
  array.insert(array.end(), p, p + n);
}

void AppendBytes(std::vector<uint8_t>& array, std::string_view bytes) {
  AppendBytes(array, bytes.data(), bytes.size());
}

void AppendU16BE(std::vector<uint8_t>& array, uint16_t v) {
  array.push_back(static_cast<uint8_t>(v >> 8));
  array.push_back(static_cast<uint8_t>(v));
}

void AppendU32BE(std::vector<uint8_t>& array, uint32_t v) {
  AppendU16BE(array, static_cast<uint16_t>(v >> 16));
  AppendU16BE(array, static_cast<uint16_t>(v));
}

void AppendVarLen(std::vector<uint8_t>& array, uint32_t v) {
  int32_t groups = 1;
  while (groups < 5 && (v >> (7 * groups)) != 0) ++groups;
  for (int32_t g = groups - 1; g >= 0; --g) {
    const auto bits = static_cast<uint8_t>((v >> (7 * g)) & 0x7F);
    array.push_back(g > 0 ? static_cast<uint8_t>(bits | 0x80) : bits);
  }
}

void PatchU16BE(std::vector<uint8_t>& array, size_t pos, uint16_t v) {
  if (!Fits(array, pos, 2)) return;
  array[pos] = static_cast<uint8_t>(v >> 8);
  array[pos + 1] = static_cast<uint8_t>(v);
}

void PatchU32BE(std::vector<uint8_t>& array, size_t pos, uint32_t v) {
  if (!Fits(array, pos, 4)) return;
  PatchU16BE(array, pos, static_cast<uint16_t>(v >> 16));
  PatchU16BE(array, pos + 2, static_cast<uint16_t>(v));
}

}  // namespace pelorin
