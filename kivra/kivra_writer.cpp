#include "kivra/kivra_writer.h"

#include "kivra/byte_array.h"

namespace pelorin {

int32_t KivraWriter::MsToTicks(int32_t ms, int32_t code) {
  int64_t tick;
  switch (code) {
    case 2:
      tick = 4;
      break;
    case 3:
      tick = 5;
      break;
    case 16:
      tick = 10;
      break;
    case 17:
      tick = 20;
      break;
    default:
      return -1;
  }
  if (ms < 0) return -1;
  // (ms + tick - 1) / tick, in 64 bits so that an ms near INT32_MAX cannot overflow.
  return static_cast<int32_t>((int64_t{ms} + tick - 1) / tick);
}

void KivraWriter::BeginChunk(std::vector<uint8_t>& chunk, ChunkId id) {
  AppendBytes(chunk, id);
  AppendU32BE(chunk, 0);
}

void KivraWriter::PatchChunkLength(std::vector<uint8_t>& chunk) {
  PatchU32BE(chunk, 4, static_cast<uint32_t>(chunk.size() - 8));
}

void KivraWriter::AssembleFile(std::vector<uint8_t>& out,
                               std::initializer_list<const std::vector<uint8_t>*> chunks) {
  const size_t start = out.size();  // empty on entry from the engine; kept general
  size_t total = 8 + 2;
  for (const auto* chunk : chunks) total += chunk->size();
  out.reserve(start + total);
  BeginChunk(out, kFileChunk);
  for (const auto* chunk : chunks) out.insert(out.end(), chunk->begin(), chunk->end());
  const size_t length = out.size() - start;  // L
  PatchU32BE(out, start + 4, static_cast<uint32_t>(length - 6));
  AppendU16BE(out, Crc16(out.data() + start, length));
}

}  // namespace pelorin
