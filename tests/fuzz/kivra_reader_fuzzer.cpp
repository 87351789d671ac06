#include <cstddef>
#include <cstdint>
#include <span>

#include "writer/kivra_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const pelorin::KivraReport report = pelorin::ReadKivra(std::span(data, size));
  // A sound report promises the data lies within the file; hold it to that.
  if (report.Sound()) {
    if (!report.adpcmOffset || *report.adpcmOffset > size ||
        report.adpcmLength > size - *report.adpcmOffset)
      __builtin_trap();
  }
  for (const pelorin::KivraChunk& chunk : report.chunks)
    if (chunk.offset > size) __builtin_trap();
  return 0;
}
