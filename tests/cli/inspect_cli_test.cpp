// `pelorin-cli inspect` run as a separate process on files written by sox.

#include "support/cli_fixture.h"

namespace {

using namespace pelorin::test;
namespace fs = std::filesystem;

using InspectCli = CliTest;

TEST_F(InspectCli, BundledSampleLoads) {
  const fs::path samples = fs::path(PELORIN_SOURCE_DIR) / "samples";
  if (!fs::exists(samples / "bell.wav")) GTEST_SKIP() << "samples/bell.wav has not been made yet";

  CliRun r = Cli({"inspect", "--json", "bell.wav"}, "C", samples);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "{\"file\": \"bell.wav\", \"result\": 0, \"channels\": 2, \"bitsPerSample\": 16, "
      "\"blockAlign\": 4, \"sampleRate\": 44100, \"byteCount\": 352800, "
      "\"frameCount\": 88200, \"decoder\": \"engine\", \"format\": \"WAV, 16-bit integer\"}\n");

  r = Cli({"inspect", "bell.wav"}, "C", samples);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "bell.wav: 2 channels, 16 bits, 44100 Hz, 88200 frames, 2.000 s\n");
}

class InspectCliMix : public InspectCli {
 protected:
  void SetUp() override {
    InspectCli::SetUp();
    NeedSox();
    if (IsSkipped() || HasFatalFailure()) return;
    Tone("good8.wav", "8000", 8, 2, 4000);
    Tone("low.wav", "3999", 16, 1, 800);
    Tone("deep.aif", "8000", 24, 1, 800);
    Tone("wide.aif", "8000", 16, 3, 800);
    Tone("short.wav", "8000", 16, 1, 160);
    Tone("good16.aif", "22050", 16, 2, 2205);
    std::ofstream(dir_ / "work" / "notes.mmf") << "not audio";
    std::ofstream(dir_ / "work" / "text.wav") << "not audio either";
    fs::create_directory(dir_ / "work" / "folder.AIF");
  }

  const std::vector<std::string> files_ = {"good8.wav", "notes.mmf", "missing.wav", "folder.AIF",
                                           "text.wav",  "low.wav",   "deep.aif",    "wide.aif",
                                           "short.wav", "good16.aif"};
  const std::string good8_ = "good8.wav: 2 channels, 8 bits, 8000 Hz, 4000 frames, 0.500 s";
};

TEST_F(InspectCliMix, JsonGivesOneLinePerFileInOrder) {
  std::vector<std::string> args = {"inspect", "--json"};
  args.insert(args.end(), files_.begin(), files_.end());
  const CliRun r = Cli(args);
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> expected = {
      "{\"file\": \"good8.wav\", \"result\": 0, \"channels\": 2, \"bitsPerSample\": 16, "
      "\"blockAlign\": 4, \"sampleRate\": 8000, \"byteCount\": 16000, \"frameCount\": 4000, "
      "\"decoder\": \"engine\", \"format\": \"WAV, 8-bit integer\"}",
      "{\"file\": \"notes.mmf\", \"result\": \"badext\"}",
      "{\"file\": \"missing.wav\", \"result\": \"unreadable\"}",
      "{\"file\": \"folder.AIF\", \"result\": \"unreadable\"}",
      "{\"file\": \"text.wav\", \"result\": -997, \"category\": \"container\", \"offset\": 0, "
      "\"reason\": \"not a WAV file: no \\\"RIFF\\\" chunk\"}",
      // The window's verdict, then how the command line reads what the window refuses.
      "{\"file\": \"low.wav\", \"result\": -996, \"category\": \"rate\", \"offset\": 24, "
      "\"reason\": \"3999 Hz; 4000 to 48000 Hz are supported\", \"decoder\": \"libsndfile\", "
      "\"format\": \"WAV, 16-bit integer\", \"channels\": 1, \"sampleRate\": 3999, "
      "\"frameCount\": 800}",
      "{\"file\": \"deep.aif\", \"result\": -995, \"category\": \"encoding\", \"offset\": 60, "
      "\"reason\": \"24 bits per sample; 8 or 16 are supported\", \"decoder\": \"libsndfile\", "
      "\"format\": \"AIFF, 24-bit integer\", \"channels\": 1, \"sampleRate\": 8000, "
      "\"frameCount\": 800}",
      "{\"file\": \"wide.aif\", \"result\": -994, \"category\": \"channels\", \"offset\": 54, "
      "\"reason\": \"3 channels; 1 or 2 are supported\", \"decoder\": \"libsndfile\", "
      "\"format\": \"AIFF, 16-bit integer\", \"channels\": 3, \"sampleRate\": 8000, "
      "\"frameCount\": 800}",
      // Too short for the engine is too short whoever decodes it.
      "{\"file\": \"short.wav\", \"result\": -993, \"category\": \"duration\", \"offset\": 40, "
      "\"reason\": \"160 frames at 8000 Hz play 20 ms; more than 20 ms are needed\"}",
      "{\"file\": \"good16.aif\", \"result\": 0, \"channels\": 2, \"bitsPerSample\": 16, "
      "\"blockAlign\": 4, \"sampleRate\": 22050, \"byteCount\": 8820, \"frameCount\": 2205, "
      "\"decoder\": \"engine\", \"format\": \"AIFF, 16-bit integer\"}"};
  EXPECT_EQ(Lines(r.out), expected);
}

TEST_F(InspectCliMix, HumanOutputSplitsSuccessesAndRefusals) {
  std::vector<std::string> args = {"inspect"};
  args.insert(args.end(), files_.begin(), files_.end());
  const CliRun r = Cli(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out),
            (std::vector<std::string>{
                good8_,
                "low.wav: 1 channel, 16 bits, 3999 Hz, 800 frames, 0.200 s (WAV, 16-bit integer, "
                "decoded by libsndfile)",
                "deep.aif: 1 channel, 24 bits, 8000 Hz, 800 frames, 0.100 s (AIFF, 24-bit "
                "integer, decoded by libsndfile)",
                "wide.aif: 3 channels, 16 bits, 8000 Hz, 800 frames, 0.100 s (AIFF, 16-bit "
                "integer, decoded by libsndfile)",
                "good16.aif: 2 channels, 16 bits, 22050 Hz, 2205 frames, 0.100 s"}));
  // Refusals in file order; a detail may follow the message.
  const std::vector<std::string> expected = {
      "notes.mmf: Extension is not .wav/.aif", "missing.wav: Cannot open WAV/AIFF file",
      "folder.AIF: Cannot open WAV/AIFF file", "text.wav: Audio format not supported",
      "short.wav: Inadequate playtime"};
  const std::vector<std::string> lines = Lines(r.err);
  ASSERT_EQ(lines.size(), expected.size()) << r.err;
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].rfind("pelorin-cli: " + expected[i], 0), 0u) << lines[i];
}

TEST_F(InspectCliMix, JapaneseLocaleGivesJapaneseMessages) {
  const CliRun r = Cli({"inspect", "short.wav", "good8.wav"}, "ja_JP.UTF-8");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("pelorin-cli: short.wav: 再生時間が短すぎます"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Inadequate"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.out), std::vector<std::string>{good8_});
}

TEST_F(InspectCliMix, FileNamesAreKeptAndEscapedInJson) {
  const fs::path good = dir_ / "work" / "good8.wav";
  fs::copy_file(good, dir_ / "work" / "鐘の音.wav");
  fs::copy_file(good, dir_ / "work" / "say \"hi\" \\ now.WAV");
  fs::copy_file(good, dir_ / "work" / "line\nbreak.wav");
  const CliRun r =
      Cli({"inspect", "--json", "鐘の音.wav", "say \"hi\" \\ now.WAV", "line\nbreak.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0].rfind("{\"file\": \"鐘の音.wav\", \"result\": 0, \"channels\": 2", 0), 0u);
  EXPECT_EQ(lines[1].rfind("{\"file\": \"say \\\"hi\\\" \\\\ now.WAV\", \"result\": 0,", 0), 0u)
      << lines[1];
  // Either escape form of the newline is valid JSON.
  EXPECT_TRUE(lines[2].rfind("{\"file\": \"line\\nbreak.wav\", \"result\": 0,", 0) == 0 ||
              lines[2].rfind("{\"file\": \"line\\u000a", 0) == 0 ||
              lines[2].rfind("{\"file\": \"line\\u000A", 0) == 0)
      << lines[2];
}

TEST_F(InspectCli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {{},
                                                       {"bogus"},
                                                       {"--bogus"},
                                                       {"inspect"},
                                                       {"inspect", "--json"},
                                                       {"inspect", "--bogus", "x.wav"}};
  for (const auto& args : cases) {
    const CliRun r = Cli(args);
    std::string shown = "args:";
    for (const std::string& a : args) shown += " " + a;
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_FALSE(r.err.empty()) << shown;
  }
}

TEST_F(InspectCli, HelpAndVersionPrintToStdout) {
  for (const char* option : {"--help", "--version"}) {
    const CliRun r = Cli({option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_FALSE(r.out.empty()) << option;
  }
}

}  // namespace
