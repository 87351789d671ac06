#include <gtest/gtest.h>

#include <vector>

#include "audiofile/aiff_reader.h"
#include "audiofile/extended_float.h"
#include "audiofile/memory_stream.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using namespace test;

struct Parsed {
  explicit Parsed(const Bytes& image)
      : bytes(image), stream(bytes.data(), int32_t(bytes.size())), reader(stream) {}
  Bytes bytes;
  MemoryStream stream;
  AiffReader reader;
  const SourceFormat& f() const { return reader.Format(); }
};

Bytes Form(std::initializer_list<Bytes> chunks, std::string_view type = "AIFF") {
  Bytes form;
  PutTag(form, type);
  for (const Bytes& c : chunks) Append(form, c);
  return ChunkBE("FORM", form);
}

Bytes Comm(uint32_t channels, uint32_t frames, uint32_t bits, uint32_t rate = 44100) {
  return ChunkBE("COMM", CommBody(channels, frames, bits, Extended80(rate)));
}

TEST(ExtendedFloat, DecodesRatesAndRefusesInfinity) {
  auto decode = [](Bytes b) { return DecodeExtended80(b.data()); };
  EXPECT_EQ(decode({0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), 44100.0);
  EXPECT_EQ(decode({0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0}), 8000.0);
  EXPECT_EQ(decode({0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}), 1.0);
  EXPECT_EQ(decode({0x40, 0x1E, 0x80, 0, 0, 0, 0, 0, 0, 0}), 2147483648.0);
  EXPECT_EQ(decode({0x40, 0x0B, 0xFA, 0x04, 0, 0, 0, 0, 0, 0}), 8000.5);
  EXPECT_EQ(decode({0xC0, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0}), -8000.0);
  EXPECT_EQ(decode({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0.0);
  EXPECT_FALSE(decode({0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(AiffReader, ChunkOrderDoesNotMatter) {
  const Bytes sound = Pcm16BE({1, -1, 300, -300});
  const Bytes comm = Comm(2, 2, 16);
  const Bytes ssnd = ChunkBE("SSND", SsndBody(sound));
  for (const Bytes& image : {Form({comm, ssnd}), Form({ssnd, ChunkBE("COMT", {1, 2, 3}), comm})}) {
    Parsed p(image);
    EXPECT_EQ(p.f().channels, 2);
    EXPECT_EQ(p.f().bitsPerSample, 16);
    EXPECT_EQ(p.f().blockAlign, 4);
    EXPECT_EQ(p.f().sampleRate, 44100);
    EXPECT_EQ(p.f().frameCount, 2);
    EXPECT_EQ(p.f().dataBytes, 8);
    int16_t out[4];
    ASSERT_EQ(p.reader.Read(out, 4), 2);
    EXPECT_EQ(out[2], 300);
    EXPECT_EQ(out[3], -300);
  }
}

TEST(AiffReader, SoundOffsetIsSkipped) {
  Parsed p(Form({Comm(1, 2, 16), ChunkBE("SSND", SsndBody(Pcm16BE({7, 8}), 4))}));
  EXPECT_EQ(p.reader.SoundStart(), 12);
  EXPECT_EQ(p.f().dataOffset, 12 + 26 + 8 + 12);
  int16_t out[2];
  ASSERT_EQ(p.reader.Read(out, 2), 2);
  EXPECT_EQ(out[0], 7);
  ASSERT_EQ(p.reader.SeekFrame(1), 0);
  ASSERT_EQ(p.reader.Read(out, 1), 1);
  EXPECT_EQ(out[0], 8);
  ASSERT_EQ(p.reader.Rewind(), 0);
  ASSERT_EQ(p.reader.Read(out, 1), 1);
  EXPECT_EQ(out[0], 7);
}

TEST(AiffReader, RejectsWhatItCannotRead) {
  const Bytes ssnd = ChunkBE("SSND", SsndBody(Bytes(8)));
  Bytes comm17 = CommBody(1, 4, 16, Extended80(8000));
  comm17.pop_back();
  Bytes halfRate = CommBody(1, 4, 16, {0x3F, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0});
  Bytes negativeRate = CommBody(1, 4, 16, {0xC0, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0});
  Bytes tooFastRate = CommBody(1, 4, 16, {0x40, 0x1E, 0x80, 0, 0, 0, 0, 0, 0, 0});
  // What is refused, and the reason: its category, the offset it names (-1: none) and a part of
  // its sentence. COMM's fields start at 20, SSND's at 46.
  struct Case {
    const char* what;
    Bytes image;
    RefusalCategory category;
    int64_t offset;
    const char* text;
  };
  using enum RefusalCategory;
  const Case rejected[] = {
      {"empty", {}, kContainer, 0, "not an AIFF file"},
      {"form type AIFC", Form({Comm(1, 4, 16), ssnd}, "AIFC"), kContainer, 8, "form type AIFC"},
      {"FORM not first", Concat({ChunkBE("JUNK", {0, 0}), Form({Comm(1, 4, 16), ssnd})}),
       kContainer, 0, "not an AIFF file"},
      {"COMM of 17 bytes", Form({ChunkBE("COMM", comm17), ssnd}), kContainer, 16,
       "has 17 bytes, not 18"},
      {"no channels", Form({Comm(0, 4, 16), ssnd}), kChannels, 20, "0 channels"},
      {"sample size 0", Form({Comm(1, 4, 0), ssnd}), kEncoding, 26, "sample size of 0 bits"},
      {"sample size 33", Form({Comm(1, 4, 33), ssnd}), kEncoding, 26, "sample size of 33 bits"},
      {"rate 0.5", Form({ChunkBE("COMM", halfRate), ssnd}), kRate, 28, "0.5 Hz"},
      {"negative rate", Form({ChunkBE("COMM", negativeRate), ssnd}), kRate, 28, "-8000 Hz"},
      {"rate 2^31", Form({ChunkBE("COMM", tooFastRate), ssnd}), kRate, 28, "2.14748e+09 Hz"},
      {"SSND one byte short", Form({Comm(1, 9, 8), ssnd}), kContainer, 42,
       "holds 8 bytes of sound; 9 frames need 9"},
      {"no SSND", Form({Comm(1, 4, 16)}), kContainer, -1, "no \"SSND\" chunk"},
      {"frames of 2^31", Form({Comm(1, 0x80000000u, 16), ssnd}), kSize, 22, "2^31 frames"},
      {"sound size beyond 32 bits", Form({Comm(2, 0x40000000u, 16), ssnd}), kSize, 22,
       "make 4294967296 bytes of sound"},
  };
  for (const Case& c : rejected) {
    SCOPED_TRACE(c.what);
    Parsed p(c.image);
    EXPECT_EQ(p.f().channels, 0);
    int16_t out[2];
    EXPECT_EQ(p.reader.Read(out, 1), -1);
    EXPECT_EQ(p.reader.Why().category, c.category);
    EXPECT_EQ(p.reader.Why().offset, c.offset);
    EXPECT_NE(p.reader.Why().text.find(c.text), std::string::npos) << p.reader.Why().text;
  }
}

TEST(AiffReader, OddSampleSizesParseWithTheirWidth) {
  Parsed twelve(Form({Comm(1, 4, 12), ChunkBE("SSND", SsndBody(Bytes(8)))}));
  EXPECT_EQ(twelve.f().channels, 1);
  EXPECT_EQ(twelve.f().bytesPerSample, 2);
  Parsed rate(Form({ChunkBE("COMM", CommBody(1, 4, 16, {0x40, 0x0B, 0xFA, 0x04, 0, 0, 0, 0, 0, 0})),
                    ChunkBE("SSND", SsndBody(Bytes(8)))}));
  EXPECT_EQ(rate.f().sampleRate, 8000);
}

TEST(AiffReader, SamplesOfEveryWidthKeepTheirTop16Bits) {
  struct Case {
    uint32_t bits;
    Bytes sound;
    std::vector<int16_t> expected;
  };
  const Case cases[] = {
      {8, {0x00, 0x7F, 0x80, 0xFF}, {0, 32512, -32768, -256}},
      {16, {0x80, 0x00, 0x7F, 0xFF}, {-32768, 32767}},
      {24, {0x12, 0x34, 0x56, 0xFE, 0xDC, 0xBA}, {0x1234, int16_t(0xFEDC)}},
      {32, {0x12, 0x34, 0x56, 0x78, 0x80, 0x00, 0x00, 0x01}, {0x1234, -32768}},
  };
  for (const Case& c : cases) {
    const uint32_t frames = uint32_t(c.expected.size());
    Parsed p(Form({Comm(1, frames, c.bits), ChunkBE("SSND", SsndBody(c.sound))}));
    std::vector<int16_t> out(frames + 1);
    EXPECT_EQ(p.reader.Read(out.data(), int32_t(frames) + 1), int32_t(frames)) << c.bits;
    out.pop_back();
    EXPECT_EQ(out, c.expected) << c.bits;
  }
}

TEST(AiffReader, FormLongerThanTheImageReadsWhatIsThere) {
  Bytes image = Form({Comm(1, 4, 16), ChunkBE("SSND", SsndBody(Pcm16BE({1, 2, 3, 4})))});
  image.erase(image.end() - 3, image.end());  // the last sample and a half are missing
  Parsed p(image);
  ASSERT_EQ(p.f().channels, 1);
  int16_t out[4] = {0, 0, 0, 0};
  EXPECT_EQ(p.reader.Read(out, 4), 2);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[2], 0);
}

}  // namespace
}  // namespace pelorin
