#include "kivra/kivra_writer_v1.h"

#include <algorithm>

#include "kivra/byte_array.h"

namespace pelorin {

void KivraWriterV1::Build(const ContentInfo* /*info*/, const PcmFormat& format,
                          std::vector<uint8_t>& adpcm, std::vector<uint8_t>& out) {
  std::vector<uint8_t> infoChunk;
  BuildInfoChunk(contentClass_, infoChunk);
  // The track comes before the data chunk: the data chunk carries its check code, and
  // variant 2's data chunk its tick count.
  std::vector<uint8_t> track;
  BuildTrackChunk(format, adpcm, track);
  std::vector<uint8_t> data;
  size_t p0 = 0;
  size_t p2 = 0;
  BuildDataChunk(data, p0, p2);
  PatchU16BE(data, p2, CheckCode(data));  // both placeholders still read "00"
  PatchU16BE(data, p0, CheckCode(track));
  AssembleFile(out, {&infoChunk, &data, &track});
}

int32_t KivraWriterV1::PlayingMs(const PcmFormat& format) {
  if (format.sampleRate == 0) return 0;
  const int64_t ms = int64_t{format.frameCount} * 1000 / format.sampleRate;
  return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, INT32_MAX));
}

void KivraWriterV1::BuildInfoChunk(uint8_t contentClass, std::vector<uint8_t>& chunk) {
  AppendBytes(chunk, kInfoChunk);
  AppendU32BE(chunk, 5);  // fixed body: not patched
  const uint8_t body[] = {0x00, contentClass, 0x01, 0xF8, 0x00};
  AppendBytes(chunk, body, sizeof body);
}

void KivraWriterV1::BuildDataChunk(std::vector<uint8_t>& chunk, size_t& p0, size_t& p2) {
  BeginChunk(chunk, kDataChunk);
  AppendBytes(chunk, kDataTagsChunk);
  AppendU32BE(chunk, 25);  // fixed body: not patched
  AppendBytes(chunk, "ES\x00\x01\xF8", 5);
  AppendBytes(chunk, "A0\x00\x06Qn2100", 10);
  p0 = chunk.size() - 2;
  AppendBytes(chunk, "A2\x00\x06Qn2100", 10);
  p2 = chunk.size() - 2;
  PatchChunkLength(chunk);
}

void KivraWriterV1::BuildTrackChunk(const PcmFormat& format, const std::vector<uint8_t>& adpcm,
                                    std::vector<uint8_t>& chunk) {
  AppendBytes(chunk, kMusicTrackPrefix);
  chunk.push_back(trackNumber_);
  AppendU32BE(chunk, 0);
  AppendBytes(chunk, "\x02\x00\x02\x02", 4);
  chunk.insert(chunk.end(), 16, 0x00);
  BuildSetupChunk(chunk);  // fixed length: written in place
  // 4-ms ticks; not limited.
  tickCount_ = MsToTicks(PlayingMs(format), kTick4Ms);
  std::vector<uint8_t> sub;
  BuildSequenceChunk(tickCount_, sub);
  chunk.insert(chunk.end(), sub.begin(), sub.end());
  // The stream chunk is the last: written straight into the track, the same bytes as
  // building it apart, without another copy of the audio.
  BuildStreamChunk(adpcm, format, chunk);
  PatchChunkLength(chunk);
}

void KivraWriterV1::BuildSetupChunk(std::vector<uint8_t>& chunk) {
  AppendBytes(chunk, kSetupChunk);
  AppendU32BE(chunk, 17);
  const uint8_t messages[] = {0xF0, 0x06, 0x43, 0x79, 0x06, 0x7F, 0x7F, 0xF7, 0xF0,
                              0x07, 0x43, 0x79, 0x06, 0x7F, 0x07, 0x01, 0xF7};
  AppendBytes(chunk, messages, sizeof messages);
}

void KivraWriterV1::BuildSequenceChunk(int32_t ticks, std::vector<uint8_t>& chunk) {
  BeginChunk(chunk, kMusicSequenceChunk);
  const uint8_t events[] = {0x00, 0xF0, 0x07, 0x43, 0x79, 0x06, 0x7F, 0x00, 0x64,  // setup
                            0xF7, 0x00, 0xB0, 0x00, 0x7D, 0x00, 0xB0, 0x20, 0x00,  // banks
                            0x00, 0xC0, 0x00, 0x00, 0x90, 0x00, 0x7F};             // note on
  AppendBytes(chunk, events, sizeof events);
  AppendVarLen(chunk, static_cast<uint32_t>(ticks));  // gate time
  AppendVarLen(chunk, static_cast<uint32_t>(ticks));  // delta time of the end of track
  AppendBytes(chunk, "\xFF\x2F\x00", 3);
  PatchChunkLength(chunk);
}

void KivraWriterV1::BuildStreamChunk(const std::vector<uint8_t>& adpcm, const PcmFormat& format,
                                     std::vector<uint8_t>& chunk) {
  const size_t start = chunk.size();
  AppendBytes(chunk, kStreamChunk);
  AppendU32BE(chunk, 0);
  AppendBytes(chunk, kMusicWaveChunk);
  AppendU32BE(chunk, static_cast<uint32_t>(adpcm.size() + 3));
  // The format byte has no value for a channel count other than 1 and 2 (never produced):
  // it is written as for mono, so that the "Mwa" length A + 3 stays true.
  chunk.push_back(format.channels == 2 ? 0xA0 : 0x20);
  AppendU16BE(chunk, static_cast<uint16_t>(format.sampleRate));
  chunk.insert(chunk.end(), adpcm.begin(), adpcm.end());
  PatchU32BE(chunk, start + 4, static_cast<uint32_t>(chunk.size() - start - 8));
}

}  // namespace pelorin
