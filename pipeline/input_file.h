#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

enum class InputKind { kWav, kAiff };

// The input's kind from its extension: ".wav" or ".aif" in any letter case, taken after the
// last dot of the file-name component. Anything else (".aiff", ".mmf", none) is refused.
std::optional<InputKind> InputKindFromName(std::string_view path);

// The input's kind from its first bytes: a RIFF "WAVE" or a "FORM" "AIFF"/"AIFC" header, as the
// command line decides, whatever the file's name.
std::optional<InputKind> InputKindFromContent(std::span<const uint8_t> image);

// The whole content of a regular file, or nothing when it cannot be opened, is not a regular
// file, is too large for a signed 32-bit length or for the memory left, or gives fewer bytes than
// its length.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path);

}  // namespace pelorin
