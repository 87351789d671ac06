#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "audiofile/pcm_format.h"
#include "kivra/chunk_ids.h"
#include "kivra/content_info.h"
#include "kivra/crc16.h"

namespace pelorin {

// Builds a complete file image. The engine makes one builder per encode, calls Build once on
// an empty output array and destroys it.
class FileBuilder {
 public:
  FileBuilder() = default;
  virtual ~FileBuilder() = default;
  FileBuilder(const FileBuilder&) = delete;
  FileBuilder& operator=(const FileBuilder&) = delete;

  // Appends the whole image to out. info is read by variant 0 only (a null info reads as an
  // all-zero block); format is read only; variant 0 may shorten adpcm in place. Memory
  // exhaustion propagates as std::bad_alloc.
  virtual void Build(const ContentInfo* info, const PcmFormat& format, std::vector<uint8_t>& adpcm,
                     std::vector<uint8_t>& out) = 0;
};

// What the KIVRA variants share: the file checksum, the check codes, ticks, file assembly.
class KivraWriter : public FileBuilder {
 public:
  static constexpr int32_t kTick4Ms = 2;  // the tick-length code every writer uses
  // ms in ticks of the code's length (2: 4 ms, 3: 5 ms, 16: 10 ms, 17: 20 ms), rounded up;
  // -1 for a negative ms or another code. Exact for every ms up to INT32_MAX.
  static int32_t MsToTicks(int32_t ms, int32_t code);

 protected:
  // Appends the identifier's four bytes and a length placeholder of four zero bytes.
  static void BeginChunk(std::vector<uint8_t>& chunk, ChunkId id);
  // Patches the length field of the chunk that starts the array: its length - 8.
  static void PatchChunkLength(std::vector<uint8_t>& chunk);
  // Appends one complete file to out: "MMMD", the length (image length - 8), the chunks in
  // the given order, and the Crc16 of all preceding bytes of the image.
  static void AssembleFile(std::vector<uint8_t>& out,
                           std::initializer_list<const std::vector<uint8_t>*> chunks);
};

}  // namespace pelorin
