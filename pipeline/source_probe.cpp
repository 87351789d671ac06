#include "pipeline/source_probe.h"

#include "audiofile/aiff_reader.h"
#include "audiofile/memory_stream.h"
#include "audiofile/wav_reader.h"

namespace pelorin {

SourceFormat ProbeSourceFormat(InputKind kind, const uint8_t* image, int32_t length) {
  MemoryStream stream(image, length);
  if (kind == InputKind::kAiff) return AiffReader(stream).Format();
  return WavReader(stream).Format();
}

}  // namespace pelorin
