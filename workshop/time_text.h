#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

// A time as the user typed it: seconds ("12.5") or a clock ("1:05.25", "1:02:03"). Kept in
// whole nanoseconds so that a typed time lands on the same frame at every rate.
struct TypedTime {
  int64_t nanoseconds = 0;  // negative for a time typed with a leading '-'

  int64_t Milliseconds() const { return nanoseconds / 1'000'000; }
  // The frame nearest to the time at a rate (half a frame rounds away from zero).
  int64_t Frames(int32_t rate) const;
};

// The time of a text, or nothing when it is none: digits with at most nine decimals, as seconds
// or as m:ss / h:mm:ss (seconds and minutes after a colon below 60), an optional leading '-',
// at most 100000 hours.
std::optional<TypedTime> ParseTime(std::string_view text);

// A frame position as a clock to the millisecond, trailing zeros dropped: "0:45", "1:06.04",
// "1:02:03.5".
std::string ClockText(int64_t frames, int32_t rate);

// A number with at most `decimals` decimals, trailing zeros dropped, in every locale with a
// decimal point: "212.4", "1", "-16", "0.25". Negative numbers take the minus sign "−" when
// typographic is set.
std::string NumberText(double value, int decimals, bool typographic = false);

}  // namespace pelorin
