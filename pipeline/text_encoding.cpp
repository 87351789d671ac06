#include "pipeline/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace pelorin {
namespace {

// One conversion descriptor for the length of one EncodeText call.
class Converter {
 public:
  explicit Converter(const char* target) : cd_(iconv_open(target, "UTF-8")) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // The character in the target encoding, or nothing when it has no such character.
  std::optional<std::string> Convert(std::string_view character) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string in(character);
    char out[16];
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out;
    size_t outLeft = sizeof out;
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
      return std::nullopt;
    return std::string(out, static_cast<size_t>(outPtr - out));
  }

 private:
  iconv_t cd_;
};

}  // namespace

size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint32_t code = 0;
  uint32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not valid UTF-8.
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

TextEncoding DefaultTextEncoding(Language language) {
  return language == Language::kJapanese ? TextEncoding::kCp932 : TextEncoding::kCp1252;
}

std::optional<TextEncoding> TextEncodingFromName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  if (lower == "cp932") return TextEncoding::kCp932;
  if (lower == "cp1252") return TextEncoding::kCp1252;
  if (lower == "utf-8" || lower == "utf8") return TextEncoding::kUtf8;
  return std::nullopt;
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding, size_t maxBytes) {
  std::optional<Converter> converter;
  if (encoding != TextEncoding::kUtf8)
    converter.emplace(encoding == TextEncoding::kCp932 ? "CP932" : "CP1252");
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const size_t length = Utf8SequenceLength(utf8, i);
    std::string encoded = "?";
    if (length > 0) {
      const std::string_view character = utf8.substr(i, length);
      if (!converter) {
        encoded = character;
      } else if (std::optional<std::string> c = converter->Convert(character); c && !c->empty()) {
        encoded = *c;
      }
    }
    if (out.size() + encoded.size() > maxBytes) break;
    out += encoded;
    i += length > 0 ? length : 1;
  }
  return out;
}

}  // namespace pelorin
