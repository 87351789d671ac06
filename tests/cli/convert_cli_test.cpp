// `pelorin-cli convert` run as a separate process.

#include "support/cli_fixture.h"
#include "support/image_builder.h"
#include "support/tone_files.h"

namespace {

using namespace pelorin::test;
namespace fs = std::filesystem;

class ConvertCli : public CliTest {
 protected:
  fs::path Work(const std::string& name) const { return dir_ / "work" / name; }
  std::string Bytes(const std::string& name) const { return ReadText(Work(name)); }
  // The text of tag "XX:" in the file's content information, up to its closing comma.
  static std::string Tag(const std::string& file, const std::string& name) {
    const size_t at = file.find(name + ":");
    if (at == std::string::npos) return "(none)";
    return file.substr(at + 3, file.find(',', at + 3) - at - 3);
  }
};

// The two rate-code bytes of the track chunk.
std::string RateCode(const std::string& file) {
  const size_t track = file.find(std::string("ATR\0", 4));
  return track == std::string::npos ? "" : file.substr(track + 10, 2);
}

uint32_t U32BE(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
         uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

TEST_F(ConvertCli, BundledBellBecomesTheExpectedFile) {
  fs::copy_file(fs::path(PELORIN_SOURCE_DIR) / "samples" / "bell.wav", Work("bell.wav"));
  const CliRun r = Cli({"convert", "--rate", "8000", "--date", "20261208", "bell.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "bell.wav -> bell.mmf: KIVRA File Size : 7.95KB\n");
  const std::string file = Bytes("bell.mmf");
  ASSERT_EQ(file.size(), 8138u);
  EXPECT_EQ(file.substr(0, 4), "MMMD");
  EXPECT_EQ(U32BE(file, 4), 8130u);
  EXPECT_EQ(file.substr(8, 4), "CNTI");
  EXPECT_EQ(U32BE(file, 12), 58u - 8);
  EXPECT_EQ(file.substr(66, 4), std::string("ATR\0", 4));
  EXPECT_EQ(U32BE(file, 70), 8070u - 8);
  EXPECT_EQ(RateCode(file), std::string("\x11\x00", 2));  // 8000 Hz
  EXPECT_EQ(Tag(file, "ST"), "bell");
  EXPECT_EQ(Tag(file, "CD"), "20261208");
  EXPECT_EQ(Tag(file, "CR"), "(none)");
  EXPECT_EQ(file[19], 0);  // both permissions on
}

TEST_F(ConvertCli, OptionsReachTheFile) {
  NeedSox();
  Tone("tone.wav", "8000", 16, 1, 4000);
  struct Case {
    std::vector<std::string> options;
    char flags;
    std::string title;
    std::string copyright;
  };
  const Case cases[] = {
      {{"--no-save"}, 3, "tone", "(none)"},
      {{"--no-trans"}, 1, "tone", "(none)"},
      {{"--title", "Song, 1", "--copyright", "(c) me\\you"}, 0, "Song\\", "(c) me\\\\you"},
      {{"--title", "鐘の音", "--encoding", "cp932"}, 0, "\x8F\xE0\x82\xCC\x89\xB9", "(none)"},
      {{"--title=Café", "--encoding=utf-8"}, 0, "Café", "(none)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"convert", "-o", "out.mmf"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("tone.wav");
    const CliRun r = Cli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = Bytes("out.mmf");
    EXPECT_EQ(file[19], c.flags) << c.options[0];
    EXPECT_EQ(Tag(file, "ST"), c.title) << c.options[0];
    EXPECT_EQ(Tag(file, "CR"), c.copyright) << c.options[0];
    EXPECT_EQ(Tag(file, "CD").size(), 8u);
  }
  // The searching encoder makes a file of the same size with other codes.
  ASSERT_EQ(Cli({"convert", "--date", "20261208", "-o", "standard.mmf", "tone.wav"}).status, 0);
  ASSERT_EQ(
      Cli({"convert", "--date", "20261208", "--quality", "high", "-o", "high.mmf", "tone.wav"})
          .status,
      0);
  EXPECT_EQ(Bytes("high.mmf").size(), Bytes("standard.mmf").size());
  EXPECT_NE(Bytes("high.mmf"), Bytes("standard.mmf"));
  // A Japanese user gets CP932 without asking, and Japanese messages.
  const CliRun ja = Cli({"convert", "--title", "鐘", "tone.wav"}, "ja_JP.UTF-8");
  ASSERT_EQ(ja.status, 0) << ja.err;
  EXPECT_NE(ja.out.find("KIVRAファイルサイズ : "), std::string::npos);
  EXPECT_EQ(Tag(Bytes("tone.mmf"), "ST"), "\x8F\xE0");
}

TEST_F(ConvertCli, RefusalsNameTheFileAndTheReason) {
  NeedSox();
  Tone("low.wav", "4000", 16, 1, 4000);
  Tone("slow.wav", "3999", 16, 1, 4000);
  Tone("ok.wav", "8000", 8, 2, 4000);
  std::ofstream(Work("old.mmf")) << "old";
  std::ofstream(Work("text.wav")) << "not audio";
  const CliRun r = Cli({"convert", "notes.txt", "missing.wav", "text.wav", "slow.wav", "ok.wav"});
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> err = Lines(r.err);
  ASSERT_EQ(err.size(), 3u) << r.err;
  EXPECT_EQ(err[0], "pelorin-cli: notes.txt: Extension is not .wav/.aif (no such file)");
  EXPECT_EQ(err[1], "pelorin-cli: missing.wav: Cannot open WAV/AIFF file");
  EXPECT_EQ(err[2],
            "pelorin-cli: text.wav: Audio format not supported (offset 0: not a WAV file: no "
            "\"RIFF\" chunk)");
  // A rate the engine does not load is decoded and brought into its range first.
  const std::vector<std::string> out = Lines(r.out);
  ASSERT_EQ(out.size(), 2u) << r.out;
  EXPECT_EQ(out[0].rfind("slow.wav -> slow.mmf: KIVRA File Size : ", 0), 0u) << out[0];
  EXPECT_TRUE(out[0].ends_with("KB (0:00\u20130:01)")) << out[0];
  EXPECT_EQ(out[1], "ok.wav -> ok.mmf: KIVRA File Size : 2.08KB");

  // 8 kHz is not available below 8000 Hz; 4 kHz is the default there.
  EXPECT_EQ(Cli({"convert", "--rate", "8000", "low.wav"}).status, 1);
  EXPECT_FALSE(fs::exists(Work("low.mmf")));
  EXPECT_EQ(Cli({"convert", "low.wav"}).status, 0);
  EXPECT_EQ(RateCode(Bytes("low.mmf")), std::string("\x10\x00", 2));

  // A folder that cannot take the file: message 5, nothing written.
  const CliRun unwritable = Cli({"convert", "-d", "no-such-dir", "ok.wav"});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("Cannot save KIVRA file"), std::string::npos) << unwritable.err;

  // -d writes into the folder, -o to the name; an existing file is replaced.
  fs::create_directory(Work("out"));
  EXPECT_EQ(Cli({"convert", "-d", "out", "ok.wav"}).status, 0);
  EXPECT_TRUE(fs::exists(Work("out/ok.mmf")));
  EXPECT_EQ(Cli({"convert", "-o", "old.mmf", "ok.wav"}).status, 0);
  EXPECT_EQ(Bytes("old.mmf"), Bytes("ok.mmf"));
}

TEST_F(ConvertCli, UsageErrorsExitWithTwo) {
  std::ofstream(Work("a.wav")) << "x";
  const std::vector<std::vector<std::string>> usages = {
      {"convert"},
      {"convert", "--rate", "5000", "a.wav"},
      {"convert", "--rate"},
      {"convert", "--date", "2026-12-08", "a.wav"},
      {"convert", "--variant", "3", "a.wav"},
      {"convert", "--encoding", "latin9", "a.wav"},
      {"convert", "--bogus", "a.wav"},
      {"convert", "--no-save=1", "a.wav"},
      {"convert", "-o", "x.mmf", "a.wav", "b.wav"},
      {"convert", "-o", "x.mmf", "-d", ".", "a.wav"},
      {"convert", "-o", "a.wav", "a.wav"},
      {"convert", "-o", "./a.wav", "a.wav"},
      {"convert", "-j", "0", "a.wav"},
      {"convert", "--jobs=x", "a.wav"},
      {"convert", "--quality", "best", "a.wav"},
  };
  for (const auto& args : usages) {
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
    EXPECT_NE(r.err.find("Try 'pelorin-cli --help'"), std::string::npos);
  }
  EXPECT_EQ(Bytes("a.wav"), "x");
  EXPECT_EQ(Cli({"convert", "--help"}).status, 0);
}

}  // namespace

namespace {

using namespace pelorin::test;
namespace fs = std::filesystem;

using KivraCli = CliTest;

// Every variant that convert writes reads back sound through info and decodes to a WAV.
TEST_F(KivraCli, InfoAndDecodeReadWhatConvertWrites) {
  NeedSox();
  Tone("tone.wav", "8000", 16, 1, 8000);
  for (const char* variant : {"0", "1", "2"}) {
    ASSERT_EQ(Cli({"convert", "--variant", variant, "tone.wav"}).status, 0) << variant;
    const CliRun info = Cli({"info", "tone.mmf"});
    EXPECT_EQ(info.status, 0) << variant << info.err;
    EXPECT_NE(info.out.find("variant: " + std::string(variant)), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("checksum: ok"), std::string::npos);
    ASSERT_EQ(Cli({"decode", "tone.mmf", "-o", "back.wav"}).status, 0) << variant;
    const CliRun back = Cli({"inspect", "back.wav"});
    EXPECT_EQ(back.out, "back.wav: 1 channel, 16 bits, 8000 Hz, 8000 frames, 1.000 s\n");
  }
  // A damaged file is named with its offset and fails; nothing is decoded from it.
  std::string bytes = ReadText(dir_ / "work" / "tone.mmf");
  bytes.resize(bytes.size() - 100);
  std::ofstream(dir_ / "work" / "cut.mmf", std::ios::binary) << bytes;
  const CliRun info = Cli({"info", "cut.mmf"});
  EXPECT_EQ(info.status, 1);
  EXPECT_NE(info.err.find("cut.mmf: offset "), std::string::npos) << info.err;
  EXPECT_EQ(Cli({"decode", "cut.mmf", "-o", "cut.wav"}).status, 1);
  EXPECT_FALSE(fs::exists(dir_ / "work" / "cut.wav"));
}

// Several files at once: the lines still come in the order of the files, a refused file in the
// middle is reported in its place and makes the status 1, and every file is what it is without
// -j. The first file is the longest, so that later ones finish first.
TEST_F(ConvertCli, JobsKeepTheOrderOfTheFiles) {
  std::vector<std::string> args = {"convert", "-j", "3", "-d", "out", "--date", "20261208"};
  std::vector<std::string> expected;
  for (int i = 0; i < 7; ++i) {
    const std::string name = "f" + std::to_string(i) + ".wav";
    if (i == 3) {
      std::ofstream(Work(name)) << "not audio";
    } else {
      ASSERT_TRUE(WriteToneWav(Work(name), 22050, 2, uint32_t(22050 * (i == 0 ? 20 : 1))));
      expected.push_back(name + " -> out/f" + std::to_string(i) + ".mmf");
    }
    args.push_back(name);
  }
  fs::create_directory(Work("out"));
  const CliRun r = Cli(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("pelorin-cli: f3.wav: Audio format not supported (", 0), 0u) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), expected.size()) << r.out;
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u);

  fs::rename(Work("out"), Work("parallel"));
  fs::create_directory(Work("out"));
  args[2] = "1";
  EXPECT_EQ(Cli(args).out, r.out);
  for (int i : {0, 1, 2, 4, 5, 6}) {
    const std::string name = "f" + std::to_string(i) + ".mmf";
    EXPECT_EQ(Bytes("out/" + name), Bytes("parallel/" + name)) << name;
  }
}

}  // namespace
