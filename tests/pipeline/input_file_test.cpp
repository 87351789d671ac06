#include "pipeline/input_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace pelorin {
namespace {

namespace fs = std::filesystem;

struct NameCase {
  const char* path;
  std::optional<InputKind> kind;
};

class InputFileKind : public ::testing::TestWithParam<NameCase> {};

TEST_P(InputFileKind, FollowsTheLastExtension) {
  EXPECT_EQ(InputKindFromName(GetParam().path), GetParam().kind) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, InputFileKind,
    ::testing::Values(NameCase{"x.wav", InputKind::kWav}, NameCase{"x.WAV", InputKind::kWav},
                      NameCase{".WAV", InputKind::kWav}, NameCase{".wav", InputKind::kWav},
                      NameCase{"x.Aif", InputKind::kAiff}, NameCase{"x.AIF", InputKind::kAiff},
                      NameCase{"/a/b.c/x.aif", InputKind::kAiff},
                      NameCase{"x.txt.wav", InputKind::kWav},
                      NameCase{"鐘の音.wav", InputKind::kWav},
                      NameCase{"ベル.Aif", InputKind::kAiff}, NameCase{"x.aiff", std::nullopt},
                      NameCase{"x.mmf", std::nullopt}, NameCase{"x.wav.txt", std::nullopt},
                      NameCase{"x.wa", std::nullopt}, NameCase{"x.wavx", std::nullopt},
                      NameCase{"noext", std::nullopt}, NameCase{"x.", std::nullopt},
                      NameCase{"", std::nullopt}, NameCase{"dir.wav/file", std::nullopt},
                      NameCase{"dir.wav/", std::nullopt}, NameCase{"鐘の音", std::nullopt}));

class InputFileRead : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "pelorin-read-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
  fs::path dir_;
};

TEST_F(InputFileRead, ReturnsEveryByteOfARegularFile) {
  std::vector<uint8_t> bytes(70001);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 256);
  bytes[0] = 0;  // a leading zero and 0x1A must not end the read early
  bytes[1] = 0x1A;
  EXPECT_EQ(ReadWholeFile(Write("鐘の音.wav", bytes)), bytes);
}

TEST_F(InputFileRead, EmptyFileIsAnEmptyImageNotAFailure) {
  const std::optional<std::vector<uint8_t>> got = ReadWholeFile(Write("empty.wav", {}));
  ASSERT_TRUE(got.has_value());
  EXPECT_TRUE(got->empty());
}

TEST_F(InputFileRead, RefusesWhatIsNotAnOpenableRegularFile) {
  fs::create_directory(dir_ / "folder.wav");
  for (const std::string& path : {(dir_ / "missing.wav").string(), (dir_ / "folder.wav").string(),
                                  std::string("/dev/null")}) {
    EXPECT_EQ(ReadWholeFile(path), std::nullopt) << path;
  }
}

}  // namespace
}  // namespace pelorin
