#pragma once

#include <cstdint>
#include <optional>

namespace pelorin {

// Decodes a big-endian 80-bit extended float (sign, 15-bit exponent, 64-bit mantissa with an
// explicit integer bit). Infinity and not-a-number have no value.
std::optional<double> DecodeExtended80(const uint8_t bytes[10]);

}  // namespace pelorin
