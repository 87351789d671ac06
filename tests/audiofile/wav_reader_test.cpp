#include <gtest/gtest.h>

#include <vector>

#include "audiofile/memory_stream.h"
#include "audiofile/wav_image_writer.h"
#include "audiofile/wav_reader.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using namespace test;

struct Parsed {
  explicit Parsed(const Bytes& image)
      : bytes(image), stream(bytes.data(), int32_t(bytes.size())), reader(stream) {}
  Bytes bytes;
  MemoryStream stream;
  WavReader reader;
  const SourceFormat& f() const { return reader.Format(); }
};

Bytes RiffWave(const Bytes& chunks) {
  Bytes form;
  PutTag(form, "WAVE");
  Append(form, chunks);
  return ChunkLE("RIFF", form);
}

TEST(WavReader, CanonicalHeaderParses) {
  Parsed p(WavImage(2, 22050, 16, Bytes(4000)));
  EXPECT_EQ(p.f().channels, 2);
  EXPECT_EQ(p.f().bitsPerSample, 16);
  EXPECT_EQ(p.f().bytesPerSample, 2);
  EXPECT_EQ(p.f().blockAlign, 4);
  EXPECT_EQ(p.f().sampleRate, 22050);
  EXPECT_EQ(p.f().dataBytes, 4000);
  EXPECT_EQ(p.f().dataOffset, 44);
  EXPECT_EQ(p.f().frameCount, 1000);
}

TEST(WavReader, ExtraChunksAndFmtExtensionsAreSkipped) {
  Bytes fmt18 = FmtBody(1, 8000, 16, 2);
  PutU16LE(fmt18, 0);
  Parsed p(RiffWave(Concat({ChunkLE("JUNK", {1, 2, 3}), ChunkLE("fmt ", fmt18),
                            ChunkLE("LIST", Bytes(10)), ChunkLE("data", Bytes(4001))})));
  EXPECT_EQ(p.f().channels, 1);
  EXPECT_EQ(p.f().frameCount, 2000);  // the odd trailing byte is no frame
  EXPECT_EQ(p.f().dataOffset, 12 + 12 + 26 + 18 + 8);
}

TEST(WavReader, RejectsWhatItCannotRead) {
  const Bytes fmt = ChunkLE("fmt ", FmtBody(2, 8000, 16, 4));
  const Bytes data = ChunkLE("data", Bytes(8));
  Bytes lowerRiff = RiffWave(Concat({fmt, data}));
  lowerRiff[0] = 'r';
  Bytes notWave = RiffWave(Concat({fmt, data}));
  notWave[8] = 'A';
  Bytes riffTooLong = RiffWave(Concat({fmt, data}));
  riffTooLong[4] += 1;
  // What is refused, and the reason: its category, the offset it names (-1: none) and a part of
  // its sentence.
  struct Case {
    const char* what;
    Bytes image;
    RefusalCategory category;
    int64_t offset;
    const char* text;
  };
  using enum RefusalCategory;
  const Case rejected[] = {
      {"empty", {}, kContainer, 0, "not a WAV file"},
      {"lower-case RIFF", lowerRiff, kContainer, 0, "not a WAV file"},
      {"form type other than WAVE", notWave, kContainer, 8, "form type AAVE, not \"WAVE\""},
      {"RIFF longer than the image", riffTooLong, kContainer, 4,
       "\"RIFF\" chunk declares 45 bytes; the file has 44"},
      {"data before fmt", RiffWave(Concat({data, fmt})), kContainer, -1,
       "no \"data\" chunk in the \"RIFF\" chunk after \"fmt \""},
      {"no data", RiffWave(fmt), kContainer, -1, "no \"data\" chunk"},
      {"float format", RiffWave(Concat({ChunkLE("fmt ", FmtBody(2, 8000, 32, 8, 3)), data})),
       kEncoding, 20, "format tag 0x0003 (floating-point samples); only 1"},
      {"block align not a multiple of channels",
       RiffWave(Concat({ChunkLE("fmt ", FmtBody(2, 8000, 16, 3)), data})), kEncoding, 32,
       "block align 3 is not a multiple of the 2 channels"},
      {"8 bits in 2 bytes", RiffWave(Concat({ChunkLE("fmt ", FmtBody(2, 8000, 8, 4)), data})),
       kEncoding, 34, "8 bits per sample do not fill the 2 bytes"},
      {"no channels", RiffWave(Concat({ChunkLE("fmt ", FmtBody(0, 8000, 16, 0)), data})), kChannels,
       22, "0 channels"},
      {"zero block align", RiffWave(Concat({ChunkLE("fmt ", FmtBody(1, 8000, 0, 0)), data})),
       kEncoding, 32, "block align 0"},
      {"rate of 2^31", RiffWave(Concat({ChunkLE("fmt ", FmtBody(1, 0x80000000u, 16, 2)), data})),
       kRate, 24, "2^31 Hz or more"},
      {"fmt too short for its fields", RiffWave(Concat({ChunkLE("fmt ", {1, 0, 1, 0}), data})),
       kContainer, 16, "the \"fmt \" chunk has 4 bytes"},
  };
  for (const Case& c : rejected) {
    SCOPED_TRACE(c.what);
    Parsed p(c.image);
    EXPECT_EQ(p.f().channels, 0);
    int16_t out[4];
    EXPECT_EQ(p.reader.Read(out, 1), -1);
    EXPECT_EQ(p.reader.Rewind(), -1);
    EXPECT_EQ(p.reader.Why().category, c.category);
    EXPECT_EQ(p.reader.Why().offset, c.offset);
    EXPECT_NE(p.reader.Why().text.find(c.text), std::string::npos) << p.reader.Why().text;
  }
  // A 24-bit file parses; refusing the depth is the engine's business.
  EXPECT_EQ(Parsed(WavImage(1, 8000, 24, Bytes(30))).f().channels, 1);
}

TEST(WavReader, SamplesBecomeSigned16Bit) {
  Parsed eight(WavImage(1, 8000, 8, {0x00, 0x80, 0xFF}));
  int16_t out[4] = {};
  EXPECT_EQ(eight.reader.Read(out, 4), 3);
  EXPECT_EQ(out[0], -32768);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 32512);
  EXPECT_EQ(eight.reader.Read(out, 1), 0);

  Parsed sixteen(WavImage(2, 8000, 16, {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00}));
  int16_t pair[4] = {9, 9, 9, 9};
  EXPECT_EQ(sixteen.reader.Read(pair, 2), 1);  // the second frame is cut short...
  EXPECT_EQ(pair[0], -32768);
  EXPECT_EQ(pair[1], 32767);
  EXPECT_EQ(pair[2], 1);  // ...but its first sample is stored
  EXPECT_EQ(pair[3], 9);
  EXPECT_EQ(sixteen.reader.Read(pair, 0), 0);
}

TEST(WavReader, RewindAndSeekStayInsideTheData) {
  Parsed p(WavImage(1, 8000, 16, Pcm16LE({10, 20, 30})));
  int16_t s[3];
  ASSERT_EQ(p.reader.Read(s, 3), 3);
  ASSERT_EQ(p.reader.Rewind(), 0);
  ASSERT_EQ(p.reader.Read(s, 1), 1);
  EXPECT_EQ(s[0], 10);
  ASSERT_EQ(p.reader.SeekFrame(2), 0);
  ASSERT_EQ(p.reader.Read(s, 3), 1);
  EXPECT_EQ(s[0], 30);
  ASSERT_EQ(p.reader.SeekFrame(INT32_MAX), 0);  // clamped to the end
  EXPECT_EQ(p.reader.Read(s, 1), 0);
  uint8_t raw[4];
  ASSERT_EQ(p.reader.Rewind(), 0);
  EXPECT_EQ(p.reader.ReadBytes(raw, 4), 4);
  EXPECT_EQ(raw[2], 20);
}

TEST(WavImageWriter, WritesTheHeaderAndReadsBack) {
  const std::vector<int16_t> samples = {1, -2, 32767};
  Bytes image;
  WriteWavImage({1, 16, 8000, 6}, samples, image);
  ASSERT_EQ(image.size(), 50u);
  auto u32 = [&](size_t at) {
    return uint32_t(image[at]) | uint32_t(image[at + 1]) << 8 | uint32_t(image[at + 2]) << 16 |
           uint32_t(image[at + 3]) << 24;
  };
  EXPECT_EQ(u32(4), 42u);
  EXPECT_EQ(u32(28), 16000u);
  EXPECT_EQ(image[32], 2);
  EXPECT_EQ(image[34], 16);
  EXPECT_EQ(u32(40), 6u);
  Parsed p(image);
  EXPECT_EQ(p.f().channels, 1);
  EXPECT_EQ(p.f().sampleRate, 8000);
  int16_t back[3];
  ASSERT_EQ(p.reader.Read(back, 3), 3);
  EXPECT_EQ(std::vector<int16_t>(back, back + 3), samples);
}

}  // namespace
}  // namespace pelorin
