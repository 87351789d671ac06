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

  // Does not read info; leaves adpcm unchanged. The result of BuildDataChunk, 0.
  int32_t Build(int32_t reserved, const ContentInfo* info, const PcmFormat& format,
                std::vector<uint8_t>& adpcm, std::vector<uint8_t>& out) override;

  uint8_t ContentClass() const { return contentClass_; }
  uint8_t TrackNumber() const { return trackNumber_; }
  int32_t TickCount() const { return tickCount_; }

  // (frameCount x 1000) / sampleRate, truncating, in 64 bits: the same value as the original
  // 32-bit product wherever that did not overflow (clips up to about 268 s at 8000 Hz), and
  // the true value beyond. Never more than INT32_MAX for any frameCount at 1000 Hz or more;
  // for lower rates (never produced) it saturates at INT32_MAX. A negative result or a rate
  // of 0 (never produced) gives 0.
  static int32_t PlayingMs(const PcmFormat& format);

 protected:
  // Slots 2, 3 and 4, run in the order info, track, data; each builds its chunk into a new
  // array and returns 0. BuildDataChunk reports the positions of the track check ("A0") and
  // info check ("A2") placeholders; BuildTrackChunk sets tickCount_.
  virtual int32_t BuildInfoChunk(std::vector<uint8_t>& chunk);
  virtual int32_t BuildDataChunk(std::vector<uint8_t>& chunk, size_t& p0, size_t& p2);
  virtual int32_t BuildTrackChunk(int32_t code, const PcmFormat& format,
                                  const std::vector<uint8_t>& adpcm, std::vector<uint8_t>& chunk);

  uint8_t contentClass_ = 0x32;  // '2'
  uint8_t trackNumber_ = 5;
  int32_t tickCount_ = -1;  // N, once BuildTrackChunk has run

 private:
  static void BuildSetupChunk(std::vector<uint8_t>& chunk);
  static void BuildSequenceChunk(int32_t ticks, std::vector<uint8_t>& chunk);
  static void BuildStreamChunk(const std::vector<uint8_t>& adpcm, const PcmFormat& format,
                               std::vector<uint8_t>& chunk);
};

}  // namespace pelorin
