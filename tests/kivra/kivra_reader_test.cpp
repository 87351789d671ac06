#include "kivra/kivra_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/byte_text.h"
#include "kivra/crc16.h"
#include "kivra/kivra_writer_v0.h"
#include "kivra/kivra_writer_v1.h"
#include "kivra/kivra_writer_v2.h"

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;

PcmFormat Format(int channels, int rate, int frames) {
  PcmFormat f;
  f.channels = uint16_t(channels);
  f.bitsPerSample = 16;
  f.blockAlign = uint16_t(2 * channels);
  f.sampleRate = rate;
  f.frameCount = frames;
  f.byteCount = frames * f.blockAlign;
  return f;
}

// ADPCM bytes as the engine would hand them over: one code per sample.
Bytes Adpcm(int channels, int frames) {
  Bytes b(channels == 2 ? size_t(frames) : size_t(frames + 1) / 2);
  for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i * 37 + 5);
  return b;
}

Bytes Build(int variant, const PcmFormat& format, Bytes adpcm, const ContentInfo* info = nullptr) {
  Bytes out;
  if (variant == 0) KivraWriterV0().Build(info, format, adpcm, out);
  if (variant == 1) KivraWriterV1().Build(info, format, adpcm, out);
  if (variant == 2) KivraWriterV2().Build(info, format, adpcm, out);
  return out;
}

// A small but complete file of each variant.
Bytes Sample(int variant) {
  return Build(variant, Format(1, 8000, 400), Adpcm(1, 400));
}

void Reseal(Bytes& file) {
  const uint16_t sum = Crc16(std::span(file).first(file.size() - 2));
  file[file.size() - 2] = uint8_t(sum >> 8);
  file[file.size() - 1] = uint8_t(sum);
}

void PutU32(Bytes& file, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (24 - 8 * i));
}

size_t Find(const Bytes& file, std::string_view id) {
  const auto it = std::search(file.begin(), file.end(), id.begin(), id.end());
  return size_t(it - file.begin());
}

std::string Problems(const KivraReport& r) {
  std::string text;
  for (const KivraProblem& p : r.problems)
    text += "offset " + std::to_string(p.offset) + ": " + p.what + "\n";
  return text;
}

std::vector<std::string> Ids(const KivraReport& r) {
  std::vector<std::string> ids;
  for (const KivraChunk& c : r.chunks) ids.push_back(std::string(c.depth, ' ') + c.id);
  return ids;
}

TEST(KivraReader, ReadsWhatEachWriterWrites) {
  struct Case {
    const char* what;
    int variant;
    PcmFormat format;
    uint32_t ticks;
  };
  const Case cases[] = {
      {"variant 0, 8000 Hz, two-byte play time", 0, Format(1, 8000, 16000), 500},
      {"variant 0, 4000 Hz, one-byte play time", 0, Format(1, 4000, 401), 25},
      {"variant 1, stereo, odd frame count", 1, Format(2, 8000, 16001), 500},
      {"variant 1, mono, long", 1, Format(1, 8000, 560000), 17500},
      {"variant 2, 4000 Hz", 2, Format(1, 4000, 399), 25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes adpcm = Adpcm(c.format.channels, c.format.frameCount);
    const Bytes file = Build(c.variant, c.format, adpcm);
    const KivraReport r = ReadKivra(file);
    EXPECT_TRUE(r.Sound()) << Problems(r);
    EXPECT_EQ(r.variant, c.variant);
    EXPECT_EQ(r.sampleRate, c.format.sampleRate);
    EXPECT_EQ(r.channels, c.format.channels);
    EXPECT_EQ(r.ticks, c.ticks);
    EXPECT_DOUBLE_EQ(r.Seconds(), c.ticks * 0.004);
    if (c.variant == 2) {
      EXPECT_EQ(r.proTicks, c.ticks);
    }
    ASSERT_TRUE(r.adpcmOffset.has_value());
    ASSERT_EQ(r.adpcmLength, adpcm.size());
    EXPECT_TRUE(std::equal(adpcm.begin(), adpcm.end(), file.begin() + long(*r.adpcmOffset)));
    EXPECT_TRUE(r.length.Ok() && r.checksum.Ok() && r.infoCode.Ok() && r.trackCode.Ok());
  }
}

TEST(KivraReader, ChunkTreesOfTheThreeVariants) {
  const std::vector<std::string> expected[] = {
      {"MMMD", " CNTI", " ATR\\x00", "  AspI", "  Atsq", "  Awa\\x01"},
      {"MMMD", " CNTI", " OPDA", "  Dch\\xFF", " MTR\\x05", "  Mtsu", "  Mtsq", "  Mtsp",
       "   Mwa\\x01"},
      {"MMMD", " CNTI", " OPDA", "  Dch\\xFF", "  Pro\\x05", " MTR\\x06", "  Mtsu", "  Mtsq",
       "  Mtsp", "   Mwa\\x01"},
  };
  for (int variant = 0; variant < 3; ++variant) {
    const Bytes file = Sample(variant);
    const KivraReport r = ReadKivra(file);
    EXPECT_EQ(Ids(r), expected[variant]) << variant;
    // Offsets and lengths describe the file: each chunk's header is where the tree says.
    for (const KivraChunk& c : r.chunks) {
      EXPECT_EQ(PrintableBytes(std::span(file).subspan(c.offset, 4)), c.id);
      EXPECT_LE(c.offset + 8 + c.length, file.size());
    }
  }
}

TEST(KivraReader, ContentInformationOfVariant0) {
  ContentInfo info;
  info.textCode = 2;
  info.flags = 0xFF;  // the writer keeps bits 0 and 1
  std::strcpy(info.text[ContentInfo::kTitle], "Song, 1");
  std::strcpy(info.text[ContentInfo::kCopyright], "a\\b,\\,");
  std::strcpy(info.text[ContentInfo::kDate], "20240102");
  const Bytes file = Build(0, Format(1, 8000, 800), Adpcm(1, 800), &info);
  const KivraReport r = ReadKivra(file);
  ASSERT_TRUE(r.Sound()) << Problems(r);
  EXPECT_EQ(r.textCode, 2);
  EXPECT_EQ(r.flags, 3);
  std::vector<std::pair<std::string, std::string>> tags;
  for (const KivraTag& t : r.tags) tags.emplace_back(t.name, t.text);
  ASSERT_EQ(tags.size(), 6u);
  EXPECT_EQ(tags[0], (std::pair<std::string, std::string>{"Z3", std::string(1, '\0')}));
  EXPECT_EQ(tags[1], (std::pair<std::string, std::string>{"ST", "Song, 1"}));
  EXPECT_EQ(tags[2], (std::pair<std::string, std::string>{"CR", "a\\b,\\,"}));
  EXPECT_EQ(tags[3], (std::pair<std::string, std::string>{"CD", "20240102"}));
  EXPECT_EQ(tags[4].first, "A0");
  EXPECT_EQ(tags[5].first, "A2");
}

// The smallest variant 0 file, typed in byte by byte; only the two check codes and the
// checksum are computed.
TEST(KivraReader, HandBuiltVariant0File) {
  Bytes file = {0x4d, 0x4d, 0x4d, 0x44, 0x00, 0x00, 0x00, 0x6d, 0x43, 0x4e, 0x54, 0x49, 0x00,
                0x00, 0x00, 0x1e, 0x00, 0x01, 0x02, 0x00, 0x00, 0x5a, 0x33, 0x3a, 0x00, 0x2c,
                0x41, 0x30, 0x3a, 0x51, 0x4e, 0x32, 0x31, 0x30, 0x30, 0x2c, 0x41, 0x32, 0x3a,
                0x51, 0x4e, 0x32, 0x31, 0x30, 0x30, 0x2c, 0x41, 0x54, 0x52, 0x00, 0x00, 0x00,
                0x00, 0x3d, 0x00, 0x00, 0x11, 0x00, 0x02, 0x02, 0x41, 0x73, 0x70, 0x49, 0x00,
                0x00, 0x00, 0x10, 0x73, 0x74, 0x3a, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x73, 0x70,
                0x3a, 0x00, 0x00, 0x00, 0x0a, 0x2c, 0x41, 0x74, 0x73, 0x71, 0x00, 0x00, 0x00,
                0x0e, 0x01, 0x00, 0x37, 0x7f, 0x01, 0x01, 0x00, 0x01, 0xff, 0x00, 0x00, 0x00,
                0x00, 0x00, 0x41, 0x77, 0x61, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
  ASSERT_EQ(file.size(), 117u);
  const auto patch = [&](size_t at, uint16_t code) {
    file[at] = uint8_t(code >> 8);
    file[at + 1] = uint8_t(code);
  };
  patch(43, CheckCode(Bytes(file.begin() + 8, file.begin() + 46)));
  patch(33, CheckCode(Bytes(file.begin() + 46, file.begin() + 115)));
  Reseal(file);
  const KivraReport r = ReadKivra(file);
  EXPECT_TRUE(r.Sound()) << Problems(r);
  EXPECT_EQ(r.variant, 0);
  EXPECT_EQ(r.sampleRate, 8000);
  EXPECT_EQ(r.channels, 1);
  EXPECT_EQ(r.ticks, 0u);
  EXPECT_EQ(r.adpcmOffset, 114u);
  EXPECT_EQ(r.adpcmLength, 1u);
}

TEST(KivraReader, EveryTruncationIsReported) {
  for (int variant = 0; variant < 3; ++variant) {
    const Bytes file = Sample(variant);
    for (size_t n = 0; n < file.size(); ++n) {
      const KivraReport r = ReadKivra(std::span(file).first(n));
      EXPECT_FALSE(r.Sound()) << "variant " << variant << ", " << n << " bytes";
    }
  }
}

TEST(KivraReader, EveryFlippedByteIsReported) {
  for (int variant = 0; variant < 3; ++variant) {
    const Bytes file = Sample(variant);
    for (size_t at = 0; at < file.size(); ++at) {
      for (uint8_t mask : {0x01, 0x80, 0xFF}) {
        Bytes damaged = file;
        damaged[at] ^= mask;
        const KivraReport r = ReadKivra(damaged);
        // A CRC-16 sees every change within 16 bits; the flip may also break the structure.
        EXPECT_FALSE(r.Sound()) << "variant " << variant << ", offset " << at;
      }
    }
  }
}

TEST(KivraReader, DamageIsDescribedWhereItIs) {
  const Bytes good = Sample(0);
  const size_t cnti = Find(good, "CNTI");
  const size_t wave = Find(good, "Awa");
  const size_t a2 = Find(good, "A2:") + 7;
  const size_t a0 = Find(good, "A0:") + 7;
  const size_t end = good.size() - 2;  // the checksum closes the file
  struct Case {
    const char* what;
    size_t at;
    std::vector<uint8_t> bytes;
    bool reseal;
    std::string problem;  // the first one
  };
  const std::string endsAt = std::to_string(end);
  const Case cases[] = {
      {"flipped ADPCM byte",
       wave + 8,
       {uint8_t(~good[wave + 8])},
       false,
       "offset " + endsAt + ": checksum 0x"},
      {"wrong top-level length",
       4,
       {0, 0, 0, 9},
       true,
       "offset 4: top-level length 9 does not match the file length - 8 (" +
           std::to_string(good.size() - 8) + ")"},
      {"wave chunk past the end",
       wave + 4,
       {0, 0, 0x13, 0x88},
       true,
       "offset " + std::to_string(wave) +
           ": chunk \"Awa\\x01\" length 5000 runs past the end of its parent (ends at " +
           std::to_string(end) + ")"},
      {"absurd info length",
       cnti + 4,
       {0xFF, 0xFF, 0xFF, 0xFF},
       true,
       "offset 8: chunk \"CNTI\" length 4294967295 runs past the end of its parent (ends at " +
           endsAt + ")"},
      {"absurd top-level length",
       4,
       {0xFF, 0xFF, 0xFF, 0xFF},
       true,
       "offset 4: top-level length 4294967295 does not match the file length - 8 (" +
           std::to_string(good.size() - 8) + ")"},
      {"info check code",
       a2,
       {'X', 'Y'},
       true,
       "offset " + std::to_string(a2 - 7) + ": check code \"A2\" reads \"XY\", computed"},
      {"track check code",
       a0,
       {'0', '0'},
       true,
       "offset " + std::to_string(a0 - 7) + ": check code \"A0\" reads \"00\", computed"},
      {"rate code",
       Find(good, "ATR") + 10,
       {0x12},
       true,
       "offset " + std::to_string(Find(good, "ATR") + 10) + ": unknown rate code 0x12"},
      {"not a KIVRA file",
       0,
       {'R', 'I', 'F', 'F'},
       false,
       "offset 0: not a KIVRA file: it starts with \"RIFF\", not \"MMMD\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = good;
    std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + long(c.at));
    if (c.reseal) Reseal(file);
    const KivraReport r = ReadKivra(file);
    ASSERT_FALSE(r.Sound());
    EXPECT_EQ(Problems(r).substr(0, c.problem.size()), c.problem) << Problems(r);
  }
}

TEST(KivraReader, ChecksReportStoredAndComputedValues) {
  Bytes file = Sample(1);
  file[file.size() - 1] ^= 1;
  KivraReport r = ReadKivra(file);
  EXPECT_TRUE(r.length.Ok());
  EXPECT_TRUE(r.infoCode.Ok());
  EXPECT_TRUE(r.trackCode.Ok());
  ASSERT_TRUE(r.checksum.present);
  EXPECT_EQ(r.checksum.stored ^ 1, r.checksum.computed);
  EXPECT_EQ(r.problems.size(), 1u) << Problems(r);

  // A wrong code in the track only: the info code is still right.
  file = Sample(2);
  file[Find(file, "Mtsu") + 9] ^= 0x10;
  Reseal(file);
  r = ReadKivra(file);
  EXPECT_TRUE(r.infoCode.Ok());
  EXPECT_TRUE(r.checksum.Ok());
  EXPECT_TRUE(r.trackCode.present);
  EXPECT_NE(r.trackCode.stored, r.trackCode.computed);
}

TEST(KivraReader, HostileStructuresStayBounded) {
  // An empty container, a flood of empty chunks and a file of nothing but headers.
  Bytes bare = {'M', 'M', 'M', 'D', 0, 0, 0, 2, 0, 0};
  Reseal(bare);
  KivraReport r = ReadKivra(bare);
  EXPECT_EQ(r.variant, -1);
  EXPECT_NE(Problems(r).find("no track chunk"), std::string::npos) << Problems(r);

  Bytes flood = {'M', 'M', 'M', 'D', 0, 0, 0, 0};
  for (int i = 0; i < 100000; ++i) flood.insert(flood.end(), {'X', 'X', 'X', 'X', 0, 0, 0, 0});
  flood.insert(flood.end(), {0, 0});
  PutU32(flood, 4, uint32_t(flood.size() - 8));
  Reseal(flood);
  r = ReadKivra(flood);
  EXPECT_LE(r.chunks.size(), 4096u);
  EXPECT_NE(Problems(r).find("more than 4096 chunks"), std::string::npos);

  // Many text tags in the info chunk.
  Bytes tags = Sample(0);
  const size_t cnti = Find(tags, "CNTI");
  Bytes many;
  for (int i = 0; i < 10000; ++i) many.insert(many.end(), {'Q', 'Q', ':', ','});
  tags.insert(tags.begin() + long(cnti) + 8 + 5, many.begin(), many.end());
  PutU32(tags, cnti + 4, uint32_t(Find(tags, "ATR") - cnti - 8));
  PutU32(tags, 4, uint32_t(tags.size() - 8));
  Reseal(tags);
  r = ReadKivra(tags);
  EXPECT_LE(r.tags.size(), 4096u);
  EXPECT_FALSE(r.Sound());
}

TEST(KivraReader, PrintableBytes) {
  const uint8_t id[] = {'A', 'T', 'R', 0x00, 0xFF, '"', '\\', ' '};
  EXPECT_EQ(PrintableBytes(id), "ATR\\x00\\xFF\\x22\\x5C ");
}

}  // namespace
}  // namespace pelorin
