#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kivra/kivra_writer.h"

namespace pelorin {

// The variant 1 file: a fixed "CNTI" chunk, an "OPDA" data chunk with the two check codes,
// and an "MTR" track that sounds one note for the clip's length with the ADPCM embedded.
// The base of KivraWriterV2, which replaces BuildDataChunk.
class KivraWriterV1 : public KivraWriter {
 public:
  KivraWriterV1() = default;

  // Does not read info; leaves adpcm unchanged.
  void Build(const ContentInfo* info, const PcmFormat& format, std::vector<uint8_t>& adpcm,
             std::vector<uint8_t>& out) override;

  // (frameCount x 1000) / sampleRate, truncating, in 64 bits, so that no clip overflows the
  // product. Never more than INT32_MAX for any frameCount at 1000 Hz or more; for lower rates
  // (never produced) it saturates at INT32_MAX. A negative result or a rate of 0 (never
  // produced) gives 0.
  static int32_t PlayingMs(const PcmFormat& format);

 protected:
  // The data chunk, with the positions of the track check ("A0") and info check ("A2")
  // placeholders; variant 2 adds to it.
  virtual void BuildDataChunk(std::vector<uint8_t>& chunk, size_t& p0, size_t& p2);

  uint8_t contentClass_ = 0x32;  // '2'
  uint8_t trackNumber_ = kVariant1Track;
  int32_t tickCount_ = -1;  // N, once the track chunk is built

 private:
  static void BuildInfoChunk(uint8_t contentClass, std::vector<uint8_t>& chunk);
  // Sets tickCount_.
  void BuildTrackChunk(const PcmFormat& format, const std::vector<uint8_t>& adpcm,
                       std::vector<uint8_t>& chunk);
  static void BuildSetupChunk(std::vector<uint8_t>& chunk);
  static void BuildSequenceChunk(int32_t ticks, std::vector<uint8_t>& chunk);
  static void BuildStreamChunk(const std::vector<uint8_t>& adpcm, const PcmFormat& format,
                               std::vector<uint8_t>& chunk);
};

}  // namespace pelorin
