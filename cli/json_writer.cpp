#include "cli/json_writer.h"

#include <cstdio>

namespace pelorin::cli {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 if there is none.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length;
  uint32_t min;
  uint32_t code;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, min = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, min = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else if (const size_t n = Utf8SequenceLength(text, i); n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out + "\"";
}

void JsonLine::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ", ";
  text_ += JsonQuote(key);
  text_ += ": ";
}

JsonLine& JsonLine::Add(std::string_view key, std::string_view text) {
  Key(key);
  text_ += JsonQuote(text);
  return *this;
}

JsonLine& JsonLine::Add(std::string_view key, int64_t number) {
  Key(key);
  text_ += std::to_string(number);
  return *this;
}

}  // namespace pelorin::cli
