#include "input/source_probe.h"

#include "input/aiff_reader.h"
#include "input/memory_stream.h"
#include "input/wav_reader.h"

namespace pelorin {

SourceFormat ProbeSourceFormat(InputKind kind, const uint8_t* image, int32_t length) {
  MemoryStream stream(image, length);
  if (kind == InputKind::kAiff) return AiffReader(stream).Format();
  return WavReader(stream).Format();
}

}  // namespace pelorin
