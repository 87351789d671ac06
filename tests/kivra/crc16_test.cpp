#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "kivra/byte_array.h"
#include "kivra/crc16.h"
#include "kivra/kivra_writer.h"
#include "support/kivra_reference.h"

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;
using test::BitwiseCrc;

Bytes Of(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

TEST(Crc16, CheckValues) {
  EXPECT_EQ(Crc16(Bytes{}), 0x0000);
  EXPECT_EQ(Crc16(Of("123456789")), 0xD64E);
  EXPECT_EQ(Crc16(Of("abc")), 0xAEB5);
  Bytes all;
  for (int i = 0; i < 1000; ++i) all.push_back(uint8_t(i * 7 + (i >> 3)));
  for (size_t n : {1, 2, 7, 8, 9, 255, 1000}) {  // whole groups of eight and remainders
    const Bytes part(all.begin(), all.begin() + n);
    EXPECT_EQ(Crc16(part), BitwiseCrc(part)) << n;
  }
}

TEST(Crc16, CheckCodeIsTwoUpperCaseHexDigitsOfTheMaskedCrc) {
  for (int i = 0; i < 300; ++i) {
    const Bytes chunk(size_t(i % 17), uint8_t(i));
    char ref[2];
    test::ReferenceCode(chunk, 0, chunk.size(), ref);
    const uint16_t code = CheckCode(chunk);
    EXPECT_EQ(code >> 8, ref[0]);
    EXPECT_EQ(code & 0xFF, ref[1]);
  }
}

TEST(MsToTicks, Table) {
  struct Case {
    int32_t ms, code, ticks;
  } cases[] = {{0, 2, 0},
               {1, 2, 1},
               {4, 2, 1},
               {5, 2, 2},
               {-1, 2, -1},
               {100, 4, -1},
               {100, 0, -1},
               {11, 3, 3},
               {10, 3, 2},
               {11, 16, 2},
               {21, 17, 2},
               {20, 17, 1},
               {2000, 2, 500},
               {70000, 2, 17500},
               {INT32_MAX, 2, 536870912},
               {INT32_MAX, 17, 107374183}};  // no overflow
  for (const Case& c : cases) {
    EXPECT_EQ(KivraWriter::MsToTicks(c.ms, c.code), c.ticks) << c.ms << " ms, code " << c.code;
  }
}

TEST(ByteArray, AppendAndPatch) {
  Bytes a;
  AppendBytes(a, nullptr, 3);
  AppendBytes(a, "x", 0);
  EXPECT_TRUE(a.empty());
  AppendBytes(a, "ab", 2);
  AppendU16BE(a, 0x1234);
  AppendU32BE(a, 0xA1B2C3D4);
  EXPECT_EQ(a, (Bytes{'a', 'b', 0x12, 0x34, 0xA1, 0xB2, 0xC3, 0xD4}));
  PatchU32BE(a, 4, 0x01020304);
  PatchU16BE(a, 0, 0xFFEE);
  EXPECT_EQ(a, (Bytes{0xFF, 0xEE, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04}));
  // A patch that would reach outside the array, however far, changes nothing.
  const Bytes before = a;
  PatchU32BE(a, 5, 0);
  PatchU16BE(a, 7, 0);
  PatchU16BE(a, SIZE_MAX, 0);
  PatchU32BE(a, SIZE_MAX - 1, 0);
  EXPECT_EQ(a, before);
}

TEST(ByteArray, AppendVarLen) {
  struct Case {
    uint32_t v;
    Bytes bytes;
  } cases[] = {{0, {0x00}},
               {127, {0x7F}},
               {128, {0x81, 0x00}},
               {16383, {0xFF, 0x7F}},
               {16384, {0x81, 0x80, 0x00}},
               {16510, {0x81, 0x80, 0x7E}},
               {17500, {0x81, 0x88, 0x5C}},
               {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
               {0xFFFFFFFF, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}}};
  for (const Case& c : cases) {
    Bytes a{0xAA};
    AppendVarLen(a, c.v);
    EXPECT_EQ(Bytes(a.begin() + 1, a.end()), c.bytes) << c.v;
  }
}

}  // namespace
}  // namespace pelorin
