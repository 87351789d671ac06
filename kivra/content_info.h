#pragma once

#include <cstdint>

namespace pelorin {

// The content information a file carries: 3343 bytes, filled by the conversion and read by
// the variant 0 writer. Texts are NUL-terminated, at most 256 bytes each.
struct ContentInfo {
  static constexpr int kTextCount = 13;
  static constexpr int kTextSize = 257;
  // Fields the conversion fills.
  static constexpr int kTitle = 3;      // "ST"
  static constexpr int kCopyright = 8;  // "CR"
  static constexpr int kDate = 11;      // "CD"

  uint8_t textCode = 0;  // 0, 1, 2: bytes as they are; 0x23: read as Latin-1, written as UTF-8
  uint8_t flags = 0;     // bit 0: transfer off; bit 1: saving off
  char text[kTextCount][kTextSize] = {};
};
static_assert(sizeof(ContentInfo) == 3343);

}  // namespace pelorin
