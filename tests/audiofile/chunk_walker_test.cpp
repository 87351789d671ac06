#include <gtest/gtest.h>

#include <cstring>

#include "audiofile/chunk_stream.h"
#include "audiofile/chunk_walker.h"
#include "audiofile/memory_stream.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using namespace test;

struct Walk {
  explicit Walk(const Bytes& image) : stream(image.data(), int32_t(image.size())) {}
  MemoryStream stream;
  ChunkWalkerLE walker{&stream};
};

TEST(ChunkWalker, ChunkStreamDeliversExactlyTheChunkData) {
  Bytes image;
  PutTag(image, "RIFF");
  PutU32LE(image, 4);
  PutTag(image, "WAVE");
  Walk w(image);
  EXPECT_EQ(w.walker.Find("RIFF"), 4);
  ChunkStream chunk(&w.walker);
  EXPECT_EQ(chunk.Size(), 4);
  uint8_t out[8];
  EXPECT_EQ(chunk.Read(out, 8), 4);
  EXPECT_EQ(std::memcmp(out, "WAVE", 4), 0);
  EXPECT_EQ(chunk.ReadByte(), -1);
  EXPECT_EQ(chunk.Flags(), ByteStream::kEndOfData);
  ASSERT_EQ(chunk.Seek(4), 0);
  EXPECT_EQ(chunk.Read(out, 1), 0);
  EXPECT_EQ(chunk.Flags(), ByteStream::kEndOfData);
  // There is no buffer to rewind: Seek(0) is the way back.
  EXPECT_EQ(chunk.Rewind(), -1);
  EXPECT_EQ(chunk.Flags(), ByteStream::kEndOfData | ByteStream::kError);
}

TEST(ChunkWalker, FindRefusesAChunkThatOverrunsItsContainer) {
  const Bytes fits = ChunkLE("data", Bytes(6));
  EXPECT_EQ(Walk(fits).walker.Find("data"), 6);
  const Bytes overruns = ChunkLE("data", Bytes(6), 7);
  EXPECT_EQ(Walk(overruns).walker.Find("data"), -1);
}

TEST(ChunkWalker, FindSkipsOddChunksWithTheirPadByte) {
  const Bytes padded = Concat({ChunkLE("LIST", {1, 2, 3}), ChunkLE("data", {9, 9})});
  EXPECT_EQ(Walk(padded).walker.Find("data"), 2);
  // Without the pad byte the search lands one byte into the next id.
  const Bytes unpadded = Concat({ChunkLE("LIST", {1, 2, 3}, -1, false), ChunkLE("data", {9, 9})});
  EXPECT_EQ(Walk(unpadded).walker.Find("data"), -1);
  // An odd chunk that ends the image without a pad byte still skips.
  const Bytes last = ChunkLE("LIST", {1, 2, 3}, -1, false);
  Walk w(last);
  EXPECT_EQ(w.walker.Find("LIST"), 3);
  EXPECT_EQ(w.walker.SkipRest(), 0);
}

TEST(ChunkWalker, IdsMatchExactly) {
  const Bytes image = ChunkLE("fmt ", Bytes(16));
  EXPECT_EQ(Walk(image).walker.Find("FMT "), -1);
  EXPECT_EQ(Walk(image).walker.Find("fmt"), -1);
  EXPECT_EQ(Walk(image).walker.Find("fmt "), 16);
}

TEST(ChunkWalker, SizesOfTwoToTheThirtyOneOrMoreAreRefused) {
  struct Case {
    Bytes bytes;
    int32_t little;
    int32_t big;
  };
  const Case cases[] = {{{0xFF, 0xFF, 0xFF, 0x7F}, INT32_MAX, -1},
                        {{0xFF, 0xFF, 0xFF, 0xFF}, -1, -1},
                        {{0x00, 0x00, 0x00, 0x80}, -1, 128},
                        {{0x7F, 0xFF, 0xFF, 0xFF}, -1, INT32_MAX}};
  for (const Case& c : cases) {
    MemoryStream le(c.bytes.data(), 4);
    EXPECT_EQ(ChunkWalkerLE(&le).ReadSize(), c.little);
    MemoryStream be(c.bytes.data(), 4);
    EXPECT_EQ(ChunkWalkerBE(&be).ReadSize(), c.big);
  }
  EXPECT_EQ(ChunkWalkerLE(nullptr).ReadSize(), -1);
  EXPECT_EQ(ChunkWalkerLE(nullptr).Find("data"), -1);
}

TEST(ChunkWalker, ReadsAreBoundedByTheChunk) {
  const Bytes image = Concat({ChunkLE("abcd", {1, 2, 3, 4, 5, 6}), ChunkLE("next", {7})});
  Walk w(image);
  ASSERT_EQ(w.walker.Find("abcd"), 6);
  EXPECT_EQ(w.walker.ReadU16(), 0x0201);
  EXPECT_EQ(w.walker.ReadU32(), 0x06050403);
  EXPECT_EQ(w.walker.ReadByte(), -1);  // the chunk is used up, the image is not
  EXPECT_EQ(w.stream.Flags(), 0);
  ASSERT_EQ(w.walker.SeekInChunk(1), 0);
  EXPECT_EQ(w.walker.TellInChunk(), 1);
  EXPECT_EQ(w.walker.Skip(100), 5);
  ASSERT_EQ(w.walker.SeekInChunk(100), 0);  // clamped to the end of the chunk
  EXPECT_EQ(w.walker.Consumed(), 6);
  EXPECT_EQ(w.walker.TellInChunk(), 6);
  EXPECT_EQ(w.walker.SeekInChunk(-1), -1);
  EXPECT_EQ(w.walker.Find("next"), 1);
}

TEST(ChunkWalker, NestedWalkerSeesPositionsInsideTheFormChunk) {
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("SSND", {1, 2, 3, 4}));
  Append(form, ChunkBE("COMM", {5, 6}));
  const Bytes image = Concat({ChunkBE("JUNK", {0, 0}), ChunkBE("FORM", form)});
  MemoryStream stream(image.data(), int32_t(image.size()));
  ChunkWalkerBE outer(&stream);
  ASSERT_EQ(outer.Find("FORM"), int32_t(form.size()));
  ChunkStream formStream(&outer);
  ChunkWalkerBE inner(&formStream);
  ASSERT_EQ(formStream.Skip(4), 0);
  const int32_t first = inner.StreamTell();
  EXPECT_EQ(first, 4);
  ASSERT_EQ(inner.Find("COMM"), 2);
  EXPECT_EQ(inner.HeaderPos(), 16);  // an offset in the form's data, not in the image
  EXPECT_EQ(inner.ReadByte(), 5);
  ASSERT_EQ(inner.Restart(first), 0);
  ASSERT_EQ(inner.Find("SSND"), 4);
  ASSERT_EQ(inner.SeekInChunk(2), 0);
  EXPECT_EQ(stream.Tell(), 10 + 8 + 4 + 8 + 2);  // the image offset of that byte
  EXPECT_EQ(inner.ReadByte(), 3);
  // The form's own size bounds the inner search.
  EXPECT_EQ(inner.Find("MARK"), -1);
}

TEST(ChunkWalker, ReadRunThroughAChunkStreamMatchesByteByByteReads) {
  // The form declares more than the image holds, so reads end at the image, not the chunk.
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("SSND", Bytes(20, 0x5A)));
  Bytes image = ChunkBE("FORM", form);
  image.erase(image.end() - 6, image.end());
  for (int32_t len : {4, 14, 15, 30}) {
    auto run = [&](bool byRun) {
      MemoryStream stream(image.data(), int32_t(image.size()));
      ChunkWalkerBE outer(&stream);
      EXPECT_GE(outer.NextHeader() ? outer.ReadSize() : -1, 0);
      ChunkStream formStream(&outer);
      ChunkWalkerBE inner(&formStream);
      EXPECT_EQ(formStream.Skip(4), 0);
      EXPECT_EQ(inner.Find("SSND"), 20);
      Bytes out(32);
      int32_t n = 0;
      if (byRun) {
        n = inner.ReadRun(out.data(), len);
      } else {
        for (int32_t c; n < len && (c = inner.ReadByte()) >= 0;) out[n++] = uint8_t(c);
      }
      return std::tuple(n, out, inner.Consumed(), formStream.Flags(), formStream.Tell(),
                        stream.Flags(), stream.Tell());
    };
    EXPECT_EQ(run(true), run(false)) << len;
  }
}

}  // namespace
}  // namespace pelorin
