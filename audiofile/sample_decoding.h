#pragma once

#include <cstdint>

#include "audiofile/chunk_walker.h"

namespace pelorin {

// How one sample's bytes become a signed 16-bit value.
enum class SampleEncoding {
  kUnsigned8,  // centred: (byte - 128) * 256
  kSigned8,    // byte as signed, * 256
  kSigned16LE,
  kSigned16BE,
  kSigned24BE,  // upper 16 bits
  kSigned32BE,  // upper 16 bits
};

// Reads up to frames frames of channels samples each from the walker's current chunk, as
// the per-sample reads would: stops at the first byte that cannot be read. Samples complete
// before that point are stored; returns the number of complete frames.
int32_t ReadSampleRun(ChunkWalker& walker, SampleEncoding encoding, int bytesPerSample,
                      int channels, int16_t* dst, int32_t frames);

}  // namespace pelorin
