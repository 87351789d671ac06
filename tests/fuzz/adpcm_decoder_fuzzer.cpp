#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/adpcm_decoder.h"
#include "kivra/crc16.h"
#include "kivra/kivra_reader.h"

namespace {

// Mutated files nearly always fail their length, check codes and checksum, which keeps the
// decoding out of reach: write the values the reader computed in, as the writer would.
std::vector<uint8_t> Repaired(std::span<const uint8_t> file, const pelorin::KivraReport& report) {
  std::vector<uint8_t> copy(file.begin(), file.end());
  auto put16 = [&](size_t at, uint64_t v) {
    copy[at] = static_cast<uint8_t>(v >> 8);
    copy[at + 1] = static_cast<uint8_t>(v);
  };
  // The code follows "NN:QN21" in variant 0 and "NN", a length and "Qn21" in the others.
  const size_t codeAt = report.variant == 0 ? 7 : 8;
  for (const pelorin::KivraTag& tag : report.tags) {
    const pelorin::KivraCheck& check = tag.name == "A0" ? report.trackCode : report.infoCode;
    if ((tag.name == "A0" || tag.name == "A2") && check.present &&
        tag.offset + codeAt + 2 <= copy.size())
      put16(tag.offset + codeAt, check.computed);
  }
  if (copy.size() < 10) return copy;
  const uint64_t length = copy.size() - 8;
  put16(4, length >> 16);
  put16(6, length);
  put16(copy.size() - 2, pelorin::Crc16(std::span(copy).first(copy.size() - 2)));
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = std::span(data, size);
  const std::vector<uint8_t> repaired = Repaired(file, pelorin::ReadKivra(file));
  const pelorin::KivraReport report = pelorin::ReadKivra(repaired);
  if (report.Sound()) {
    if (report.channels != 1 && report.channels != 2) __builtin_trap();
    pelorin::DecodeAdpcm(std::span(repaired).subspan(*report.adpcmOffset, report.adpcmLength),
                         report.channels);
  }
  // The decoder on its own over raw codes, bounded, in both layouts: every code sequence must
  // keep its arithmetic and table lookups in range.
  const size_t count = std::min<size_t>(size, 1 << 16);
  std::vector<int16_t> pcm(2 * count);
  pelorin::AdpcmDecoder decoder;
  decoder.Reset();
  decoder.Decode(data, pcm.data(), static_cast<int32_t>(2 * count));
  pelorin::DecodeAdpcm(file.first(count), 2);
  return 0;
}
