#include "cli/json_writer.h"

#include <cstdio>

#include "pipeline/text_encoding.h"

namespace pelorin::cli {

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
