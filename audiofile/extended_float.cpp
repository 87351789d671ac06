#include "audiofile/extended_float.h"

#include <cmath>

namespace pelorin {

std::optional<double> DecodeExtended80(const uint8_t bytes[10]) {
  const double sign = (bytes[0] & 0x80) ? -1.0 : 1.0;
  const int exponent = (bytes[0] & 0x7F) * 256 + bytes[1];
  if (exponent == 32767) return std::nullopt;  // infinity or not-a-number
  // The mantissa as a fraction in [0, 1), accumulated from the last byte up; the order of the
  // operations fixes the rounding.
  double fraction = 0.0;
  for (int i = 9; i >= 2; --i) fraction = (fraction + bytes[i]) * (1.0 / 256.0);
  const double scale = std::ldexp(1.0, exponent - 16383);
  return scale * (2.0 * fraction) * sign;
}

}  // namespace pelorin
