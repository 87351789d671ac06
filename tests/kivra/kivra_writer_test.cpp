#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kivra/kivra_writer_v0.h"
#include "kivra/kivra_writer_v1.h"
#include "kivra/kivra_writer_v2.h"
#include "support/kivra_reference.h"

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;
using test::BitwiseCrc;

Bytes Of(std::string_view s) {
  return Bytes(s.begin(), s.end());
}
uint32_t U32(const Bytes& b, size_t at) {
  return uint32_t(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}
size_t Find(const Bytes& b, std::string_view s) {
  return std::search(b.begin(), b.end(), s.begin(), s.end()) - b.begin();
}
Bytes Slice(const Bytes& b, size_t at, size_t n) {
  return Bytes(b.begin() + at, b.begin() + at + n);
}

PcmFormat Format(int32_t rate, int32_t frames, uint16_t channels = 1) {
  PcmFormat f;
  f.channels = channels;
  f.bitsPerSample = 16;
  f.sampleRate = rate;
  f.frameCount = frames;
  return f;
}

// Every file: "MMMD", length = file length - 8, top-level chunks that fill it exactly, and the
// reference CRC of everything before the last two bytes.
void ExpectWellFormed(const Bytes& f) {
  ASSERT_GE(f.size(), 10u);
  EXPECT_EQ(Slice(f, 0, 4), Of("MMMD"));
  EXPECT_EQ(U32(f, 4), f.size() - 8);
  size_t pos = 8;
  while (pos + 8 <= f.size() - 2) pos += 8 + U32(f, pos + 4);
  EXPECT_EQ(pos, f.size() - 2);
  EXPECT_EQ(f[f.size() - 2] << 8 | f[f.size() - 1], BitwiseCrc(f.data(), f.size() - 2));
}

template <class Writer>
Bytes Build(const PcmFormat& format, Bytes& adpcm, const ContentInfo* info = nullptr) {
  Writer writer;
  Bytes out;
  writer.Build(info, format, adpcm, out);
  ExpectWellFormed(out);
  return out;
}

// The expected bytes, with ".." read as '0' (the check-code placeholders read "00").
Bytes FromTable(const char* table) {
  Bytes b;
  std::istringstream in(table);
  for (std::string t; in >> t;) b.push_back(t == ".." ? '0' : uint8_t(std::stoul(t, nullptr, 16)));
  return b;
}

// Fills in the ".." of a table from the rules: the A2 code of [infoBegin, infoEnd) while both
// codes read "00", then the A0 code of [trackBegin, trackEnd), then the checksum.
void Complete(Bytes& f, size_t infoBegin, size_t infoEnd, size_t a2, size_t trackBegin,
              size_t trackEnd, size_t a0) {
  char code[2];
  test::ReferenceCode(f, infoBegin, infoEnd, code);
  std::memcpy(&f[a2], code, 2);
  test::ReferenceCode(f, trackBegin, trackEnd, code);
  std::memcpy(&f[a0], code, 2);
  const uint16_t crc = BitwiseCrc(f.data(), f.size() - 2);
  f[f.size() - 2] = uint8_t(crc >> 8);
  f[f.size() - 1] = uint8_t(crc);
}

// ---------------------------------------------------------------------------- variant 0

TEST(KivraWriterV0, TestVector) {
  Bytes expected = FromTable(R"(
    4d 4d 4d 44 00 00 00 6d 43 4e 54 49 00 00 00 1e
    00 01 02 00 00 5a 33 3a 00 2c 41 30 3a 51 4e 32
    31 .. .. 2c 41 32 3a 51 4e 32 31 .. .. 2c 41 54
    52 00 00 00 00 3d 00 00 11 00 02 02 41 73 70 49
    00 00 00 10 73 74 3a 00 00 00 00 2c 73 70 3a 00
    00 00 0a 2c 41 74 73 71 00 00 00 0e 01 00 37 7f
    01 01 00 01 ff 00 00 00 00 00 41 77 61 01 00 00
    00 01 00 .. ..)");
  ASSERT_EQ(expected.size(), 117u);
  Complete(expected, 8, 46, 43, 46, 115, 33);
  ContentInfo info;
  info.textCode = 2;
  Bytes adpcm{0x00};
  EXPECT_EQ(Build<KivraWriterV0>(Format(8000, 1), adpcm, &info), expected);
}

TEST(KivraWriterV0, EmptyInfoGivesA30ByteBodyAndNullReadsAsAllZero) {
  Bytes adpcm{0x00};
  const ContentInfo zero;
  const Bytes file = Build<KivraWriterV0>(Format(4000, 1), adpcm, &zero);
  EXPECT_EQ(Build<KivraWriterV0>(Format(4000, 1), adpcm), file);
  EXPECT_EQ(U32(file, 12), 30u);
  EXPECT_EQ(Slice(file, 16, 10), Of(std::string_view("\0\1\0\0\0Z3:\0,", 10)));
  EXPECT_EQ(Slice(file, 54, 4), (Bytes{0x00, 0x00, 0x10, 0x00}));  // 4000 Hz rate code

  ContentInfo info;
  info.textCode = 0x23;
  info.flags = 0xFF;  // only bits 0 and 1 are copied
  EXPECT_EQ(Slice(Build<KivraWriterV0>(Format(4000, 1), adpcm, &info), 16, 5),
            (Bytes{0x00, 0x01, 0x23, 0x03, 0x00}));
}

TEST(KivraWriterV0, TwoSecondsAt8kHzMakeAn8138ByteFile) {
  ContentInfo info;
  info.textCode = 2;
  std::strcpy(info.text[ContentInfo::kTitle], "bell");
  std::strcpy(info.text[ContentInfo::kDate], "20240101");
  Bytes adpcm(8000, 0x5A);
  const Bytes file = Build<KivraWriterV0>(Format(8000, 16000), adpcm, &info);
  EXPECT_EQ(file.size(), 8138u);
  EXPECT_EQ(U32(file, 12), 50u);  // 58-byte "CNTI"
  EXPECT_EQ(Slice(file, 26, 20), Of("ST:bell,CD:20240101,"));
  EXPECT_EQ(U32(file, 66 + 4), 8062u);  // 8070-byte "ATR"
  const size_t seq = Find(file, "Atsq");
  EXPECT_EQ(Slice(file, seq + 14, 4), (Bytes{0x82, 0x74, 0x82, 0x75}));  // N 500, 501
}

TEST(KivraWriterV0, AppendTag) {
  struct Case {
    uint8_t textCode;
    std::string text;
    std::string expected;  // after "ST:", before ","
  } cases[] = {
      {2, "Song, 1", "Song\\, 1"},
      {2, "a\\b", "a\\\\b"},
      {1, "\x83\x5C", "\x83\x5C\x5C"},  // every byte singly
      {0, "\xE9", "\xE9"},
      {0x23, "\xE9", "\xC3\xA9"},
      {0x23, "a,b\\", "a\\,b\\\\"},
      {0x23, std::string(200, '\xE9'),
       [] {
         std::string s;
         for (int i = 0; i < 128; ++i) s += "\xC3\xA9";
         return s;
       }()},
      {0x23, std::string(256, ','),
       [] {
         std::string s;
         for (int i = 0; i < 255; ++i) s += "\\,";
         return s;
       }()},
      {0x23, std::string(255, 'x') + "\xE9", std::string(255, 'x')},  // 2 bytes do not fit
      {7, "text", ""},                                                // no text
  };
  for (const Case& c : cases) {
    char field[ContentInfo::kTextSize] = {};
    std::memcpy(field, c.text.data(), c.text.size());
    Bytes out;
    KivraWriterV0::AppendTag(out, "ST", field, sizeof field, c.textCode);
    EXPECT_EQ(out, Of("ST:" + c.expected + ",")) << c.text;
  }
  Bytes out;
  KivraWriterV0::AppendTag(out, "CR", "", 1, 2);
  EXPECT_TRUE(out.empty());
  // A field without a terminator ends with the field.
  char full[ContentInfo::kTextSize];
  std::memset(full, 'x', sizeof full);
  KivraWriterV0::AppendTag(out, "VN", full, sizeof full, 2);
  EXPECT_EQ(out.size(), 3 + sizeof full + 1);
}

TEST(KivraWriterV0, ShortNumberForm) {
  struct Case {
    int32_t v;
    Bytes bytes;
  } cases[] = {{0, {0x00}},          {127, {0x7F}},       {128, {0x80, 0x00}},
               {255, {0x80, 0x7F}},  {256, {0x81, 0x00}}, {16510, {0xFF, 0x7E}},
               {16511, {0xFF, 0x7F}}};
  for (const Case& c : cases) {
    Bytes out;
    KivraWriterV0::AppendShortNumber(out, c.v);
    EXPECT_EQ(out, c.bytes) << c.v;
  }
  // Sequence bodies of 14, 15 and 16 bytes for N = 126, 127, 128; the stop value is body - 4.
  const struct {
    int32_t frames, body;
    Bytes numbers;
  } seqs[] = {{4020, 14, {0x7E, 0x7F}},
              {4060, 15, {0x7F, 0x80, 0x00}},
              {4084, 16, {0x80, 0x00, 0x80, 0x01}}};
  for (const auto& s : seqs) {
    Bytes adpcm(size_t(s.frames) / 2);
    const Bytes file = Build<KivraWriterV0>(Format(8000, s.frames), adpcm);
    const size_t seq = Find(file, "Atsq");
    EXPECT_EQ(U32(file, seq + 4), uint32_t(s.body));
    EXPECT_EQ(U32(file, seq - 5), uint32_t(s.body - 4));
    EXPECT_EQ(Slice(file, seq + 14, s.numbers.size()), s.numbers);
  }
}

TEST(KivraWriterV0, CapsTheClipAt6604Seconds) {
  // 66040 ms exactly: N = 16510, array unchanged.
  Bytes adpcm(264161, 0x11);
  Bytes file = Build<KivraWriterV0>(Format(8000, 528320), adpcm);
  EXPECT_EQ(adpcm.size(), 264161u);
  // 70 s: N = 16510 and exactly 264160 wave bytes, the array shortened in place.
  adpcm.assign(280000, 0x11);
  file = Build<KivraWriterV0>(Format(8000, 560000), adpcm);
  EXPECT_EQ(adpcm, Bytes(264160, 0x11));
  size_t seq = Find(file, "Atsq");
  EXPECT_EQ(Slice(file, seq + 14, 4), (Bytes{0xFF, 0x7E, 0xFF, 0x7F}));
  const size_t wave = Find(file, "Awa\x01");
  EXPECT_EQ(U32(file, wave + 4), 264160u);
  EXPECT_EQ(wave + 8 + 264160, file.size() - 2);
  // Too short an array is lengthened with zeros; 132080 bytes at 4000 Hz.
  adpcm.assign(10, 0x11);
  Build<KivraWriterV0>(Format(4000, 280000), adpcm);
  ASSERT_EQ(adpcm.size(), 132080u);
  EXPECT_EQ(adpcm[9], 0x11);
  EXPECT_EQ(adpcm[10], 0x00);
}

TEST(KivraWriterV0, AbsurdFormatsStayDefined) {
  EXPECT_EQ(KivraWriterV0::PlayingMs(Format(8000, 1)), 0);
  EXPECT_EQ(KivraWriterV0::PlayingMs(Format(8000, 16000)), 2000);
  EXPECT_EQ(KivraWriterV0::PlayingMs(Format(0, 5)), INT32_MAX);
  EXPECT_EQ(KivraWriterV0::PlayingMs(Format(0, 0)), 0);
  EXPECT_EQ(KivraWriterV0::PlayingMs(Format(1, INT32_MAX)), INT32_MAX);
  EXPECT_EQ(KivraWriterV0::PlayingMs(Format(-8000, 8000)), 0);
  EXPECT_EQ(KivraWriterV0::PlayingMs(Format(8000, -8000)), 0);
  // An unconverted 48 kHz clip: the cap's byte count 1584960 needs more than 32 bits.
  Bytes adpcm(10);
  Bytes file = Build<KivraWriterV0>(Format(48000, 48000 * 70), adpcm);
  EXPECT_EQ(adpcm.size(), 1584960u);
  EXPECT_EQ(Slice(file, 54, 4), (Bytes{0x00, 0x00, 0x02, 0x02}));  // no rate code
  Build<KivraWriterV0>(Format(0, 5), adpcm);  // endless at rate 0: capped to 0 bytes
  EXPECT_TRUE(adpcm.empty());
  adpcm.assign(1, 0);
  Build<KivraWriterV0>(Format(1, INT32_MAX), adpcm);
  EXPECT_EQ(adpcm.size(), 33u);
}

// ---------------------------------------------------------------------- variants 1 and 2

TEST(KivraWriterV1, TestVector) {
  Bytes expected = FromTable(R"(
    4d 4d 4d 44 00 00 00 a7 43 4e 54 49 00 00 00 05
    00 32 01 f8 00 4f 50 44 41 00 00 00 21 44 63 68
    ff 00 00 00 19 45 53 00 01 f8 41 30 00 06 51 6e
    32 31 .. .. 41 32 00 06 51 6e 32 31 .. .. 4d 54
    52 05 00 00 00 67 02 00 02 02 00 00 00 00 00 00
    00 00 00 00 00 00 00 00 00 00 4d 74 73 75 00 00
    00 11 f0 06 43 79 06 7f 7f f7 f0 07 43 79 06 7f
    07 01 f7 4d 74 73 71 00 00 00 1e 00 f0 07 43 79
    06 7f 00 64 f7 00 b0 00 7d 00 b0 20 00 00 c0 00
    00 90 00 7f 00 00 ff 2f 00 4d 74 73 70 00 00 00
    0c 4d 77 61 01 00 00 00 04 20 1f 40 00 .. ..)");
  ASSERT_EQ(expected.size(), 175u);
  Complete(expected, 21, 62, 60, 62, 173, 50);
  ContentInfo ignored;
  ignored.textCode = 2;
  std::strcpy(ignored.text[3], "not read");
  Bytes adpcm{0x00};
  EXPECT_EQ(Build<KivraWriterV1>(Format(8000, 1), adpcm, &ignored), expected);
}

// The sequence body length and the two variable-length numbers of a variant 1 file.
void ExpectTicks(const PcmFormat& format, uint32_t body, const Bytes& number) {
  Bytes adpcm(7, 0x22);
  KivraWriterV1 writer;
  Bytes file;
  writer.Build(nullptr, format, adpcm, file);
  ExpectWellFormed(file);
  EXPECT_EQ(adpcm, Bytes(7, 0x22));  // never changed
  const size_t seq = Find(file, "Mtsq");
  EXPECT_EQ(U32(file, seq + 4), body) << format.frameCount;
  EXPECT_EQ(Slice(file, seq + 8 + 25, 2 * number.size() + 3), [&] {
    Bytes b = number;
    b.insert(b.end(), number.begin(), number.end());
    b.insert(b.end(), {0xFF, 0x2F, 0x00});
    return b;
  }()) << format.frameCount;
}

TEST(KivraWriterV1, TickCounts) {
  ExpectTicks(Format(8000, 4040), 30, {0x7F});                // N 127
  ExpectTicks(Format(8000, 4080), 32, {0x81, 0x00});          // N 128
  ExpectTicks(Format(8000, 524256), 32, {0xFF, 0x7F});        // N 16383
  ExpectTicks(Format(8000, 524288), 34, {0x81, 0x80, 0x00});  // N 16384
  ExpectTicks(Format(8000, 560000), 34, {0x81, 0x88, 0x5C});  // 70 s: N 17500, not cut
  // Past 268 s at 8000 Hz frameCount x 1000 leaves 32 bits: 300 s is 300000 ms, N 75000.
  ExpectTicks(Format(8000, 2400000), 34, {0x84, 0xC9, 0x78});
  ExpectTicks(Format(4000, INT32_MAX), 36, {0xC0, 0x80, 0x80, 0x00});  // N 2^27
  EXPECT_EQ(KivraWriterV1::PlayingMs(Format(8000, 2400000)), 300000);
  EXPECT_EQ(KivraWriterV1::PlayingMs(Format(1000, INT32_MAX)), INT32_MAX);
  EXPECT_EQ(KivraWriterV1::PlayingMs(Format(999, INT32_MAX)), INT32_MAX);  // saturates
  EXPECT_EQ(KivraWriterV1::PlayingMs(Format(0, 5)), 0);
  EXPECT_EQ(KivraWriterV1::PlayingMs(Format(8000, -8000)), 0);
}

TEST(KivraWriterV1, StereoFormatByte) {
  KivraWriterV1 writer;
  Bytes adpcm{1, 2, 3};
  Bytes file;
  writer.Build(nullptr, Format(4000, 4000, 2), adpcm, file);
  ExpectWellFormed(file);
  const size_t mwa = Find(file, "Mwa\x01");
  EXPECT_EQ(Slice(file, mwa + 4, 10), (Bytes{0, 0, 0, 6, 0xA0, 0x0F, 0xA0, 1, 2, 3}));
}

TEST(KivraWriterV2, TestVector) {
  Bytes expected = FromTable(R"(
    4d 4d 4d 44 00 00 00 bb 43 4e 54 49 00 00 00 05
    00 34 01 f8 00 4f 50 44 41 00 00 00 35 44 63 68
    ff 00 00 00 19 45 53 00 01 f8 41 30 00 06 51 6e
    32 31 .. .. 41 32 00 06 51 6e 32 31 .. .. 50 72
    6f 05 00 00 00 0c 00 00 00 00 00 00 00 00 00 00
    00 00 4d 54 52 06 00 00 00 67 02 00 02 02 00 00
    00 00 00 00 00 00 00 00 00 00 00 00 00 00 4d 74
    73 75 00 00 00 11 f0 06 43 79 06 7f 7f f7 f0 07
    43 79 06 7f 07 01 f7 4d 74 73 71 00 00 00 1e 00
    f0 07 43 79 06 7f 00 64 f7 00 b0 00 7d 00 b0 20
    00 00 c0 00 00 90 00 7f 00 00 ff 2f 00 4d 74 73
    70 00 00 00 0c 4d 77 61 01 00 00 00 04 20 1f 40
    00 .. ..)");
  ASSERT_EQ(expected.size(), 195u);
  Complete(expected, 21, 82, 60, 82, 193, 50);
  Bytes adpcm{0x00};
  EXPECT_EQ(Build<KivraWriterV2>(Format(8000, 1), adpcm), expected);
}

TEST(KivraWriterV2, ProChunkCarriesTheTickCount) {
  Bytes adpcm(5);
  const Bytes file = Build<KivraWriterV2>(Format(8000, 560000), adpcm);
  EXPECT_EQ(Slice(file, 8, 13), Of(std::string_view("CNTI\0\0\0\5\0"
                                                    "4\1\xF8\0",
                                                    13)));
  EXPECT_EQ(U32(file, 25), 53u);
  const size_t pro = Find(file, "Pro\x05");
  EXPECT_EQ(U32(file, pro + 16), 17500u);
  EXPECT_EQ(Slice(file, Find(file, "MTR"), 4), Of(std::string_view("MTR\6", 4)));
  const size_t seq = Find(file, "Mtsq");
  EXPECT_EQ(Slice(file, seq + 8 + 25, 3), (Bytes{0x81, 0x88, 0x5C}));
}

}  // namespace
}  // namespace pelorin
