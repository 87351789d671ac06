#include "kivra/kivra_writer_v0.h"

#include <algorithm>

#include "kivra/byte_array.h"

namespace pelorin {
namespace {

// The two-letter tags of the text fields, in file order; fields 9 and 10 have none.
struct TagField {
  char name[3];
  int field;
};
constexpr TagField kTags[] = {{"VN", 0}, {"CN", 1}, {"CA", 2}, {"ST", 3},  {"AN", 4}, {"WW", 5},
                              {"SW", 6}, {"AW", 7}, {"CR", 8}, {"CD", 11}, {"UD", 12}};

constexpr uint8_t kComma = 0x2C;
constexpr uint8_t kBackslash = 0x5C;

// Text codes 0, 1 and 2: the bytes as they are, "," and "\" escaped with "\". Bytes are taken
// one at a time, never as the pair of a double-byte character, so every "," and "\" byte is
// escaped, also the second byte of a CP932 character.
void AppendRawText(std::vector<uint8_t>& out, const uint8_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == kComma || text[i] == kBackslash) out.push_back(kBackslash);
    out.push_back(text[i]);
  }
}

// Text code 0x23: each byte is the Latin-1 character of the same value, written as UTF-8
// within a budget of 256 bytes; the escapes are not counted. The first character that does
// not fit ends the text.
void AppendUtf8Text(std::vector<uint8_t>& out, const uint8_t* text, size_t length) {
  size_t w = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint32_t c = text[i];
    if (c <= 0x7F) {
      if (w + 1 > KivraWriterV0::kTagBudget) return;
      if (c == kComma || c == kBackslash) {
        if (w + 2 > KivraWriterV0::kTagBudget) return;
        out.push_back(kBackslash);
      }
      out.push_back(static_cast<uint8_t>(c));
      w += 1;
    } else {  // 0x80 to 0xFF: two bytes
      if (w + 2 > KivraWriterV0::kTagBudget) return;
      out.push_back(static_cast<uint8_t>(0xC0 | (c >> 6)));
      out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
      w += 2;
    }
  }
}

}  // namespace

void KivraWriterV0::Build(const ContentInfo* info, const PcmFormat& format,
                          std::vector<uint8_t>& adpcm, std::vector<uint8_t>& out) {
  static const ContentInfo kNoInfo{};
  std::vector<uint8_t> infoChunk;
  size_t p0 = 0;
  size_t p2 = 0;
  BuildInfoChunk(info != nullptr ? *info : kNoInfo, infoChunk, p0, p2);
  PatchU16BE(infoChunk, p2, CheckCode(infoChunk));  // both placeholders still read "00"
  std::vector<uint8_t> track;
  BuildTrackChunk(kTick4Ms, format, adpcm, track);
  PatchU16BE(infoChunk, p0, CheckCode(track));
  AssembleFile(out, {&infoChunk, &track});
}

void KivraWriterV0::AppendTag(std::vector<uint8_t>& out, const char (&name)[3], const char* text,
                              size_t capacity, uint8_t textCode) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  const size_t length = std::find(bytes, bytes + capacity, 0) - bytes;
  if (length == 0) return;
  AppendBytes(out, name, 2);
  out.push_back(':');
  if (textCode <= 2) {
    AppendRawText(out, bytes, length);
  } else if (textCode == 0x23) {
    AppendUtf8Text(out, bytes, length);
  }
  out.push_back(kComma);
}

void KivraWriterV0::AppendShortNumber(std::vector<uint8_t>& out, int32_t v) {
  v = std::clamp(v, 0, kMaxShortNumber);
  if (v < 128) {
    out.push_back(static_cast<uint8_t>(v));
    return;
  }
  out.push_back(static_cast<uint8_t>(((v - 128) >> 7) | 0x80));
  out.push_back(static_cast<uint8_t>((v - 128) & 0x7F));
}

int32_t KivraWriterV0::PlayingMs(const PcmFormat& format) {
  // A rate of 0 (never produced) reads as an endless clip, or as none when it has no frames;
  // the double division is not left to divide by zero.
  if (format.sampleRate == 0) return format.frameCount > 0 ? INT32_MAX : 0;
  const double ms =
      static_cast<double>(format.frameCount) / static_cast<double>(format.sampleRate) * 1000.0;
  if (!(ms >= 0.0)) return 0;  // negative
  if (ms >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(ms);
}

void KivraWriterV0::BuildInfoChunk(const ContentInfo& info, std::vector<uint8_t>& chunk, size_t& p0,
                                   size_t& p2) {
  BeginChunk(chunk, kInfoChunk);
  const uint8_t header[] = {0x00, 0x01, info.textCode, static_cast<uint8_t>(info.flags & 0x03),
                            0x00};
  AppendBytes(chunk, header, sizeof header);
  AppendBytes(chunk, "Z3:\0,", 5);
  for (const TagField& tag : kTags) {
    AppendTag(chunk, tag.name, info.text[tag.field], ContentInfo::kTextSize, info.textCode);
  }
  AppendBytes(chunk, "A0:QN2100,", 10);
  p0 = chunk.size() - 3;
  AppendBytes(chunk, "A2:QN2100,", 10);
  p2 = chunk.size() - 3;
  PatchChunkLength(chunk);
}

void KivraWriterV0::BuildTrackChunk(int32_t code, const PcmFormat& format,
                                    std::vector<uint8_t>& adpcm, std::vector<uint8_t>& chunk) {
  BeginChunk(chunk, kAudioTrackChunk);
  AppendU16BE(chunk, 0x0000);
  if (format.sampleRate == 4000) AppendU16BE(chunk, 0x1000);
  if (format.sampleRate == 8000) AppendU16BE(chunk, 0x1100);
  chunk.push_back(static_cast<uint8_t>(code));
  chunk.push_back(static_cast<uint8_t>(code));

  int32_t ticks = MsToTicks(PlayingMs(format), code);
  if (ticks > kMaxTicks) {
    ticks = kMaxTicks;
    // 66.04 s of one 4-bit code per sample. 64-bit, so that no rate overflows; a negative rate
    // (never produced) empties the array.
    const int64_t p = int64_t{format.sampleRate} * kCapMs / 1000 / 2;
    adpcm.resize(static_cast<size_t>(std::max<int64_t>(p, 0)));
  }
  std::vector<uint8_t> sequence;
  BuildSequenceChunk(ticks, sequence);
  // The stop value is the offset of the sequence body's four closing zero bytes.
  BuildSeekChunk(0, static_cast<uint32_t>(sequence.size() - 12), chunk);
  chunk.insert(chunk.end(), sequence.begin(), sequence.end());
  // The wave chunk is written straight into the track (it is the last sub-chunk), which gives
  // the same bytes as building it apart and saves a copy of the audio.
  BuildWaveChunk(adpcm, chunk);
  PatchChunkLength(chunk);
}

void KivraWriterV0::BuildSeekChunk(uint32_t start, uint32_t stop, std::vector<uint8_t>& chunk) {
  AppendBytes(chunk, kSeekChunk);
  AppendU32BE(chunk, 16);  // the body always has 16 bytes: not patched
  AppendBytes(chunk, "st:", 3);
  AppendU32BE(chunk, start);
  chunk.push_back(kComma);
  AppendBytes(chunk, "sp:", 3);
  AppendU32BE(chunk, stop);
  chunk.push_back(kComma);
}

void KivraWriterV0::BuildSequenceChunk(int32_t ticks, std::vector<uint8_t>& chunk) {
  BeginChunk(chunk, kAudioSequenceChunk);
  const uint8_t head[] = {0x01, 0x00, 0x37, 0x7F, 0x01, 0x01};
  AppendBytes(chunk, head, sizeof head);
  AppendShortNumber(chunk, ticks);
  AppendShortNumber(chunk, ticks + 1);
  const uint8_t tail[] = {0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
  AppendBytes(chunk, tail, sizeof tail);
  PatchChunkLength(chunk);
}

void KivraWriterV0::BuildWaveChunk(const std::vector<uint8_t>& adpcm, std::vector<uint8_t>& chunk) {
  AppendBytes(chunk, kAudioWaveChunk);
  AppendU32BE(chunk, static_cast<uint32_t>(adpcm.size()));
  chunk.insert(chunk.end(), adpcm.begin(), adpcm.end());
}

}  // namespace pelorin
