#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pipeline/string_table.h"

namespace pelorin {

// The legacy code page titles are written in: what the user's language would have used.
enum class TextEncoding { kCp932, kCp1252, kUtf8 };

TextEncoding DefaultTextEncoding(Language language);

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when there is none there.
size_t Utf8SequenceLength(std::string_view text, size_t i);
// "cp932", "cp1252" or "utf-8" (any letter case); nothing for other names.
std::optional<TextEncoding> TextEncodingFromName(std::string_view name);

// Converts UTF-8 text to the encoding, at most maxBytes long. A character the encoding cannot
// hold (or a byte that is not UTF-8) becomes "?"; a text that does not fit is cut before the
// first character that would cross the limit, so a multi-byte character is never split.
std::string EncodeText(std::string_view utf8, TextEncoding encoding, size_t maxBytes);

}  // namespace pelorin
