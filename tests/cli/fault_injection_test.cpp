// `pelorin-cli convert` run as a separate process while things go wrong around it: folders
// that cannot take the file, disks that fill, inputs that vanish or are shorter than their
// headers say, memory that runs out. Whatever happens, an old target stays as it was and no
// temporary file is left behind.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iostream>
#include <set>

#include "support/cli_fixture.h"
#include "support/image_builder.h"
#include "support/sanitizers.h"

namespace {

using namespace pelorin::test;
namespace fs = std::filesystem;

constexpr char kOldTarget[] = "an old target that must survive";

// A 440 Hz tone at 8000 Hz as 16-bit samples, little- or big-endian.
Bytes ToneSamples(int frames, bool bigEndian) {
  Bytes b;
  for (int i = 0; i < frames; ++i) {
    const auto s = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 8000));
    if (bigEndian) {
      PutU16BE(b, uint16_t(s));
    } else {
      PutU16LE(b, uint16_t(s));
    }
  }
  return b;
}

// Two seconds make a file of about 8 KB: more than one page of a tmpfs.
Bytes ToneWav(int frames = 16000) {
  return WavImage(1, 8000, 16, ToneSamples(frames, false));
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, Bytes(text.begin(), text.end()));
}

// Every name in a folder, hidden ones included, so a left temporary file shows.
std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Lowers a resource limit of this process, and so of the programs it starts, while it lives.
class ScopedLimit {
 public:
  ScopedLimit(int resource, rlim_t soft) : resource_(resource) {
    getrlimit(resource_, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    setrlimit(resource_, &lowered);
  }
  ~ScopedLimit() { setrlimit(resource_, &saved_); }
  ScopedLimit(const ScopedLimit&) = delete;
  ScopedLimit& operator=(const ScopedLimit&) = delete;

 private:
  int resource_;
  rlimit saved_{};
};

class FaultCli : public CliTest {
 protected:
  void TearDown() override {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
    std::error_code ec;
    for (const fs::path& dir : locked_) fs::permissions(dir, fs::perms::owner_all, ec);
    CliTest::TearDown();
  }

  fs::path Work(const std::string& name) const { return dir_ / "work" / name; }

  // Mounts a fresh tmpfs on a new folder of the work folder. False when not root or refused.
  bool MountTmpfs(const std::string& name, const std::string& options) {
    const fs::path dir = Work(name);
    fs::create_directory(dir);
    if (geteuid() != 0) return false;
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    mounts_.push_back(dir);
    return true;
  }

  // A folder "ro" holding an old target a.mmf, into which no file can be written: a read-only
  // tmpfs for root (who writes into any folder whatever its mode), mode 0555 for anyone else.
  bool MakeReadOnlyFolder() {
    if (geteuid() == 0) {
      if (!MountTmpfs("ro", "size=1m")) return false;
      WriteText(Work("ro/a.mmf"), kOldTarget);
      return mount(nullptr, Work("ro").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    fs::create_directory(Work("ro"));
    WriteText(Work("ro/a.mmf"), kOldTarget);
    locked_.push_back(Work("ro"));
    fs::permissions(Work("ro"), fs::perms(0555));
    return true;
  }

  // Fills the file system of `dir` with a file "filler" until `leave` bytes are free.
  void FillUntil(const fs::path& dir, uint64_t leave) {
    struct statvfs info {};
    ASSERT_EQ(statvfs(dir.c_str(), &info), 0);
    const uint64_t free = uint64_t{info.f_bfree} * info.f_frsize;
    ASSERT_GT(free, leave);
    WriteBytes(dir / "filler", Bytes(free - leave, 0x55));
    ASSERT_EQ(statvfs(dir.c_str(), &info), 0);
    ASSERT_EQ(uint64_t{info.f_bfree} * info.f_frsize, leave);
  }

  std::vector<fs::path> mounts_;
  std::vector<fs::path> locked_;
};

TEST_F(FaultCli, ReadOnlyFolderKeepsTheOldTarget) {
  if (!MakeReadOnlyFolder())
    GTEST_SKIP() << "running as root, and a read-only tmpfs could not be mounted";
  WriteBytes(Work("a.wav"), ToneWav());
  for (const auto& target :
       std::vector<std::vector<std::string>>{{"-d", "ro"}, {"-o", "ro/a.mmf"}}) {
    SCOPED_TRACE(target[0]);
    const CliRun r = Cli({"convert", target[0], target[1], "a.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "pelorin-cli: a.wav: Cannot save KIVRA file (")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadText(Work("ro/a.mmf")), kOldTarget);
    EXPECT_EQ(Entries(Work("ro")), std::set<std::string>{"a.mmf"});
  }
}

TEST_F(FaultCli, TargetThatIsAFolderIsLeftAlone) {
  WriteBytes(Work("a.wav"), ToneWav());
  struct Case {
    std::vector<std::string> options;
    std::string folder;
  };
  const Case cases[] = {
      {{}, "a.mmf"},                // the default name beside the input
      {{"-o", "b.mmf"}, "b.mmf"},   // named
      {{"-o", "c.mmf/"}, "c.mmf"},  // named as a folder
      {{"-d", "d"}, "d/a.mmf"},     // inside the folder given
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    fs::create_directories(Work(c.folder));
    WriteText(Work(c.folder) / "inside", kOldTarget);
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("a.wav");
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "pelorin-cli: a.wav: Cannot save KIVRA file (")) << r.err;
    EXPECT_TRUE(fs::is_directory(Work(c.folder)));
    EXPECT_EQ(Entries(Work(c.folder)), std::set<std::string>{"inside"});
    EXPECT_EQ(ReadText(Work(c.folder) / "inside"), kOldTarget);
  }
  // Nothing but the input and the folders remains.
  EXPECT_EQ(Entries(Work("")), (std::set<std::string>{"a.wav", "a.mmf", "b.mmf", "c.mmf", "d"}));
  EXPECT_EQ(Entries(Work("d")), std::set<std::string>{"a.mmf"});
}

// A device, a pipe or a link to one stays what it is: convert and decode refuse to put a
// plain file in its place (as `-o /dev/null` run as root would have).
TEST_F(FaultCli, TargetsThatAreNotRegularFilesAreLeftAlone) {
  WriteBytes(Work("a.wav"), ToneWav());
  ASSERT_EQ(Cli({"convert", "a.wav"}).status, 0);
  std::vector<std::string> nodes = {"pipe", "link-to-pipe"};
  ASSERT_EQ(mkfifo(Work("pipe").c_str(), 0644), 0);
  fs::create_symlink("pipe", Work("link-to-pipe"));
  // Like /dev/null; making one needs root.
  if (mknod(Work("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    nodes.push_back("null");
  } else {
    std::cout << "not root: no device node tried\n";
  }
  const auto kind = [](const fs::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
  };
  for (const std::string& node : nodes) {
    const auto before = kind(Work(node));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"convert", "-o", node, "a.wav"}, {"decode", "a.mmf", "-o", node}}) {
      SCOPED_TRACE(args[0] + " to " + node);
      const CliRun r = Cli(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(Contains(r.err, "cannot write " + node + ": not a regular file")) << r.err;
      EXPECT_EQ(kind(Work(node)), before);
    }
  }
  std::set<std::string> expected = {"a.wav", "a.mmf"};
  expected.insert(nodes.begin(), nodes.end());
  EXPECT_EQ(Entries(Work("")), expected);
}

// The temporary file beside the target has a longer name than the target; a target name at
// the file system's 255-byte limit must still be writable.
TEST_F(FaultCli, TargetNamesAtTheLengthLimitAreWritten) {
  WriteBytes(Work("a.wav"), ToneWav());
  std::string japanese;
  for (int i = 0; i < 83; ++i) japanese += "ベ";  // 249 bytes
  for (const std::string& name :
       {std::string(247, 'n') + ".mmf", std::string(251, 'n') + ".mmf", japanese + ".mmf"}) {
    SCOPED_TRACE(name.size());
    const CliRun r = Cli({"convert", "-o", name, "a.wav"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadText(Work(name)).substr(0, 4), "MMMD");
    EXPECT_EQ(Entries(Work("")), (std::set<std::string>{"a.wav", name}));
    fs::remove(Work(name));
  }
}

// A disk with less room than the file: refused before anything is written. With the room
// there, the same file is written.
TEST_F(FaultCli, FullDiskIsRefusedBeforeWriting) {
  if (!MountTmpfs("disk", "size=256k"))
    GTEST_SKIP() << "needs root to mount a small tmpfs (or mounting was refused)";
  WriteBytes(Work("a.wav"), ToneWav());
  WriteText(Work("disk/a.mmf"), kOldTarget);
  FillUntil(Work("disk"), 4096);  // one page; the file takes about 8 KB

  const CliRun full = Cli({"convert", "-d", "disk", "a.wav"});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "pelorin-cli: a.wav: Disk space not enough\n");
  EXPECT_EQ(ReadText(Work("disk/a.mmf")), kOldTarget);
  EXPECT_EQ(Entries(Work("disk")), (std::set<std::string>{"a.mmf", "filler"}));

  fs::remove(Work("disk/filler"));
  const CliRun room = Cli({"convert", "-d", "disk", "a.wav"});
  EXPECT_EQ(room.status, 0) << room.err;
  EXPECT_EQ(ReadText(Work("disk/a.mmf")).substr(0, 4), "MMMD");
  EXPECT_EQ(Entries(Work("disk")), std::set<std::string>{"a.mmf"});
}

// A disk with room for the bytes but none for another file.
TEST_F(FaultCli, DiskWithoutFreeFileSlotsKeepsTheOldTarget) {
  if (!MountTmpfs("disk", "size=1m,nr_inodes=8"))
    GTEST_SKIP() << "needs root to mount a small tmpfs (or mounting was refused)";
  WriteBytes(Work("a.wav"), ToneWav());
  WriteText(Work("disk/a.mmf"), kOldTarget);
  int made = 0;
  for (;; ++made) {
    const std::string name = (Work("disk") / ("slot" + std::to_string(made))).string();
    const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) {
      ASSERT_EQ(errno, ENOSPC);
      break;
    }
    close(fd);
  }
  const CliRun r = Cli({"convert", "-d", "disk", "a.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "a.wav: Cannot save KIVRA file (")) << r.err;
  EXPECT_TRUE(Contains(r.err, std::strerror(ENOSPC))) << r.err;
  EXPECT_EQ(ReadText(Work("disk/a.mmf")), kOldTarget);
  EXPECT_EQ(Entries(Work("disk")).size(), size_t(made) + 1);
}

// The write itself fails part way (here at the file size limit): the old target survives and
// the half-written temporary file is removed. No root needed.
TEST_F(FaultCli, WriteFailingPartWayKeepsTheOldTarget) {
  WriteBytes(Work("a.wav"), ToneWav());
  WriteText(Work("a.mmf"), kOldTarget);
  CliRun r;
  {
    // Past the limit a write fails with EFBIG instead of ending the process.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const ScopedLimit limit(RLIMIT_FSIZE, 4096);
    r = Cli({"convert", "a.wav"});
    std::signal(SIGXFSZ, previous);
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "a.wav: Cannot save KIVRA file (cannot write a.mmf: ")) << r.err;
  EXPECT_EQ(ReadText(Work("a.mmf")), kOldTarget);
  EXPECT_EQ(Entries(Work("")), (std::set<std::string>{"a.wav", "a.mmf"}));
}

TEST_F(FaultCli, InputsThatCannotBeReadGiveMessageOne) {
  fs::create_symlink("gone.wav", Work("dangling.wav"));
  fs::create_symlink("loop.wav", Work("loop.wav"));
  ASSERT_EQ(mkfifo(Work("pipe.wav").c_str(), 0644), 0);
  fs::create_directory(Work("folder.wav"));
  for (const char* name : {"dangling.wav", "loop.wav", "pipe.wav", "folder.wav", "gone.wav"}) {
    for (const char* command : {"convert", "inspect"}) {
      SCOPED_TRACE(std::string(command) + " " + name);
      const CliRun r = Cli({command, name});
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, std::string("pelorin-cli: ") + name + ": Cannot open WAV/AIFF file\n");
    }
  }
  EXPECT_EQ(Entries(Work("")),
            (std::set<std::string>{"dangling.wav", "loop.wav", "pipe.wav", "folder.wav"}));
}

TEST_F(FaultCli, InputWithoutReadPermissionGivesMessageOne) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads a file of mode 000 anyway";
  WriteBytes(Work("a.wav"), ToneWav());
  fs::permissions(Work("a.wav"), fs::perms::none);
  const CliRun r = Cli({"convert", "a.wav"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pelorin-cli: a.wav: Cannot open WAV/AIFF file\n");
  EXPECT_FALSE(fs::exists(Work("a.mmf")));
}

// A WAV file must hold what its header says; an AIFF file may be cut short (a broken
// download) and loads, the missing frames silent.
TEST_F(FaultCli, InputsShorterThanTheirHeaders) {
  const Bytes wav = ToneWav(8000);
  const auto patchLE = [](Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return b;
  };
  const Bytes cutWav(wav.begin(), wav.begin() + long(wav.size() / 2));
  const Bytes longData = patchLE(wav, 40, 32000);
  const Bytes longRiff = patchLE(wav, 4, uint32_t(wav.size()));

  // 8000 frames present of 16000 declared; FORM and SSND count all of them.
  const Bytes sound = ToneSamples(8000, true);
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("COMM", CommBody(1, 16000, 16, Extended80(8000))));
  Append(form, ChunkBE("SSND", SsndBody(sound), 8 + 32000));
  const Bytes cutAiff = ChunkBE("FORM", form, int64_t(form.size()) + 16000);
  // Only FORM runs past the file.
  Bytes longForm = AiffImage(1, 8000, 16, sound);
  longForm[4] = 0x40;

  struct Case {
    std::string name;
    Bytes image;
    bool loads;
  };
  const Case cases[] = {
      {"cut.wav", cutWav, false},         {"long-data.wav", longData, false},
      {"long-riff.wav", longRiff, false}, {"cut.aif", cutAiff, true},
      {"long-form.aif", longForm, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Work(c.name), c.image);
    const CliRun r = Cli({"convert", "--variant", "1", "-o", "out.mmf", c.name});
    if (!c.loads) {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err.rfind("pelorin-cli: " + c.name + ": Audio format not supported (", 0), 0u)
          << r.err;
      EXPECT_FALSE(fs::exists(Work("out.mmf")));
      continue;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Cli({"decode", "out.mmf", "-o", "out.wav"}).status, 0);
    const std::string decoded = ReadText(Work("out.wav")).substr(44);
    std::vector<int> peaks;  // the loudest sample of each 1000
    for (size_t i = 0; i + 1 < decoded.size(); i += 2) {
      const int s = int16_t(uint8_t(decoded[i]) | uint8_t(decoded[i + 1]) << 8);
      if (i / 2 % 1000 == 0) peaks.push_back(0);
      peaks.back() = std::max(peaks.back(), std::abs(s));
    }
    const size_t declared = c.name == "cut.aif" ? 16 : 8;
    ASSERT_EQ(peaks.size(), declared);
    for (size_t k = 0; k < peaks.size(); ++k) {
      if (k < 8) {
        EXPECT_GT(peaks[k], 6000) << "frames from " << 1000 * k;
      } else if (k > 8) {
        EXPECT_LT(peaks[k], 64) << "frames from " << 1000 * k;
      }
    }
    fs::remove(Work("out.mmf"));
  }
}

// An input larger than the memory left is reported, not a crash.
TEST_F(FaultCli, InputLargerThanTheMemoryLeftIsReported) {
  if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space than allowed";
  {
    std::ofstream(Work("huge.wav")).put('\0');
    fs::resize_file(Work("huge.wav"), uint64_t{1} << 30);  // sparse: no disk space used
  }
  CliRun r;
  {
    const ScopedLimit limit(RLIMIT_AS, rlim_t{512} << 20);
    r = Cli({"convert", "huge.wav"});
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pelorin-cli: huge.wav: Cannot open WAV/AIFF file\n");
  EXPECT_FALSE(fs::exists(Work("huge.mmf")));
}

// Decoding takes about eight times the KIVRA file's size; when that is not there, the command
// says so instead of aborting.
TEST_F(FaultCli, DecodingBeyondTheMemoryLeftIsReported) {
  if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space than allowed";
  {
    // 30 minutes at 8000 Hz (29 MB), written in pieces; variant 1 keeps all of it (7 MB).
    constexpr uint32_t kFrames = 30 * 60 * 8000;
    std::ofstream out(Work("long.wav"), std::ios::binary);
    Bytes header;
    PutTag(header, "RIFF");
    PutU32LE(header, 4 + 24 + 8 + kFrames * 2);
    PutTag(header, "WAVE");
    Append(header, ChunkLE("fmt ", FmtBody(1, 8000, 16, 2)));
    PutTag(header, "data");
    PutU32LE(header, kFrames * 2);
    Append(header, ToneSamples(8000, false));
    for (uint32_t second = 0; second < kFrames / 8000; ++second) {
      out.write(reinterpret_cast<const char*>(header.data()) + (second == 0 ? 0 : 44),
                std::streamsize(second == 0 ? header.size() : header.size() - 44));
    }
    ASSERT_TRUE(out.good());
  }
  const CliRun convert = Cli({"convert", "--variant", "1", "long.wav"});
  ASSERT_EQ(convert.status, 0) << convert.err;
  fs::remove(Work("long.wav"));
  CliRun r;
  {
    // Room to start and to read the file, not for the 29 MB of samples.
    const ScopedLimit limit(RLIMIT_AS, rlim_t{24} << 20);
    r = Cli({"decode", "long.mmf", "-o", "long.wav"});
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pelorin-cli: out of memory\n");
  EXPECT_EQ(Entries(Work("")), std::set<std::string>{"long.mmf"});
}

}  // namespace
