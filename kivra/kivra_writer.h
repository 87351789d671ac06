#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "audiofile/pcm_format.h"
#include "kivra/content_info.h"

namespace pelorin {

// Builds a complete file image. The engine makes one builder per encode, calls Build once on
// an empty output array and destroys it.
class FileBuilder {
 public:
  FileBuilder() = default;
  virtual ~FileBuilder() = default;
  FileBuilder(const FileBuilder&) = delete;
  FileBuilder& operator=(const FileBuilder&) = delete;

  // Appends the whole image to out. reserved is not read; info is read by variant 0 only (a
  // null info reads as an all-zero block); format is read only; variant 0 may shorten or
  // lengthen adpcm in place. Always 0. Memory exhaustion propagates as std::bad_alloc.
  virtual int32_t Build(int32_t reserved, const ContentInfo* info, const PcmFormat& format,
                        std::vector<uint8_t>& adpcm, std::vector<uint8_t>& out) = 0;
};

// What the KIVRA variants share: the file checksum, the check codes, ticks, file assembly.
class KivraWriter : public FileBuilder {
 public:
  static constexpr int32_t kTick4Ms = 2;  // the tick-length code every writer uses

  // CRC-16/GENIBUS of every byte (writer/crc16.h).
  static uint16_t Crc16(std::span<const uint8_t> bytes);
  // The two upper-case hex digits of nibbles 2 and 0 of (Crc16(chunk) XOR 0x3E57), the first
  // in the high byte: the code is stored with PatchU16BE (writer/crc16.h).
  static uint16_t CheckCode(std::span<const uint8_t> chunk);
  // ms in ticks of the code's length (2: 4 ms, 3: 5 ms, 16: 10 ms, 17: 20 ms), rounded up;
  // -1 for a negative ms or another code. Exact for every ms up to INT32_MAX.
  static int32_t MsToTicks(int32_t ms, int32_t code);

 protected:
  // Appends the identifier's four bytes and a length placeholder of four zero bytes.
  static void BeginChunk(std::vector<uint8_t>& chunk, const char (&id)[5]);
  // Patches the length field of the chunk that starts the array: its length - 8.
  static void PatchChunkLength(std::vector<uint8_t>& chunk);
  // Appends one complete file to out: "MMMD", the length (image length - 8), the chunks in
  // the given order, and the Crc16 of all preceding bytes of the image.
  static void AssembleFile(std::vector<uint8_t>& out,
                           std::initializer_list<const std::vector<uint8_t>*> chunks);
};

}  // namespace pelorin
