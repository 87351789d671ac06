#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kivra/kivra_writer.h"

namespace pelorin {

// The variant 0 file, the one the application writes: "CNTI" with the texts as tags and two
// check codes, then one "ATR" track that plays the whole ADPCM clip once.
class KivraWriterV0 : public KivraWriter {
 public:
  static constexpr int32_t kMaxTicks = 16510;  // 66.04 s; N + 1 must fit the short form
  static constexpr int32_t kMaxShortNumber = 16511;
  static constexpr int64_t kCapMs = 66040;
  static constexpr size_t kTagBudget = 256;  // UTF-8 bytes of one tag's text (code 0x23)

  void Build(const ContentInfo* info, const PcmFormat& format, std::vector<uint8_t>& adpcm,
             std::vector<uint8_t>& out) override;

  // Appends "NM:text," for a non-empty text, nothing for an empty one. text is one field of
  // capacity bytes: the text ends at its first 0 or at the end of the field.
  static void AppendTag(std::vector<uint8_t>& out, const char (&name)[3], const char* text,
                        size_t capacity, uint8_t textCode);
  // v as one byte (0 to 127) or two bytes (128 to 16511); v is clamped to that range.
  static void AppendShortNumber(std::vector<uint8_t>& out, int32_t v);
  // frameCount / sampleRate x 1000.0 in double, truncated toward zero. Out-of-range inputs
  // (never produced) saturate instead of converting undefinedly: a negative quotient gives 0,
  // one of 2^31 or more gives INT32_MAX; a rate of 0 gives INT32_MAX, or 0 without frames.
  static int32_t PlayingMs(const PcmFormat& format);

 private:
  static void BuildInfoChunk(const ContentInfo& info, std::vector<uint8_t>& chunk, size_t& p0,
                             size_t& p2);
  static void BuildTrackChunk(int32_t code, const PcmFormat& format, std::vector<uint8_t>& adpcm,
                              std::vector<uint8_t>& chunk);
  static void BuildSeekChunk(uint32_t start, uint32_t stop, std::vector<uint8_t>& chunk);
  static void BuildSequenceChunk(int32_t ticks, std::vector<uint8_t>& chunk);
  static void BuildWaveChunk(const std::vector<uint8_t>& adpcm, std::vector<uint8_t>& chunk);
};

}  // namespace pelorin
