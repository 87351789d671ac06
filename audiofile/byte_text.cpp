#include "audiofile/byte_text.h"

#include <cstdio>

namespace pelorin {

std::string PrintableBytes(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t b : bytes) {
    if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
      text += static_cast<char>(b);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", b);
      text += escape;
    }
  }
  return text;
}

std::string Quoted(std::string_view bytes) {
  const std::span<const uint8_t> raw(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  // Built up in place: GCC 12 warns falsely about "\"" + std::string.
  std::string text(1, '"');
  text += PrintableBytes(raw);
  text += '"';
  return text;
}

std::string HexNumber(uint64_t v, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(v));
  return text;
}

}  // namespace pelorin
