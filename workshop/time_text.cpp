#include "workshop/time_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace pelorin {
namespace {

constexpr int64_t kNanosPerSecond = 1'000'000'000;
constexpr int64_t kMaxSeconds = int64_t{100'000} * 3600;

// The digits at the front of text as a number below limit, consumed; nothing without digits.
std::optional<int64_t> TakeDigits(std::string_view& text, int64_t limit) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() || value >= limit || text.front() == '-' ||
      text.front() == '+')
    return std::nullopt;
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return value;
}

}  // namespace

int64_t TypedTime::Frames(int32_t rate) const {
  // Whole seconds and the fraction apart, so that no product leaves 64 bits.
  const int64_t magnitude = nanoseconds < 0 ? -nanoseconds : nanoseconds;
  const int64_t frames =
      magnitude / kNanosPerSecond * rate +
      (magnitude % kNanosPerSecond * rate + kNanosPerSecond / 2) / kNanosPerSecond;
  return nanoseconds < 0 ? -frames : frames;
}

std::optional<TypedTime> ParseTime(std::string_view text) {
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  // Up to three fields from the left: h:mm:ss, m:ss or s; fields after a colon take two digits.
  int64_t seconds = 0;
  int fields = 0;
  // ".5" is half a second.
  for (bool whole = !text.starts_with('.'); whole;) {
    const bool follows = fields > 0;
    if (follows && text.size() < 2) return std::nullopt;
    std::string_view field = text;
    const std::optional<int64_t> value = TakeDigits(field, follows ? 60 : kMaxSeconds + 1);
    if (!value || (follows && text.size() - field.size() != 2)) return std::nullopt;
    seconds = seconds * 60 + *value;
    ++fields;
    text = field;
    whole = text.starts_with(':');
    if (whole && fields == 3) return std::nullopt;
    if (whole) text.remove_prefix(1);
  }
  int64_t nanos = 0;
  if (text.starts_with('.')) {
    text.remove_prefix(1);
    if (text.empty() || text.size() > 9) return std::nullopt;
    int64_t scale = kNanosPerSecond;
    for (char c : text) {
      if (c < '0' || c > '9') return std::nullopt;
      scale /= 10;
      nanos += (c - '0') * scale;
    }
    text = {};
  }
  if (!text.empty() || seconds > kMaxSeconds) return std::nullopt;
  const int64_t total = seconds * kNanosPerSecond + nanos;
  return TypedTime{negative ? -total : total};
}

std::string ClockText(int64_t frames, int32_t rate) {
  const long long ms = rate > 0 ? (frames * 1000 + rate / 2) / rate : 0;
  const long long seconds = ms / 1000;
  // Integers only: printf's integer conversions read the same in every locale.
  char text[64];
  int n = seconds >= 3600
              ? std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600,
                              seconds / 60 % 60, seconds % 60)
              : std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  if (ms % 1000 != 0) {
    n += std::snprintf(text + n, sizeof text - size_t(n), ".%03lld", ms % 1000);
    while (text[n - 1] == '0') --n;
  }
  return std::string(text, size_t(n));
}

std::string NumberText(double value, int decimals, bool typographic) {
  char number[64];
  const std::to_chars_result end =
      std::to_chars(number, number + sizeof number, value, std::chars_format::fixed, decimals);
  std::string text(number, end.ptr);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  if (typographic && text.starts_with('-')) text.replace(0, 1, "\u2212");
  return text;
}

}  // namespace pelorin
