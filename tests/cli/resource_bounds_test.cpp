// What pelorin-cli spends on files whose headers declare huge sizes, and on a real large
// input: peak resident memory and wall time of each run, as a child process of its own (wait4
// gives that child's figures alone). Memory must follow the file, not its header; only a file
// asked to hold the whole declared clip (variant 1) costs in proportion to that file.
//
// The bounds hold without sanitizers; under AddressSanitizer the resident size says nothing
// about the program, so only the exit status, the message and a looser time are checked.

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "support/cli_fixture.h"
#include "support/image_builder.h"
#include "support/sanitizers.h"
#include "support/tone_files.h"

namespace {

using namespace pelorin::test;
namespace fs = std::filesystem;

constexpr double kMegabyte = 1024.0 * 1024.0;
// Crafted headers: at most 4 x the file's size + 32 MB (measured: under 8 MB for 1 MB files).
constexpr double kCraftedFactor = 4;
constexpr double kCraftedConstant = 32 * kMegabyte;
// Besides, per byte of a KIVRA file written: the ADPCM data, the track and the image.
constexpr double kOutputFactor = 3.5;
// A real input: at most 3 x its size + 64 MB (measured: about 2.2 x its size).
constexpr double kRealFactor = 3;
constexpr double kRealConstant = 64 * kMegabyte;
const double kSecondsPerRun = kAddressSanitizer ? 30 : 5;

struct Measured {
  int status = -1;
  std::string err;
  double seconds = 0;
  double peakBytes = 0;
};

// Runs pelorin-cli with args in folder cwd, stdout to /dev/null, stderr kept.
Measured RunMeasured(const std::vector<std::string>& args, const fs::path& cwd) {
  const fs::path errFile = cwd / "stderr.txt";
  std::vector<std::string> argvText = {PELORIN_CLI};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The child's peak counts this process's resident memory at the fork: give back what the
  // heap holds unused first.
  malloc_trim(0);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open("/dev/null", O_WRONLY);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(cwd.c_str()) != 0 || out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(127);
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "C", 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Measured m;
  if (pid < 0) return m;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  m.peakBytes = double(usage.ru_maxrss) * 1024;  // kilobytes on Linux
  m.err = ReadText(errFile);
  return m;
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

// Noise-like sample bytes, so nothing about them is special.
Bytes SoundBytes(size_t n) {
  Bytes b(n);
  uint32_t x = 12345;
  for (uint8_t& v : b) v = uint8_t((x = x * 1103515245 + 12345) >> 24);
  return b;
}

// An AIFF image at 48000 Hz whose COMM frame count and SSND and FORM sizes are as given
// (negative: the true size), holding `sound`.
Bytes Aiff(uint32_t channels, uint32_t frames, uint32_t bits, const Bytes& sound,
           int64_t ssndSize = -1, int64_t formSize = -1) {
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("COMM", CommBody(channels, frames, bits, Extended80(48000))));
  Append(form, ChunkBE("SSND", SsndBody(sound), ssndSize));
  return ChunkBE("FORM", form, formSize);
}

// A WAV image at 48000 Hz whose "data" and "RIFF" sizes are as given (negative: the truth).
Bytes Wav(uint32_t channels, uint32_t bits, const Bytes& sound, int64_t dataSize = -1,
          int64_t riffSize = -1) {
  const uint32_t blockAlign = channels * ((bits + 7) / 8);
  Bytes form;
  PutTag(form, "WAVE");
  Append(form, ChunkLE("fmt ", FmtBody(channels, 48000, bits, blockAlign)));
  Append(form, ChunkLE("data", sound, dataSize));
  return ChunkLE("RIFF", form, riffSize);
}

class ResourceBounds : public CliTest {
 protected:
  fs::path Work(const std::string& name) const { return dir_ / "work" / name; }

  // Runs one command on one file, prints what it cost and checks the bounds; the bytes of an
  // output file named out.mmf count as well.
  Measured Check(const std::vector<std::string>& args, double fileBytes, double factor,
                 double constant) {
    const Measured m = RunMeasured(args, dir_ / "work");
    std::error_code error;
    const auto written = fs::file_size(Work("out.mmf"), error);
    const double outputBytes = error ? 0.0 : double(written);
    std::printf("measured: %-40s %-8s file %8.2f MB  out %8.2f MB  peak %7.2f MB  %6.3f s\n",
                args.back().c_str(), args.front().c_str(), fileBytes / kMegabyte,
                outputBytes / kMegabyte, m.peakBytes / kMegabyte, m.seconds);
    EXPECT_LE(m.seconds, kSecondsPerRun) << args.back();
    if (!kAddressSanitizer) {
      EXPECT_LE(m.peakBytes, factor * fileBytes + kOutputFactor * outputBytes + constant)
          << args.front() << " " << args.back() << ": peak " << m.peakBytes / kMegabyte
          << " MB for a file of " << fileBytes / kMegabyte << " MB";
    }
    return m;
  }
};

TEST_F(ResourceBounds, HeadersDeclaringHugeSizesCostWhatTheFileHolds) {
  Bytes sound = SoundBytes(1 << 20);  // 1 MB present
  // The largest SSND a FORM of 0x7FFFFFF0 bytes holds after COMM, and frames to match.
  const int64_t hugeForm = 0x7FFFFFF0;
  const int64_t hugeSsnd = 0x7FFFFF00;
  const auto mono16Frames = uint32_t((hugeSsnd - 8) / 2);
  struct Case {
    std::string name;
    Bytes image;
    std::string refusal;  // the engine's; empty: the engine loads it
  };
  std::vector<Case> cases = {
      {"comm-frames-2^31.aif", Aiff(2, 0x7FFFFFFF, 16, sound), "Audio format not supported"},
      {"comm-frames-2^32-1.aif", Aiff(1, 0xFFFFFFFF, 16, sound), "Audio format not supported"},
      {"ssnd-and-form-2^31.aif", Aiff(1, mono16Frames, 16, sound, hugeSsnd, hugeForm), ""},
      {"ssnd-2^31-frames-true.aif",
       Aiff(1, uint32_t(sound.size() / 2), 16, sound, hugeSsnd, hugeForm), ""},
      {"form-2^31.aif", Aiff(1, uint32_t(sound.size() / 2), 16, sound, -1, hugeForm), ""},
      {"8bit-mono-1GiB.aif", Aiff(1, 0x3FFFFF00, 8, sound, hugeSsnd, hugeForm), ""},
      {"8bit-stereo-over-1GiB.aif", Aiff(2, 0x20000100, 8, sound, hugeSsnd, hugeForm),
       "Audio format not supported"},
      {"riff-2^31.wav", Wav(1, 16, sound, -1, hugeForm), "Audio format not supported"},
      {"data-2^31.wav", Wav(1, 16, sound, hugeSsnd, hugeForm), "Audio format not supported"},
      {"8bit-stereo-over-1GiB.wav", Wav(2, 8, sound, 0x40000200, hugeForm),
       "Audio format not supported"},
  };
  // The images are written and let go first: a child's peak counts this process's resident
  // memory at the fork.
  std::vector<double> sizes;
  for (Case& c : cases) {
    WriteBytes(Work(c.name), c.image);
    sizes.push_back(double(c.image.size()));
    Bytes().swap(c.image);
  }
  Bytes().swap(sound);
  const Measured floor = RunMeasured({"--version"}, dir_ / "work");
  std::printf("measured: pelorin-cli --version peak %.2f MB\n", floor.peakBytes / kMegabyte);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const double size = sizes[i];
    const Measured inspect = Check({"inspect", c.name}, size, kCraftedFactor, kCraftedConstant);
    // Variant 0 keeps 66.04 s; variant 1 converts the whole declared clip, however long.
    for (const char* variant : {"0", "1"}) {
      const Measured convert = Check({"convert", "--variant", variant, "-o", "out.mmf", c.name},
                                     size, kCraftedFactor, kCraftedConstant);
      // What the engine refuses, libsndfile decodes as far as the file holds sound, and the
      // user hears of the damage.
      EXPECT_EQ(convert.status, 0) << convert.err;
      EXPECT_TRUE(fs::exists(Work("out.mmf")));
      if (!c.refusal.empty()) {
        EXPECT_EQ(convert.err.rfind("note: " + c.name + ": damaged (", 0), 0u) << convert.err;
      }
      fs::remove(Work("out.mmf"));
    }
    EXPECT_EQ(inspect.status, 0) << inspect.err;
    fs::remove(Work(c.name));
  }
}

// Two minutes of 48 kHz 16-bit stereo (23 MB): memory in proportion to the file.
TEST_F(ResourceBounds, RealLargeInputCostsInProportionToItsSize) {
  constexpr uint32_t kFrames = 120 * 48000;
  ASSERT_TRUE(WriteToneWav(Work("long.wav"), 48000, 2, kFrames));
  const auto size = double(fs::file_size(Work("long.wav")));
  ASSERT_EQ(size, 44.0 + kFrames * 4);
  const Measured inspect = Check({"inspect", "long.wav"}, size, kRealFactor, kRealConstant);
  EXPECT_EQ(inspect.status, 0) << inspect.err;
  for (const char* variant : {"0", "1"}) {
    const Measured convert = Check({"convert", "--variant", variant, "-o", "out.mmf", "long.wav"},
                                   size, kRealFactor, kRealConstant);
    EXPECT_EQ(convert.status, 0) << convert.err;
  }
}

// Two hours of FLAC, decoded by libsndfile: a chosen half minute, or the part a variant 0 file
// keeps, costs what that part needs, not what the file holds.
TEST_F(ResourceBounds, ALongDecodedFileCostsWhatThePartNeeds) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sox";
  const std::string make =
      "head -c 115200000 /dev/zero | sox -V1 -t raw -r 8000 -e signed -b 16 "
      "-c 1 - " +
      Work("podcast.flac").string();
  ASSERT_EQ(std::system(make.c_str()), 0);
  const std::vector<std::vector<std::string>> runs = {
      {"convert", "--start", "1:59:00", "--length", "30", "-o", "out.mmf", "podcast.flac"},
      {"convert", "-o", "out.mmf", "podcast.flac"}};
  for (const std::vector<std::string>& args : runs) {
    // Held whole, the two hours would take over 300 MB; the bound is 32 MB.
    const Measured m = Check(args, 0.0, 0.0, kCraftedConstant);
    EXPECT_EQ(m.status, 0) << m.err;
  }
}

}  // namespace
