#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pelorin {

// Bytes as text for people: printable ASCII as it is, any other byte and '"' and '\' as \xNN,
// so that an id like "ATR" + 0x00 reads ATR\x00.
std::string PrintableBytes(std::span<const uint8_t> bytes);
// The same for text held in a string, in double quotes: "fmt ".
std::string Quoted(std::string_view bytes);
// v in upper-case hexadecimal with at least `digits` digits: 0x0A.
std::string HexNumber(uint64_t v, int digits);

}  // namespace pelorin
