#include "audiofile/file_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "audiofile/memory_stream.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "pelorin-stream-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    folder_ = name;
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
  fs::path folder_;
};

// The readers see a file through FileStream exactly as through a MemoryStream over its bytes:
// the same results, positions, flags and bytes for random runs of every operation, at lengths
// around the buffer's.
TEST_F(FileStreamTest, ReadsAsAMemoryStreamOverTheSameBytes) {
  constexpr int32_t kBuffer = FileStream::kBufferBytes;
  std::mt19937 random(7);
  for (const int32_t length : {1, 4095, kBuffer - 1, kBuffer, kBuffer + 1, 3 * kBuffer + 17}) {
    SCOPED_TRACE(length);
    Bytes bytes(static_cast<size_t>(length));
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    const std::unique_ptr<FileStream> file = FileStream::Open(Write("f.bin", bytes));
    ASSERT_NE(file, nullptr);
    MemoryStream memory(bytes.data(), length);
    const auto span = [&](int32_t most) {
      return static_cast<int32_t>(random() % static_cast<uint32_t>(most + 1));
    };
    for (int op = 0; op < 400; ++op) {
      int32_t a = 0, b = 0;
      std::vector<uint8_t> x(2 * kBuffer + 8), y(x.size());
      switch (random() % 7) {
        case 0:
          a = file->ReadByte(), b = memory.ReadByte();
          break;
        case 1: {
          const int32_t n = span(2 * kBuffer);
          a = file->Read(x.data(), n), b = memory.Read(y.data(), n);
          break;
        }
        case 2: {
          const int32_t n = span(64);
          a = file->ReadRun(x.data(), n), b = memory.ReadRun(y.data(), n);
          break;
        }
        case 3: {
          const int32_t n = span(2 * kBuffer) - 4;
          a = file->Skip(n), b = memory.Skip(n);
          break;
        }
        case 4: {
          const int32_t to = span(length + 2);
          a = file->Seek(to), b = memory.Seek(to);
          break;
        }
        case 5:
          a = file->Rewind(), b = memory.Rewind();
          break;
        default:
          a = file->ReadU32BE(), b = memory.ReadU32BE();
      }
      ASSERT_EQ(a, b) << "operation " << op;
      ASSERT_EQ(x, y) << "operation " << op;
      ASSERT_EQ(file->Tell(), memory.Tell());
      ASSERT_EQ(file->Flags(), memory.Flags());
      ASSERT_EQ(file->Size(), memory.Size());
    }
  }
}

// What is no regular file is not opened; a file cut short after it was opened ends early, as a
// stream's end, not as a failure.
TEST_F(FileStreamTest, OpensRegularFilesOnlyAndEndsEarlyWhenTheFileShrinks) {
  EXPECT_EQ(FileStream::Open((folder_ / "missing").string()), nullptr);
  EXPECT_EQ(FileStream::Open(folder_.string()), nullptr);
  const std::string fifo = (folder_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(FileStream::Open(fifo), nullptr);

  const std::string path = Write("cut.bin", Bytes(200000, 0x55));
  const std::unique_ptr<FileStream> stream = FileStream::Open(path);
  ASSERT_NE(stream, nullptr);
  fs::resize_file(path, 1000);
  std::vector<uint8_t> out(200000);
  EXPECT_EQ(stream->Read(out.data(), 200000), 1000);
  EXPECT_EQ(stream->Flags(), ByteStream::kEndOfData);
  EXPECT_EQ(stream->Size(), 200000);
}

}  // namespace
}  // namespace pelorin
