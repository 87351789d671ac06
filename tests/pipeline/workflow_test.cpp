#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "pipeline/conversion.h"
#include "pipeline/date_stamp.h"
#include "pipeline/file_system.h"
#include "pipeline/text_encoding.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;

TEST(TextEncoding, ConvertsToTheLegacyCodePages) {
  EXPECT_EQ(EncodeText("鐘の音", TextEncoding::kCp932, 256), "\x8F\xE0\x82\xCC\x89\xB9");
  EXPECT_EQ(EncodeText("Café €", TextEncoding::kCp1252, 256), "Caf\xE9 \x80");
  // What the code page cannot hold, and bytes that are not UTF-8, become "?".
  EXPECT_EQ(EncodeText("鐘 ☃", TextEncoding::kCp1252, 256), "? ?");
  EXPECT_EQ(EncodeText("a\xFF"
                       "b",
                       TextEncoding::kCp932, 256),
            "a?b");
  EXPECT_EQ(EncodeText("a\xFF"
                       "b",
                       TextEncoding::kUtf8, 256),
            "a?b");
  EXPECT_EQ(DefaultTextEncoding(Language::kJapanese), TextEncoding::kCp932);
  EXPECT_EQ(DefaultTextEncoding(Language::kEnglish), TextEncoding::kCp1252);
  EXPECT_EQ(TextEncodingFromName("UTF-8"), TextEncoding::kUtf8);
  EXPECT_FALSE(TextEncodingFromName("latin1"));
}

TEST(TextEncoding, CutsAtACharacterBoundary) {
  std::string title = "a";
  for (int i = 0; i < 200; ++i) title += "音";
  // 1 + 127 double-byte characters fill 255 bytes; the next would cross 256.
  const std::string cp932 = EncodeText(title, TextEncoding::kCp932, 256);
  EXPECT_EQ(cp932.size(), 255u);
  EXPECT_EQ(cp932.substr(253), "\x89\xB9");
  const std::string utf8 = EncodeText(title, TextEncoding::kUtf8, 256);
  EXPECT_EQ(utf8.size(), 256u);  // 1 + 85 characters of 3 bytes
  EXPECT_EQ(EncodeText(std::string(300, 'x'), TextEncoding::kCp1252, 256).size(), 256u);
  // A field keeps 128 double-byte characters whole; one more does not fit, though the text cut
  // to the field would look complete.
  std::string kanji;
  for (int i = 0; i < 128; ++i) kanji += "音";
  EXPECT_TRUE(FitsTextField(kanji, TextEncoding::kCp932));
  EXPECT_FALSE(FitsTextField(kanji + "音", TextEncoding::kCp932));
  EXPECT_TRUE(FitsTextField(std::string(256, 'x'), TextEncoding::kCp1252));
  EXPECT_FALSE(FitsTextField(std::string(257, 'x'), TextEncoding::kCp1252));
}

TEST(Workflow, MessagesAndPresets) {
  EXPECT_EQ(FileSizeMessage(1536, Language::kEnglish), "KIVRA File Size : 1.50KB");
  EXPECT_EQ(FileSizeMessage(10, Language::kEnglish), "KIVRA File Size : 0.01KB");
  EXPECT_EQ(FileSizeMessage(5, Language::kJapanese), "KIVRAファイルサイズ : 0.00KB");
  EXPECT_EQ(DefaultTargetRate(7999), 4000);
  EXPECT_EQ(DefaultTargetRate(8000), 8000);
  EXPECT_FALSE(EightKilohertzAvailable(7999));
  char date[9] = {};
  EXPECT_EQ(FormatDateStamp(date, sizeof date), 8);
  EXPECT_EQ(FormatDateStamp(date, 8), -1);  // no room for the terminator
  EXPECT_EQ(FormatDateStamp(nullptr, 9), -1);
}

class AtomicWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("pelorin-write-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  size_t Entries() const {
    return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

TEST_F(AtomicWrite, ReplacesTheTargetWhole) {
  const fs::path target = dir_ / "out.mmf";
  std::ofstream(target) << "old";
  const std::vector<uint8_t> bytes = {'n', 'e', 'w', '!'};
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target.string(), bytes, &error)) << error;
  EXPECT_EQ(Read(target), "new!");
  EXPECT_EQ(Entries(), 1u);  // no temporary file left
  EXPECT_GT(QueryFreeSpace(dir_.string()), 0.0);
  EXPECT_EQ(QueryFreeSpace((dir_ / "missing" / "x").string()), -1.0);
}

TEST_F(AtomicWrite, FailsCleanlyWithoutTouchingTheOldFile) {
  const std::vector<uint8_t> bytes = {1, 2, 3};
  std::string error;
  // A target that is a folder.
  fs::create_directory(dir_ / "folder.mmf");
  EXPECT_FALSE(WriteFileAtomically((dir_ / "folder.mmf").string(), bytes, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Entries(), 1u);
  // A folder that does not exist.
  EXPECT_FALSE(WriteFileAtomically((dir_ / "none" / "x.mmf").string(), bytes, &error));
  // A folder that cannot be written (root may write anywhere: then there is nothing to see).
  const fs::path target = dir_ / "keep.mmf";
  std::ofstream(target) << "old";
  fs::permissions(dir_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  if (geteuid() != 0) {
    EXPECT_FALSE(WriteFileAtomically(target.string(), bytes, &error));
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Entries(), 2u);
  }
}

// Replacing a file keeps what the user made of it: a link stays a link to the new file, the
// permission bits stay, a file without write permission is refused; a second hard link is no
// longer the same file.
TEST_F(AtomicWrite, ReplacingKeepsLinksAndPermissions) {
  const std::vector<uint8_t> bytes = {'n', 'e', 'w'};
  fs::create_directory(dir_ / "real");
  const fs::path file = dir_ / "real" / "a.mmf";
  std::string error;

  std::ofstream(file) << "old";
  fs::permissions(file, fs::perms(0640));
  fs::create_symlink("real/a.mmf", dir_ / "link.mmf");
  fs::create_symlink("link.mmf", dir_ / "chain.mmf");
  for (const char* name : {"link.mmf", "chain.mmf"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(WriteFileAtomically((dir_ / name).string(), bytes, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir_ / name));
    EXPECT_EQ(Read(file), "new");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(), 3u);  // no temporary file beside the link
    std::ofstream(file) << "old";
  }
  // A link to a file not there yet makes it there.
  fs::create_symlink("real/b.mmf", dir_ / "new.mmf");
  ASSERT_TRUE(WriteFileAtomically((dir_ / "new.mmf").string(), bytes, &error)) << error;
  EXPECT_EQ(Read(dir_ / "real" / "b.mmf"), "new");
  // A link that leads round in a circle is no file.
  fs::create_symlink("loop.mmf", dir_ / "loop.mmf");
  EXPECT_FALSE(WriteFileAtomically((dir_ / "loop.mmf").string(), bytes, &error));

  // Read-only for its owner: refused, even for root, who could write it.
  fs::permissions(file, fs::perms(0444));
  EXPECT_FALSE(WriteFileAtomically(file.string(), bytes, &error));
  EXPECT_NE(error.find(std::strerror(EACCES)), std::string::npos) << error;
  EXPECT_EQ(Read(file), "old");
  fs::permissions(file, fs::perms(0600));
  ASSERT_TRUE(WriteFileAtomically(file.string(), bytes, &error)) << error;
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600));

  // A hard link keeps the old content: the name gets a new file.
  std::ofstream(file) << "old";
  fs::create_hard_link(file, dir_ / "hard.mmf");
  ASSERT_TRUE(WriteFileAtomically(file.string(), bytes, &error)) << error;
  EXPECT_EQ(Read(file), "new");
  EXPECT_EQ(Read(dir_ / "hard.mmf"), "old");
}

// The size line reads the same in every locale, also where numbers take a decimal comma (the
// window runs with the user's locale set).
TEST(Workflow, SizeMessageIgnoresTheNumericLocale) {
  const fs::path locales =
      fs::temp_directory_path() / ("pelorin-locale-" + std::to_string(getpid()));
  const std::string make =
      "localedef -i de_DE -f UTF-8 " + locales.string() + "/de_DE.UTF-8 2>/dev/null";
  fs::create_directories(locales);
  if (std::system(make.c_str()) != 0) {
    fs::remove_all(locales);
    GTEST_SKIP() << "no German locale could be made (localedef and Debian's locales package)";
  }
  setenv("LOCPATH", locales.c_str(), 1);
  const bool german = setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  char sample[16] = "";
  std::snprintf(sample, sizeof sample, "%.2f", 1.5);
  const std::string message = FileSizeMessage(8138, Language::kEnglish);
  setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  fs::remove_all(locales);
  ASSERT_TRUE(german);
  ASSERT_EQ(std::string(sample), "1,50");  // the locale writes a decimal comma
  EXPECT_EQ(message, "KIVRA File Size : 7.95KB");
}

}  // namespace
}  // namespace pelorin

namespace pelorin {
namespace {

// A variant 0 file keeps 66.04 s; converting only what reaches the file gives the same bytes.
TEST(Workflow, LongClipsConvertOnlyWhatReachesTheFile) {
  const int32_t rate = 8000;
  const int32_t frames = 70 * rate;
  test::Bytes data;
  uint32_t noise = 1;
  for (int32_t i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const int sample = int(8000 * std::sin(i * 0.05)) + int(noise >> 22) - 512;
    test::PutU16LE(data, uint16_t(int16_t(sample)));
  }
  const test::Bytes image = test::WavImage(1, rate, 16, data);
  ContentInfo info;
  info.textCode = 2;
  std::vector<uint8_t> whole, capped;
  int32_t lengths[2];
  for (int pass = 0; pass < 2; ++pass) {
    AudioEngine engine;
    ASSERT_EQ(engine.Load(0, image.data(), int32_t(image.size())), kOk);
    if (pass == 1) {
      const int32_t kept = FramesWorthConverting(engine.Format(), 0, kConversionTaps);
      ASSERT_LT(kept, frames);
      EXPECT_EQ(FramesWorthConverting(engine.Format(), 1, kConversionTaps), frames);
      engine.TrimFrames(kept);
    }
    ASSERT_EQ(engine.MixDown(0), kOk);
    ASSERT_EQ(engine.ConvertRate(4000, 256), kOk);
    std::vector<uint8_t>& out = pass == 0 ? whole : capped;
    lengths[pass] = engine.EncodeKivra(0, 0, &info, out);
    ASSERT_GT(lengths[pass], 132080);
  }
  EXPECT_EQ(lengths[0], lengths[1]);
  EXPECT_EQ(whole, capped);
}

}  // namespace
}  // namespace pelorin
