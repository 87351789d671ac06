#include "pipeline/input_file.h"

#include "audiofile/large_buffer.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

namespace pelorin {
namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<InputKind> InputKindFromName(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view extension = name.substr(dot);
  // Multi-byte UTF-8 sequences never contain ASCII bytes, so a byte-wise comparison is safe.
  if (EqualsIgnoringAsciiCase(extension, ".wav")) return InputKind::kWav;
  if (EqualsIgnoringAsciiCase(extension, ".aif")) return InputKind::kAiff;
  return std::nullopt;
}

std::optional<InputKind> InputKindFromContent(std::span<const uint8_t> image) {
  if (image.size() < 12) return std::nullopt;
  const std::string_view head(reinterpret_cast<const char*>(image.data()), 12);
  if (head.starts_with("RIFF") && head.substr(8) == "WAVE") return InputKind::kWav;
  if (head.starts_with("FORM") && (head.substr(8) == "AIFF" || head.substr(8) == "AIFC"))
    return InputKind::kAiff;
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > static_cast<std::uintmax_t>(INT32_MAX)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  // A file larger than the memory left cannot be read whole; that must not end the program.
  std::vector<uint8_t> bytes;
  try {
    ReserveLarge(bytes, static_cast<size_t>(size));
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  // A file that gives fewer bytes than its length was not read whole.
  if (static_cast<std::uintmax_t>(in.gcount()) != size) return std::nullopt;
  return bytes;
}

}  // namespace pelorin
