// One conversion while things go wrong around it: folders that cannot take the file, disks that
// fill, targets that are no plain files, inputs that vanish, cannot be read or are shorter than
// their headers say, memory that runs out. The pipeline decides all of it, so it is tested
// here, in process; the front ends only show the outcome. Whatever happens, an old target stays
// as it was and no temporary file is left behind. Mounting a small file system needs root; the
// other cases run as anyone.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/adpcm_decoder.h"
#include "kivra/kivra_reader.h"
#include "pipeline/conversion.h"
#include "support/image_builder.h"
#include "support/sanitizers.h"
#include "support/tone_files.h"

namespace pelorin {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr char kOldTarget[] = "an old target that must survive";

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, Bytes(text.begin(), text.end()));
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every name in a folder, hidden ones included, so a left temporary file shows.
std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// Two seconds make a file of about 8 KB: more than one page of a small file system.
Bytes ToneWav(int frames = 16000) {
  return WavImage(1, 8000, 16, ToneSamples(frames));
}

// Lowers a resource limit of this process while it lives.
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

class PipelineFaults : public ::testing::Test {
 public:
  // Takes write permission away from a folder until the test ends.
  void Lock(const fs::path& folder) {
    locked_.push_back(folder);
    fs::permissions(folder, fs::perms(0555));
  }

 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "pelorin-faults-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }

  void TearDown() override {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
    std::error_code ec;
    for (const fs::path& dir : locked_) fs::permissions(dir, fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  // A fresh small file system on a new folder; false when not root or refused.
  bool MountTmpfs(const fs::path& folder, const std::string& options) {
    fs::create_directories(folder);
    if (geteuid() != 0) return false;
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    mounts_.push_back(folder);
    return true;
  }

  // Fills the file system of `folder` with a file "filler" until `leave` bytes are free.
  static void FillUntil(const fs::path& folder, uint64_t leave) {
    struct statvfs info {};
    ASSERT_EQ(statvfs(folder.c_str(), &info), 0);
    const uint64_t free = uint64_t{info.f_bfree} * info.f_frsize;
    ASSERT_GT(free, leave);
    WriteBytes(folder / "filler", Bytes(free - leave, 0x55));
    ASSERT_EQ(statvfs(folder.c_str(), &info), 0);
    ASSERT_EQ(uint64_t{info.f_bfree} * info.f_frsize, leave);
  }

  // Converts input into target with the settings a user who changes nothing gets; freeBytes is
  // what the free-space query answers, the file system's own count when not given.
  static ConversionOutcome Convert(const fs::path& input, const fs::path& target,
                                   std::optional<double> freeBytes = std::nullopt,
                                   int variant = 0) {
    Conversion conversion;
    const ConversionOutcome opened = conversion.Open(input.string());
    if (!opened.Succeeded()) return opened;
    UserChoices choices;
    choices.variant = variant;
    const SettingsChoice settings = conversion.Settings(choices, Language::kEnglish);
    EXPECT_TRUE(settings.refusal.empty());
    Conversion::FreeSpaceQuery query;
    if (freeBytes) query = [bytes = *freeBytes](const std::string&) { return bytes; };
    return conversion.Finish(settings.settings, target.string(), query);
  }

  fs::path dir_;
  std::vector<fs::path> mounts_;
  std::vector<fs::path> locked_;
};

// Where the file cannot go: the message, the system's reason, and nothing changed.
TEST_F(PipelineFaults, TargetsThatCannotTakeTheFile) {
  struct Case {
    std::string name;
    // Makes the fault in `folder`, which holds a.wav; returns why it cannot be made here, or
    // nothing. The target is folder/target.
    std::function<std::optional<std::string>(PipelineFaults&, const fs::path& folder)> arrange;
    std::string target;
    int message;
    std::string detail;  // a part of the reason given
    std::optional<double> freeBytes;
  };
  const std::vector<Case> cases = {
      {"read-only folder",
       [&](PipelineFaults& t, const fs::path& folder) -> std::optional<std::string> {
         WriteText(folder / "a.mmf", kOldTarget);
         // Root writes into a folder of any mode; a read-only file system stops it.
         if (geteuid() != 0) {
           t.Lock(folder);
           return std::nullopt;
         }
         if (mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
           return "the small file system could not be made read-only";
         return std::nullopt;
       },
       "a.mmf",
       kStrCannotSave,
       "cannot ",
       {}},
      {"target is a folder",
       [](PipelineFaults&, const fs::path& folder) -> std::optional<std::string> {
         fs::create_directory(folder / "a.mmf");
         WriteText(folder / "a.mmf" / "inside", kOldTarget);
         return std::nullopt;
       },
       "a.mmf",
       kStrCannotSave,
       std::strerror(EISDIR),
       {}},
      {"target named as a folder",
       [](PipelineFaults&, const fs::path& folder) -> std::optional<std::string> {
         fs::create_directory(folder / "a.mmf");
         return std::nullopt;
       },
       "a.mmf/",
       kStrCannotSave,
       std::strerror(EISDIR),
       {}},
      {"target is a pipe",
       [](PipelineFaults&, const fs::path& folder) -> std::optional<std::string> {
         EXPECT_EQ(mkfifo((folder / "a.mmf").c_str(), 0644), 0);
         return std::nullopt;
       },
       "a.mmf",
       kStrCannotSave,
       "not a regular file",
       {}},
      {"target is a link to a pipe",
       [](PipelineFaults&, const fs::path& folder) -> std::optional<std::string> {
         EXPECT_EQ(mkfifo((folder / "pipe").c_str(), 0644), 0);
         fs::create_symlink("pipe", folder / "a.mmf");
         return std::nullopt;
       },
       "a.mmf",
       kStrCannotSave,
       "not a regular file",
       {}},
      {"target is a device",
       [](PipelineFaults&, const fs::path& folder) -> std::optional<std::string> {
         // Like /dev/null; making one needs root.
         if (mknod((folder / "a.mmf").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
           return "making a device node needs root";
         return std::nullopt;
       },
       "a.mmf",
       kStrCannotSave,
       "not a regular file",
       {}},
      {"folder missing",
       [](PipelineFaults&, const fs::path&) -> std::optional<std::string> { return std::nullopt; },
       "gone/a.mmf",
       kStrCannotSave,
       "no folder",
       {}},
      {"disk full before the write",
       [](PipelineFaults&, const fs::path& folder) -> std::optional<std::string> {
         WriteText(folder / "a.mmf", kOldTarget);
         FillUntil(folder, 4096);  // one page; the file takes about 8 KB
         return std::nullopt;
       },
       "a.mmf",
       kStrDiskSpace,
       "",
       {}},
      {"disk filling during the write",
       [](PipelineFaults&, const fs::path& folder) -> std::optional<std::string> {
         WriteText(folder / "a.mmf", kOldTarget);
         FillUntil(folder, 4096);
         return std::nullopt;
       },
       "a.mmf", kStrCannotSave, std::strerror(ENOSPC), 1e12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = Path(c.name);
    // The disk cases need a small file system of their own, and so does root's read-only one.
    const bool small =
        c.name.starts_with("disk") || (c.name == "read-only folder" && geteuid() == 0);
    if (small && !MountTmpfs(folder, "size=256k")) {
      std::cout << "skipped " << c.name << ": needs root to mount a small file system\n";
      continue;
    }
    fs::create_directories(folder);
    WriteBytes(folder / "a.wav", ToneWav());
    if (const std::optional<std::string> skip = c.arrange(*this, folder)) {
      std::cout << "skipped " << c.name << ": " << *skip << '\n';
      continue;
    }
    const std::set<std::string> before = Entries(folder);
    const auto kind = [&] { return fs::symlink_status(folder / "a.mmf").type(); };
    const fs::file_type kindBefore = kind();

    const ConversionOutcome outcome = Convert(folder / "a.wav", folder / c.target, c.freeBytes);
    EXPECT_EQ(outcome.messageId, c.message);
    EXPECT_EQ(outcome.failedStep, nullptr);
    EXPECT_NE(outcome.detail.find(c.detail), std::string::npos) << outcome.detail;
    EXPECT_EQ(Entries(folder), before);
    EXPECT_EQ(kind(), kindBefore);
    // Never read a pipe: with no writer it would wait for ever.
    if (kindBefore == fs::file_type::regular) {
      EXPECT_EQ(ReadText(folder / "a.mmf"), kOldTarget);
    }
    if (fs::exists(folder / "a.mmf" / "inside")) {
      EXPECT_EQ(ReadText(folder / "a.mmf" / "inside"), kOldTarget);
    }
  }
}

// A file system with room for the bytes but none for another file, and a write that fails part
// way (at the file size limit): the old target survives, the half-written file goes.
TEST_F(PipelineFaults, WritesFailingAfterTheSpaceCheck) {
  const fs::path folder = Path("out");
  WriteBytes(Path("a.wav"), ToneWav());
  {
    fs::create_directory(folder);
    WriteText(folder / "a.mmf", kOldTarget);
    // Past the limit a write fails with EFBIG instead of ending the process.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ConversionOutcome outcome;
    {
      const ScopedLimit limit(RLIMIT_FSIZE, 4096);
      outcome = Convert(Path("a.wav"), folder / "a.mmf");
    }
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(outcome.messageId, kStrCannotSave);
    EXPECT_NE(outcome.detail.find("cannot write"), std::string::npos) << outcome.detail;
    EXPECT_EQ(ReadText(folder / "a.mmf"), kOldTarget);
    EXPECT_EQ(Entries(folder), std::set<std::string>{"a.mmf"});
  }
  const fs::path slots = Path("slots");
  if (!MountTmpfs(slots, "size=1m,nr_inodes=8")) {
    std::cout << "skipped the full inode table: needs root to mount a small file system\n";
    return;
  }
  WriteText(slots / "a.mmf", kOldTarget);
  int made = 0;
  for (;; ++made) {
    const int fd =
        open((slots / ("slot" + std::to_string(made))).c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) {
      ASSERT_EQ(errno, ENOSPC);
      break;
    }
    close(fd);
  }
  const ConversionOutcome outcome = Convert(Path("a.wav"), slots / "a.mmf");
  EXPECT_EQ(outcome.messageId, kStrCannotSave);
  EXPECT_NE(outcome.detail.find(std::strerror(ENOSPC)), std::string::npos) << outcome.detail;
  EXPECT_EQ(ReadText(slots / "a.mmf"), kOldTarget);
  EXPECT_EQ(Entries(slots).size(), size_t(made) + 1);
}

// The temporary file beside the target has a longer name than the target; a target name at the
// file system's 255-byte limit must still be writable.
TEST_F(PipelineFaults, TargetNamesAtTheLengthLimitAreWritten) {
  WriteBytes(Path("a.wav"), ToneWav());
  std::string japanese;
  for (int i = 0; i < 83; ++i) japanese += "ベ";  // 249 bytes
  for (const std::string& name :
       {std::string(247, 'n') + ".mmf", std::string(251, 'n') + ".mmf", japanese + ".mmf"}) {
    SCOPED_TRACE(name.size());
    const ConversionOutcome outcome = Convert(Path("a.wav"), Path(name));
    EXPECT_TRUE(outcome.Succeeded()) << outcome.detail;
    EXPECT_EQ(ReadText(Path(name)).substr(0, 4), "MMMD");
    EXPECT_EQ(Entries(dir_), (std::set<std::string>{"a.wav", name}));
    fs::remove(Path(name));
  }
}

// Inputs that cannot be read whole are message 1, and nothing is written.
TEST_F(PipelineFaults, InputsThatCannotBeRead) {
  struct Case {
    std::string name;
    std::function<std::optional<std::string>(const fs::path& input)> arrange;
  };
  const std::vector<Case> cases = {
      {"gone", [](const fs::path&) -> std::optional<std::string> { return std::nullopt; }},
      {"dangling link",
       [](const fs::path& input) -> std::optional<std::string> {
         fs::create_symlink("gone.wav", input);
         return std::nullopt;
       }},
      {"link loop",
       [](const fs::path& input) -> std::optional<std::string> {
         fs::create_symlink(input.filename(), input);
         return std::nullopt;
       }},
      {"pipe",
       [](const fs::path& input) -> std::optional<std::string> {
         EXPECT_EQ(mkfifo(input.c_str(), 0644), 0);
         return std::nullopt;
       }},
      {"folder",
       [](const fs::path& input) -> std::optional<std::string> {
         fs::create_directory(input);
         return std::nullopt;
       }},
      {"no read permission",
       [](const fs::path& input) -> std::optional<std::string> {
         if (geteuid() == 0) return "root reads a file of mode 000 anyway";
         WriteBytes(input, ToneWav());
         fs::permissions(input, fs::perms::none);
         return std::nullopt;
       }},
      {"larger than the memory left",
       [](const fs::path& input) -> std::optional<std::string> {
         if (kAddressSanitizer) return "AddressSanitizer needs more address space than allowed";
         std::ofstream(input).put('\0');
         fs::resize_file(input, uint64_t{1} << 30);  // sparse: no disk space used
         return std::nullopt;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = Path(c.name);
    fs::create_directory(folder);
    if (const std::optional<std::string> skip = c.arrange(folder / "a.wav")) {
      std::cout << "skipped " << c.name << ": " << *skip << '\n';
      continue;
    }
    ConversionOutcome outcome;
    if (c.name == "larger than the memory left") {
      // Room for a quarter of the file beyond what this process has mapped now.
      std::ifstream statm("/proc/self/statm");
      long pages = 0;
      statm >> pages;
      const ScopedLimit limit(RLIMIT_AS,
                              rlim_t(pages * sysconf(_SC_PAGESIZE)) + (rlim_t{256} << 20));
      outcome = Convert(folder / "a.wav", folder / "a.mmf");
    } else {
      outcome = Convert(folder / "a.wav", folder / "a.mmf");
    }
    EXPECT_EQ(outcome.messageId, kStrCannotOpen);
    EXPECT_FALSE(fs::exists(folder / "a.mmf"));
  }
}

// The loudest decoded sample of each 1000 of a mono KIVRA file.
std::vector<int> PeaksPerThousand(const std::string& file) {
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  const KivraReport report = ReadKivra(bytes);
  if (!report.Sound() || report.channels != 1) return {};
  const std::vector<int16_t> pcm =
      DecodeAdpcm(bytes.subspan(*report.adpcmOffset, report.adpcmLength), 1);
  std::vector<int> peaks;
  for (size_t i = 0; i < pcm.size(); ++i) {
    if (i % 1000 == 0) peaks.push_back(0);
    peaks.back() = std::max(peaks.back(), std::abs(int(pcm[i])));
  }
  return peaks;
}

// A WAV file must hold what its header says; an AIFF file may be cut short (a broken download)
// and converts as the whole clip it declares, the missing frames silent.
TEST_F(PipelineFaults, InputsShorterThanTheirHeaders) {
  const Bytes wav = ToneWav(8000);
  const auto patchLE = [](Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return b;
  };
  // 8000 frames present of 16000 declared; FORM and SSND count all of them.
  const Bytes sound = ToneSamples(8000, true);
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("COMM", CommBody(1, 16000, 16, Extended80(8000))));
  Append(form, ChunkBE("SSND", SsndBody(sound), 8 + 32000));
  // Only FORM runs past the file.
  Bytes longForm = AiffImage(1, 8000, 16, sound);
  longForm[4] = 0x40;

  struct Case {
    std::string name;
    Bytes image;
    int64_t refusedAt;         // the offset the refusal names; -1: converts
    size_t declaredThousands;  // frames the header counts, in thousands
  };
  const Case cases[] = {
      {"cut.wav", Bytes(wav.begin(), wav.begin() + long(wav.size() / 2)), 4, 0},
      {"long-data.wav", patchLE(wav, 40, 32000), 40, 0},
      {"long-riff.wav", patchLE(wav, 4, uint32_t(wav.size())), 4, 0},
      {"cut.aif", ChunkBE("FORM", form, int64_t(form.size()) + 16000), -1, 16},
      {"long-form.aif", longForm, -1, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Path(c.name), c.image);
    const ConversionOutcome outcome = Convert(Path(c.name), Path("out.mmf"), {}, 1);
    if (c.refusedAt >= 0) {
      EXPECT_EQ(outcome.messageId, kStrFormatNotSupported);
      EXPECT_EQ(outcome.refusal.category, RefusalCategory::kContainer);
      EXPECT_EQ(outcome.refusal.offset, c.refusedAt);
      EXPECT_FALSE(fs::exists(Path("out.mmf")));
      continue;
    }
    ASSERT_TRUE(outcome.Succeeded());
    const std::vector<int> peaks = PeaksPerThousand(ReadText(Path("out.mmf")));
    ASSERT_EQ(peaks.size(), c.declaredThousands);
    for (size_t k = 0; k < peaks.size(); ++k) {
      // The sound while the file has it, silence after it (past the filter's reach).
      if (k < 8) {
        EXPECT_GT(peaks[k], 6000) << "frames from " << 1000 * k;
      } else if (k > 8) {
        EXPECT_LT(peaks[k], 64) << "frames from " << 1000 * k;
      }
    }
    fs::remove(Path("out.mmf"));
  }
}

// The input is read whole when it is opened: without it the file is still written; without its
// folder there is nowhere to write, and no folder is made.
TEST_F(PipelineFaults, InputOrItsFolderGoneBeforeTheFinish) {
  for (const bool folderToo : {false, true}) {
    SCOPED_TRACE(folderToo ? "the folder" : "the file");
    const fs::path folder = Path(folderToo ? "folder" : "file");
    fs::create_directory(folder);
    WriteBytes(folder / "a.wav", ToneWav());
    Conversion conversion;
    ASSERT_TRUE(conversion.Open((folder / "a.wav").string()).Succeeded());
    if (folderToo) {
      fs::remove_all(folder);
    } else {
      fs::remove(folder / "a.wav");
    }
    const ConversionOutcome outcome = conversion.Finish(
        conversion.Settings({}, Language::kEnglish).settings, conversion.DefaultOutputPath());
    if (folderToo) {
      EXPECT_EQ(outcome.messageId, kStrCannotSave);
      EXPECT_FALSE(fs::exists(folder));
    } else {
      EXPECT_TRUE(outcome.Succeeded());
      EXPECT_EQ(Entries(folder), std::set<std::string>{"a.mmf"});
    }
  }
}

}  // namespace
}  // namespace pelorin
