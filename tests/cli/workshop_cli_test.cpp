// `pelorin-cli convert` on files the engine does not read and with the options that choose,
// fade and level the part: what becomes of them, what is printed, the exit status.

#include "support/cli_fixture.h"

namespace {

using namespace pelorin::test;
namespace fs = std::filesystem;

class WorkshopCli : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    NeedSox();
  }
  fs::path Work(const std::string& name) const { return dir_ / "work" / name; }
  std::string Bytes(const std::string& name) const { return ReadText(Work(name)); }
  // Runs sox in the work folder.
  void Sox(const std::string& args) {
    const std::string command = "cd " + Quote(Work("").string()) + " && sox -V1 " + args;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
};

TEST_F(WorkshopCli, DecodedAndChosenPartsConvertAsTheSameSoundInAWavWould) {
  Sox("-n -r 22050 -c 1 -b 16 tone.wav synth 4 sine 300-900");
  Sox("tone.wav tone.flac");
  // The part from 1 s for 2 s, cut by sox, against the same part chosen by the options.
  Sox("tone.wav part.wav trim 22050s 44100s");
  const std::vector<std::string> common = {"--date", "20260101", "--title", "t"};
  const auto convert = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "convert");
    args.insert(args.end(), common.begin(), common.end());
    return Cli(args);
  };
  CliRun r = convert({"-o", "part.mmf", "part.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = convert({"-o", "chosen.mmf", "--start", "1", "--length", "2", "tone.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "tone.wav -> chosen.mmf: KIVRA File Size : 7.94KB (0:01\u20130:03)\n");
  EXPECT_EQ(Bytes("chosen.mmf"), Bytes("part.mmf"));
  r = convert({"-o", "ended.mmf", "--start", "0:01", "--end", "0:03.000", "tone.flac"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Bytes("ended.mmf"), Bytes("part.mmf"));

  // 16-bit mono FLAC decodes to the very samples of its WAV; standard input too.
  r = convert({"-o", "wav.mmf", "tone.wav"});
  ASSERT_EQ(r.out, "tone.wav -> wav.mmf: KIVRA File Size : 15.76KB\n");
  r = convert({"-o", "flac.mmf", "tone.flac"});
  EXPECT_EQ(r.out, "tone.flac -> flac.mmf: KIVRA File Size : 15.76KB (0:00\u20130:04)\n");
  EXPECT_EQ(Bytes("flac.mmf"), Bytes("wav.mmf"));
  const std::string piped = "cd " + Quote(Work("").string()) + " && " + Quote(PELORIN_CLI) +
                            " convert - -o piped.mmf --date 20260101 --title t <tone.flac";
  ASSERT_EQ(std::system(piped.c_str()), 0);
  EXPECT_EQ(Bytes("piped.mmf"), Bytes("wav.mmf"));

  // A dry run writes nothing; a preview is what the phone plays, at the file's rate.
  r = Cli({"convert", "--dry-run", "--preview", "hear.wav", "-o", "dry.mmf", "tone.flac"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "tone.flac -> dry.mmf: KIVRA File Size : 15.76KB (0:00\u20130:04)\n");
  EXPECT_FALSE(fs::exists(Work("dry.mmf")));
  r = Cli({"inspect", "hear.wav"});
  EXPECT_EQ(r.out, "hear.wav: 1 channel, 16 bits, 8000 Hz, 32000 frames, 4.000 s\n");
}

TEST_F(WorkshopCli, ManyChannelsHighRatesAndLongSongsBecomeOneCappedFile) {
  Sox("-n -r 96000 -c 6 -b 24 six.flac synth 2 sine 440");
  Sox("-n -r 44100 -c 2 song.ogg synth 70 sine 440 vol 0.5");
  const CliRun r = Cli({"convert", "--date", "20260101", "six.flac", "song.ogg"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "six.flac -> six.mmf: KIVRA File Size : 7.95KB (0:00\u20130:02)\n"
            "song.ogg -> song.mmf: KIVRA File Size : 258.10KB (0:00\u20131:06.04, fade-out 1 s)\n");
  EXPECT_EQ(r.err,
            "note: song.ogg: 70 s; the file holds 0:00\u20131:06.04 (use --start/--length to "
            "choose the part)\n");
  // The file plays what it holds.
  EXPECT_NE(Cli({"info", "song.mmf"}).out.find("66.04"), std::string::npos);
}

TEST_F(WorkshopCli, ChoicesThatCannotBeMetAreUsageErrorsOrClearRefusals) {
  Sox("-n -r 8000 -c 1 tone.flac synth 2 sine 440");
  Sox("-n -r 8000 -c 1 quiet.flac synth 2 sine 440 vol 0");
  std::ofstream(Work("empty.mp3")) << "";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // the first line
  };
  const std::vector<Case> cases = {
      {{"--start", "3", "tone.flac"},
       2,
       "pelorin-cli: tone.flac: --start 0:03 is past the end (0:02)"},
      {{"--length", "0.01", "tone.flac"},
       2,
       "pelorin-cli: convert: --length must be more than 20 ms"},
      {{"--start", "-1", "tone.flac"}, 2, "pelorin-cli: convert: --start cannot be negative"},
      {{"--start", "1:5", "tone.flac"},
       2,
       "pelorin-cli: convert: --start takes a time: seconds (12.5), m:ss.fff or h:mm:ss.fff"},
      {{"--length", "1", "--end", "2", "tone.flac"},
       2,
       "pelorin-cli: convert: --length and --end cannot be used together"},
      {{"--normalize=loud", "tone.flac"},
       2,
       "pelorin-cli: convert: --normalize takes a loudness from -70 to 0 LUFS, as --normalize=-14"},
      {{"-"}, 2, "pelorin-cli: convert: standard input has no name to follow: use -o FILE"},
      {{"--preview", "p.wav", "tone.flac", "quiet.flac"},
       2,
       "pelorin-cli: convert: --preview takes one input only"},
      {{"--trim-silence", "quiet.flac"},
       1,
       "pelorin-cli: quiet.flac: nothing in it is louder than \u221250 dBFS; there is no sound to "
       "keep"},
      {{"--normalize", "quiet.flac"}, 0, "note: quiet.flac: the part is silent: no gain applied"},
      {{"empty.mp3"}, 1, "pelorin-cli: empty.mp3: Extension is not .wav/.aif (the file is empty)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun r = Cli(args);
    SCOPED_TRACE(c.args.front());
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(Lines(r.err).at(0), c.err);
  }
  EXPECT_FALSE(fs::exists(Work("tone.mmf")));
}

TEST_F(WorkshopCli, ABrokenFileConvertsWhatDecodesAndSaysSo) {
  Sox("-n -r 8000 -c 1 -b 16 whole.flac synth 10 sine 440");
  std::string bytes = Bytes("whole.flac");
  bytes.replace(bytes.size() / 2, 3000, 3000, '\0');
  std::ofstream(Work("broken.flac"), std::ios::binary) << bytes;
  const CliRun r = Cli({"convert", "broken.flac"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> err = Lines(r.err);
  ASSERT_EQ(err.size(), 1u) << r.err;
  EXPECT_EQ(err[0].rfind("note: broken.flac: the file does not decode after 0:0", 0), 0u) << err[0];
  EXPECT_TRUE(err[0].ends_with("; what decodes before it is converted")) << err[0];
  EXPECT_EQ(r.out.rfind("broken.flac -> broken.mmf: KIVRA File Size : ", 0), 0u) << r.out;
}

}  // namespace
