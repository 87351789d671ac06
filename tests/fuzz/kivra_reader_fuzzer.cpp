#include <cstddef>
#include <cstdint>
#include <span>

#include "kivra/kivra_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const pelorin::KivraReport report = pelorin::ReadKivra(std::span(data, size));
  // The decoding trusts the offsets a report gives, and a sound report to give them all.
  if (report.adpcmOffset &&
      (*report.adpcmOffset > size || report.adpcmLength > size - *report.adpcmOffset))
    __builtin_trap();
  if (report.Sound() && (!report.adpcmOffset || report.sampleRate <= 0 || !report.ticks ||
                         (report.channels != 1 && report.channels != 2)))
    __builtin_trap();
  for (const pelorin::KivraChunk& chunk : report.chunks)
    if (chunk.offset > size) __builtin_trap();
  return 0;
}
