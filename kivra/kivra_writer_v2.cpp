#include "kivra/kivra_writer_v2.h"

#include "kivra/byte_array.h"

namespace pelorin {

KivraWriterV2::KivraWriterV2() {
  contentClass_ = 0x34;  // '4'
  trackNumber_ = kVariant2Track;
}

void KivraWriterV2::BuildDataChunk(std::vector<uint8_t>& chunk, size_t& p0, size_t& p2) {
  KivraWriterV1::BuildDataChunk(chunk, p0, p2);
  std::vector<uint8_t> pro;
  BuildProChunk(pro);
  chunk.insert(chunk.end(), pro.begin(), pro.end());
  PatchChunkLength(chunk);  // p0 and p2 lie before the new chunk and keep their values
}

void KivraWriterV2::BuildProChunk(std::vector<uint8_t>& chunk) const {
  AppendBytes(chunk, kProChunk);
  AppendU32BE(chunk, 12);  // fixed body: not patched
  chunk.insert(chunk.end(), 8, 0x00);
  AppendU32BE(chunk, static_cast<uint32_t>(tickCount_));
}

}  // namespace pelorin
