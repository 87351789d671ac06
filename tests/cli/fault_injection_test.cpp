// How pelorin-cli reports what goes wrong around a conversion: one line on standard error that
// names the file, the message and the reason, exit status 1, nothing on standard output. The
// faults themselves are decided, and tested, by the pipeline (tests/pipeline); decode writes
// files of its own and is tested here whole.

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <iostream>
#include <set>

#include "support/cli_fixture.h"
#include "support/image_builder.h"
#include "support/sanitizers.h"
#include "support/tone_files.h"

namespace {

using namespace pelorin::test;
namespace fs = std::filesystem;

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

// Every name in a folder, hidden ones included, so a left temporary file shows.
std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

class FaultCli : public CliTest {
 protected:
  void TearDown() override {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
    CliTest::TearDown();
  }

  fs::path Work(const std::string& name) const { return dir_ / "work" / name; }

  // A small file system on the work folder's "disk" with one page left; false when not root.
  bool FullDisk() {
    const fs::path dir = Work("disk");
    fs::create_directory(dir);
    if (geteuid() != 0 || mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0) return false;
    mounts_.push_back(dir);
    struct statvfs info {};
    statvfs(dir.c_str(), &info);
    WriteBytes(dir / "filler", Bytes(uint64_t{info.f_bfree} * info.f_frsize - 4096, 0x55));
    return true;
  }

  std::vector<fs::path> mounts_;
};

TEST_F(FaultCli, OutcomesBecomeOneLineAndExitStatusOne) {
  const Bytes wav = WavImage(1, 8000, 16, ToneSamples(16000));
  WriteBytes(Work("a.wav"), wav);
  // Cut inside its header: no decoder makes sound of it.
  WriteBytes(Work("cut.wav"), Bytes(wav.begin(), wav.begin() + 30));
  fs::create_directory(Work("b.mmf"));
  fs::create_directory(Work("folder.wav"));
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  std::vector<Case> cases = {
      {{"convert", "-o", "b.mmf", "a.wav"},
       "pelorin-cli: a.wav: Cannot save KIVRA file (cannot write b.mmf: Is a directory)\n"},
      {{"convert", "folder.wav"}, "pelorin-cli: folder.wav: Cannot open WAV/AIFF file\n"},
      {{"inspect", "folder.wav"}, "pelorin-cli: folder.wav: Cannot open WAV/AIFF file\n"},
      {{"convert", "cut.wav"},
       "pelorin-cli: cut.wav: Audio format not supported (offset 4: \"RIFF\" chunk declares "
       "32036 bytes; the file has 22 after its header)\n"},
  };
  if (FullDisk()) {
    cases.push_back(
        {{"convert", "-d", "disk", "a.wav"}, "pelorin-cli: a.wav: Disk space not enough\n"});
  } else {
    std::cout << "not root: no full disk tried\n";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
}

// A pipe, a link to one or a device stays what it is: decode refuses to put a plain file in its
// place (as `-o /dev/null` run as root would have).
TEST_F(FaultCli, DecodeLeavesTargetsThatAreNotRegularFilesAlone) {
  WriteBytes(Work("a.wav"), WavImage(1, 8000, 16, ToneSamples(16000)));
  ASSERT_EQ(Cli({"convert", "a.wav"}).status, 0);
  std::vector<std::string> nodes = {"pipe", "link-to-pipe"};
  ASSERT_EQ(mkfifo(Work("pipe").c_str(), 0644), 0);
  fs::create_symlink("pipe", Work("link-to-pipe"));
  if (mknod(Work("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    nodes.push_back("null");
  } else {
    std::cout << "not root: no device node tried\n";
  }
  for (const std::string& node : nodes) {
    SCOPED_TRACE(node);
    const auto before = fs::symlink_status(Work(node)).type();
    const CliRun r = Cli({"decode", "a.mmf", "-o", node});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "pelorin-cli: cannot write " + node + ": not a regular file\n");
    EXPECT_EQ(fs::symlink_status(Work(node)).type(), before);
  }
  std::set<std::string> expected = {"a.wav", "a.mmf"};
  expected.insert(nodes.begin(), nodes.end());
  EXPECT_EQ(Entries(Work("")), expected);
}

// Decoding takes about eight times the KIVRA file's size; when that is not there, the command
// says so instead of aborting.
TEST_F(FaultCli, DecodingBeyondTheMemoryLeftIsReported) {
  if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space than allowed";
  // 30 minutes at 8000 Hz (29 MB); variant 1 keeps all of it (7 MB).
  ASSERT_TRUE(WriteToneWav(Work("long.wav"), 8000, 1, 30 * 60 * 8000));
  const CliRun convert = Cli({"convert", "--variant", "1", "long.wav"});
  ASSERT_EQ(convert.status, 0) << convert.err;
  fs::remove(Work("long.wav"));
  CliRun r;
  {
    // Room to start and to read the file, not for the 29 MB of samples.
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
    rlimit lowered = saved;
    lowered.rlim_cur = rlim_t{24} << 20;
    setrlimit(RLIMIT_AS, &lowered);
    r = Cli({"decode", "long.mmf", "-o", "long.wav"});
    setrlimit(RLIMIT_AS, &saved);
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pelorin-cli: out of memory\n");
  EXPECT_EQ(Entries(Work("")), std::set<std::string>{"long.mmf"});
}

}  // namespace
