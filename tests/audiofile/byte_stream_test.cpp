#include <gtest/gtest.h>

#include <vector>

#include "audiofile/memory_stream.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using test::Bytes;
constexpr int32_t kBoth = ByteStream::kEndOfData | ByteStream::kError;

TEST(MemoryStream, ReadsTheImageAndStopsAtItsEnd) {
  const Bytes image = {1, 2, 0xFF};
  MemoryStream s(image.data(), 3);
  EXPECT_EQ(s.Size(), 3);
  EXPECT_EQ(s.ReadByte(), 1);
  EXPECT_EQ(s.Tell(), 1);
  uint8_t out[8] = {};
  EXPECT_EQ(s.Read(out, 8), 2);
  EXPECT_EQ(out[1], 0xFF);
  EXPECT_EQ(s.ReadByte(), -1);
  EXPECT_EQ(s.Flags(), ByteStream::kEndOfData);
  EXPECT_EQ(s.Read(out, 1), 0);  // end of data is not an error
  EXPECT_EQ(s.Read(out, 0), 0);
  EXPECT_EQ(s.Read(nullptr, 1), -1);
  EXPECT_EQ(s.Tell(), 3);
}

TEST(MemoryStream, SeekToTheEndSucceedsButBeyondItFailsForGood) {
  const Bytes image = {1, 2, 3, 4};
  MemoryStream s(image.data(), 4);
  EXPECT_EQ(s.Seek(4), 0);
  EXPECT_EQ(s.ReadByte(), -1);
  EXPECT_EQ(s.Flags(), ByteStream::kEndOfData);
  EXPECT_EQ(s.Seek(2), 0);  // a seek clears the end flag
  EXPECT_EQ(s.ReadByte(), 3);
  EXPECT_EQ(s.Seek(5), -1);
  EXPECT_EQ(s.Flags(), kBoth);
  EXPECT_EQ(s.Size(), -1);
  EXPECT_EQ(s.Seek(0), -1);
  EXPECT_EQ(s.Skip(0), -1);
  uint8_t out[1];
  EXPECT_EQ(s.Read(out, 0), -1);  // nothing stored while in error
  // Only Rewind clears the error.
  EXPECT_EQ(s.Rewind(), 0);
  EXPECT_EQ(s.Flags(), 0);
  EXPECT_EQ(s.ReadByte(), 1);
}

TEST(MemoryStream, SkipWithinAndBeyondTheImage) {
  const Bytes image = {10, 11, 12, 13, 14};
  MemoryStream s(image.data(), 5);
  EXPECT_EQ(s.Skip(2), 0);  // before any read: goes to the raw layer
  EXPECT_EQ(s.ReadByte(), 12);
  EXPECT_EQ(s.Skip(1), 0);  // inside the buffer
  EXPECT_EQ(s.ReadByte(), 14);
  EXPECT_EQ(s.Tell(), 5);
  EXPECT_EQ(s.Skip(-1), -1);
  EXPECT_EQ(s.Flags(), 0);
  EXPECT_EQ(s.Skip(1), -1);  // past the end of the image
  EXPECT_EQ(s.Flags(), kBoth);
}

TEST(MemoryStream, SkipOfTheLargestCountFailsWithoutOverflow) {
  const Bytes image = {1, 2, 3};
  MemoryStream s(image.data(), 3);
  EXPECT_EQ(s.ReadByte(), 1);
  EXPECT_EQ(s.Skip(INT32_MAX), -1);
  EXPECT_EQ(s.Flags(), kBoth);
}

TEST(MemoryStream, EmptyImageHasNoBuffer) {
  MemoryStream s(nullptr, 0);
  EXPECT_EQ(s.ReadByte(), -1);
  EXPECT_EQ(s.Flags(), kBoth);
  EXPECT_EQ(s.Size(), -1);
  EXPECT_EQ(s.Rewind(), -1);
  const Bytes one = {7};
  MemoryStream zeroLength(one.data(), 0);
  EXPECT_EQ(zeroLength.Size(), 0);
  EXPECT_EQ(zeroLength.ReadByte(), -1);
  EXPECT_EQ(zeroLength.Flags(), kBoth);
}

TEST(MemoryStream, MultiByteReadsInBothByteOrders) {
  const Bytes image = {0x34, 0x12, 0x78, 0x56, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
  MemoryStream s(image.data(), int32_t(image.size()));
  EXPECT_EQ(s.ReadU16LE(), 0x1234);
  EXPECT_EQ(s.Seek(0), 0);
  EXPECT_EQ(s.ReadU16BE(), 0x3412);
  EXPECT_EQ(s.Seek(0), 0);
  EXPECT_EQ(s.ReadU32LE(), 0x56781234);
  EXPECT_EQ(s.ReadU32BE(), -1);  // all bits set: indistinguishable from failure
  EXPECT_EQ(s.Flags(), 0);
  EXPECT_EQ(s.ReadU16LE(), -1);  // one byte left
  EXPECT_EQ(s.Flags(), ByteStream::kEndOfData);
}

// A raw device behind a small buffer, to exercise refills and the default raw skip and seek.
class SmallBufferStream : public ByteStream {
 public:
  explicit SmallBufferStream(Bytes data, int32_t capacity)
      : ByteStream(capacity), data_(std::move(data)) {}
  int32_t RawRead(uint8_t* dst, int32_t len) override {
    if (dst == nullptr || len < 0) return -1;
    const int32_t n = std::min(len, int32_t(data_.size()) - pos_);
    std::copy_n(data_.begin() + pos_, n, dst);
    pos_ += n;
    return n;
  }
  int32_t RawRewind() override {
    pos_ = 0;
    return 0;
  }
  int32_t RawSize() override { return int32_t(data_.size()); }

 private:
  Bytes data_;
  int32_t pos_ = 0;
};

TEST(ByteStream, BufferedReadsSkipsAndSeeksOverASmallBuffer) {
  Bytes data(40);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
  SmallBufferStream s(data, 4);
  uint8_t out[10];
  EXPECT_EQ(s.Read(out, 10), 10);
  EXPECT_EQ(out[9], 9);
  EXPECT_EQ(s.Skip(12), 0);  // discarded through the buffer by the default raw skip
  EXPECT_EQ(s.ReadByte(), 22);
  EXPECT_EQ(s.Seek(30), 0);  // default raw seek: rewind, then skip
  EXPECT_EQ(s.ReadByte(), 30);
  EXPECT_EQ(s.Tell(), 31);
  EXPECT_EQ(s.Read(out, 10), 9);
  EXPECT_EQ(s.Flags(), ByteStream::kEndOfData);
  EXPECT_EQ(s.Skip(1), 0);  // skipping ignores the end flag
}

TEST(ByteStream, ReadRunMatchesByteByByteReads) {
  Bytes data(23);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(3 * i + 1);
  for (int32_t len : {0, 1, 5, 22, 23, 24, 40}) {
    for (int32_t start : {0, 7, 23}) {
      MemoryStream a(data.data(), int32_t(data.size()));
      MemoryStream b(data.data(), int32_t(data.size()));
      ASSERT_EQ(a.Seek(start), 0);
      ASSERT_EQ(b.Seek(start), 0);
      Bytes ra(64), rb(64);
      const int32_t n = a.ReadRun(ra.data(), len);
      int32_t m = 0;
      while (m < len) {
        const int32_t c = b.ReadByte();
        if (c < 0) break;
        rb[m++] = uint8_t(c);
      }
      EXPECT_EQ(n, m) << len << " from " << start;
      EXPECT_EQ(ra, rb);
      EXPECT_EQ(a.Flags(), b.Flags());
      EXPECT_EQ(a.Tell(), b.Tell());
      EXPECT_EQ(a.ReadByte(), b.ReadByte());
    }
  }
}

}  // namespace
}  // namespace pelorin
