// The drop workflow while things go wrong around it: folders that cannot take the file, disks
// that fill during the write, inputs that vanish or are shorter than their headers say, memory
// that runs out. The user gets the matching message, an old target stays as it was and no
// temporary file is left behind.

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "app/drop_conversion.h"
#include "app/message_dialog.h"
#include "app/settings_dialog.h"
#include "engine/adpcm_decoder.h"
#include "kivra/kivra_reader.h"
#include "pipeline/conversion.h"
#include "support/image_builder.h"
#include "support/sanitizers.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

using pelorin::test::Bytes;

const QByteArray kOldTarget = "an old target that must survive";

// A 440 Hz tone at 8000 Hz as 16-bit samples, little- or big-endian.
Bytes ToneSamples(int frames, bool bigEndian) {
  Bytes b;
  for (int i = 0; i < frames; ++i) {
    const auto s = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 8000));
    if (bigEndian) {
      pelorin::test::PutU16BE(b, uint16_t(s));
    } else {
      pelorin::test::PutU16LE(b, uint16_t(s));
    }
  }
  return b;
}

// Two seconds make a file of about 8 KB: more than one page of a tmpfs.
Bytes ToneWav(int frames = 16000) {
  return pelorin::test::WavImage(1, 8000, 16, ToneSamples(frames, false));
}

QByteArray Array(const Bytes& b) {
  return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every name in a folder, hidden ones included, so a left temporary file shows.
QStringList Entries(const QString& folder) {
  QStringList names =
      QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  names.sort();
  return names;
}

QString Text(int id) {
  const std::string_view text = LoadString(id, Language::kEnglish);
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The loudest decoded sample of each 1000 in a mono KIVRA file.
std::vector<int> PeaksPerThousand(const QByteArray& file) {
  const KivraReport report =
      ReadKivra({reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size())});
  if (!report.Sound() || report.channels != 1) return {};
  const auto* adpcm = reinterpret_cast<const uint8_t*>(file.constData()) + *report.adpcmOffset;
  std::vector<int16_t> pcm(2 * report.adpcmLength);
  AdpcmDecoder decoder;
  decoder.Reset();
  decoder.Decode(adpcm, pcm.data(), int32_t(pcm.size()));
  std::vector<int> peaks;
  for (size_t i = 0; i < pcm.size(); ++i) {
    if (i % 1000 == 0) peaks.push_back(0);
    peaks.back() = std::max(peaks.back(), std::abs(int(pcm[i])));
  }
  return peaks;
}

struct MessageSeen {
  int mode = -1;
  QString text;
};

// Stands in for the user: confirms every window without a modal loop and keeps the messages.
class User {
 public:
  std::function<void(SettingsDialog&)> settings = [](SettingsDialog& dialog) { dialog.accept(); };
  double freeBytes = 1e12;
  int settingsShown = 0;
  std::vector<MessageSeen> messages;

  DropServices Services() {
    DropServices services;
    services.freeSpace = [this](const QString&) { return freeBytes; };
    services.showInPlace = [this](QWidget* mainWindow, SkinnedDialog& dialog) {
      dialog.SetOwner(mainWindow);
      if (auto* settingsDialog = qobject_cast<SettingsDialog*>(&dialog)) {
        ++settingsShown;
        settings(*settingsDialog);
      } else if (auto* message = qobject_cast<MessageDialog*>(&dialog)) {
        messages.push_back({message->Mode(), message->Text()});
        message->accept();
      }
      return dialog.result();
    };
    return services;
  }
};

}  // namespace

class FaultInjectionWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void cannotSaveKeepsTheOldTarget_data();
  void cannotSaveKeepsTheOldTarget();
  void inputsThatCannotBeReadGiveMessageOne_data();
  void inputsThatCannotBeReadGiveMessageOne();
  void inputGoneWhileTheSettingsWindowIsOpen_data();
  void inputGoneWhileTheSettingsWindowIsOpen();
  void inputsShorterThanTheirHeaders_data();
  void inputsShorterThanTheirHeaders();
  void longJapaneseNameIsSaved();
  void inputLargerThanTheMemoryLeftIsReported();

 private:
  QString Path(const QString& name) const { return dir_->filePath(name); }
  void Drop(User& user, const QString& path);
  bool MountTmpfs(const QString& folder, const char* options);

  std::optional<QTemporaryDir> dir_;
  std::optional<QWidget> mainWindow_;
  QStringList mounts_;
  QStringList locked_;
};

void FaultInjectionWindowTest::init() {
  dir_.emplace();
  QVERIFY(dir_->isValid());
  mainWindow_.emplace();
  mainWindow_->setAcceptDrops(true);
}

void FaultInjectionWindowTest::cleanup() {
  for (auto it = mounts_.crbegin(); it != mounts_.crend(); ++it)
    umount2(QFile::encodeName(*it).constData(), MNT_DETACH);
  mounts_.clear();
  for (const QString& folder : locked_)
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  locked_.clear();
  mainWindow_.reset();
  dir_.reset();
}

void FaultInjectionWindowTest::Drop(User& user, const QString& path) {
  ConvertDroppedFile(&*mainWindow_, {path}, Skin(Language::kEnglish), user.Services());
  QVERIFY2(mainWindow_->acceptDrops(), "drops are still off");
}

// Mounts a fresh tmpfs on a new folder. False when not root or the mount is refused.
bool FaultInjectionWindowTest::MountTmpfs(const QString& folder, const char* options) {
  if (!QDir().mkpath(folder) || geteuid() != 0) return false;
  if (mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options) != 0) return false;
  mounts_.append(folder);
  return true;
}

void FaultInjectionWindowTest::cannotSaveKeepsTheOldTarget_data() {
  QTest::addColumn<QString>("fault");
  QTest::newRow("read-only folder") << "read-only";
  QTest::newRow("target is a folder") << "folder";
  QTest::newRow("target is a pipe") << "pipe";
  QTest::newRow("disk fills during the write") << "full";
}

void FaultInjectionWindowTest::cannotSaveKeepsTheOldTarget() {
  QFETCH(QString, fault);
  const QString folder = Path("target");
  if (fault == "read-only" && geteuid() == 0) {
    // Root writes into any folder whatever its mode; a read-only file system stops it.
    if (!MountTmpfs(folder, "size=1m")) QSKIP("running as root, and no tmpfs could be mounted");
  } else if (fault == "full") {
    if (!MountTmpfs(folder, "size=256k"))
      QSKIP("needs root to mount a small tmpfs (or mounting was refused)");
  } else {
    QVERIFY(QDir().mkpath(folder));
  }
  QVERIFY(WriteFile(folder + "/a.wav", Array(ToneWav())));
  if (fault == "folder") {
    QVERIFY(QDir().mkpath(folder + "/a.mmf"));
    QVERIFY(WriteFile(folder + "/a.mmf/inside", kOldTarget));
  } else if (fault == "pipe") {
    QCOMPARE(mkfifo(QFile::encodeName(folder + "/a.mmf").constData(), 0644), 0);
  } else {
    QVERIFY(WriteFile(folder + "/a.mmf", kOldTarget));
  }
  if (fault == "read-only") {
    if (geteuid() == 0) {
      QCOMPARE(mount(nullptr, QFile::encodeName(folder).constData(), nullptr,
                     MS_REMOUNT | MS_RDONLY, nullptr),
               0);
    } else {
      locked_.append(folder);
      QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
  }
  if (fault == "full") {
    // One page left, while the file takes about 8 KB; the free-space query says plenty.
    struct statvfs info {};
    QCOMPARE(statvfs(QFile::encodeName(folder).constData(), &info), 0);
    const qint64 leave = 4096;
    QVERIFY(WriteFile(folder + "/filler",
                      QByteArray(qsizetype(info.f_bfree * info.f_frsize - leave), 'f')));
    QCOMPARE(statvfs(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(qint64(info.f_bfree * info.f_frsize), leave);
  }
  const QStringList before = Entries(folder);

  User user;
  Drop(user, folder + "/a.wav");
  QCOMPARE(user.settingsShown, 1);
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].mode, MessageDialog::kCautionMode);
  QCOMPARE(user.messages[0].text, Text(kStrCannotSave));
  QCOMPARE(Entries(folder), before);
  if (fault == "folder") {
    QCOMPARE(Entries(folder + "/a.mmf"), QStringList{"inside"});
    QCOMPARE(ReadFile(folder + "/a.mmf/inside"), kOldTarget);
  } else if (fault == "pipe") {
    struct stat info {};
    QCOMPARE(lstat(QFile::encodeName(folder + "/a.mmf").constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
  } else {
    QCOMPARE(ReadFile(folder + "/a.mmf"), kOldTarget);
  }
}

void FaultInjectionWindowTest::inputsThatCannotBeReadGiveMessageOne_data() {
  QTest::addColumn<QString>("fault");
  QTest::newRow("removed before the drop") << "removed";
  QTest::newRow("a dangling link") << "dangling";
  QTest::newRow("replaced by a folder") << "folder";
  QTest::newRow("no read permission") << "mode 000";
}

void FaultInjectionWindowTest::inputsThatCannotBeReadGiveMessageOne() {
  QFETCH(QString, fault);
  const QString input = Path("a.wav");
  QVERIFY(WriteFile(input, Array(ToneWav())));
  // The drop named the file; it changes before the workflow reads it.
  if (fault == "removed") {
    QVERIFY(QFile::remove(input));
  } else if (fault == "dangling") {
    QVERIFY(QFile::remove(input));
    QVERIFY(QFile::link(Path("gone.wav"), input));
  } else if (fault == "folder") {
    QVERIFY(QFile::remove(input));
    QVERIFY(QDir().mkpath(input));
  } else {
    if (geteuid() == 0) QSKIP("root reads a file of mode 000 anyway");
    QVERIFY(QFile::setPermissions(input, {}));
  }
  User user;
  Drop(user, input);
  QCOMPARE(user.settingsShown, 0);
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].mode, MessageDialog::kCautionMode);
  QCOMPARE(user.messages[0].text, Text(kStrCannotOpen));
  QVERIFY(!QFileInfo::exists(Path("a.mmf")));
}

void FaultInjectionWindowTest::inputGoneWhileTheSettingsWindowIsOpen_data() {
  QTest::addColumn<bool>("folderToo");
  QTest::newRow("the file") << false;
  QTest::newRow("its folder") << true;
}

// The file was read whole before the settings window opened: without it the file is still
// written; without its folder there is nowhere to write, and no folder is made.
void FaultInjectionWindowTest::inputGoneWhileTheSettingsWindowIsOpen() {
  QFETCH(bool, folderToo);
  const QString folder = Path("in");
  QVERIFY(QDir().mkpath(folder));
  QVERIFY(WriteFile(folder + "/a.wav", Array(ToneWav())));
  User user;
  user.settings = [&](SettingsDialog& dialog) {
    QVERIFY(folderToo ? QDir(folder).removeRecursively() : QFile::remove(folder + "/a.wav"));
    dialog.accept();
  };
  Drop(user, folder + "/a.wav");
  QCOMPARE(user.messages.size(), size_t{1});
  if (folderToo) {
    QCOMPARE(user.messages[0].mode, MessageDialog::kCautionMode);
    QCOMPARE(user.messages[0].text, Text(kStrCannotSave));
    QVERIFY(!QFileInfo::exists(folder));
  } else {
    QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
    QCOMPARE(Entries(folder), QStringList{"a.mmf"});
  }
}

void FaultInjectionWindowTest::inputsShorterThanTheirHeaders_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("image");
  QTest::addColumn<int>("presentThousands");   // 0: refused
  QTest::addColumn<int>("declaredThousands");  // frames the header counts, in thousands
  const Bytes wav = ToneWav(8000);
  const auto patchLE = [](Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return Array(b);
  };
  QTest::newRow("WAV cut in half")
      << "a.wav" << Array(wav).left(qsizetype(wav.size() / 2)) << 0 << 0;
  QTest::newRow("WAV data too long") << "a.wav" << patchLE(wav, 40, 32000) << 0 << 0;
  QTest::newRow("WAV RIFF too long") << "a.wav" << patchLE(wav, 4, uint32_t(wav.size())) << 0 << 0;

  // 8000 frames present of 16000 declared; FORM and SSND count all of them.
  using namespace pelorin::test;
  const Bytes sound = ToneSamples(8000, true);
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("COMM", CommBody(1, 16000, 16, Extended80(8000))));
  Append(form, ChunkBE("SSND", SsndBody(sound), 8 + 32000));
  QTest::newRow("AIFF cut in half")
      << "a.aif" << Array(ChunkBE("FORM", form, int64_t(form.size()) + 16000)) << 8 << 16;
  Bytes longForm = AiffImage(1, 8000, 16, sound);
  longForm[4] = 0x40;
  QTest::newRow("AIFF FORM too long") << "a.aif" << Array(longForm) << 8 << 8;
}

void FaultInjectionWindowTest::inputsShorterThanTheirHeaders() {
  QFETCH(QString, name);
  QFETCH(QByteArray, image);
  QFETCH(int, presentThousands);
  QFETCH(int, declaredThousands);
  QVERIFY(WriteFile(Path(name), image));
  User user;
  Drop(user, Path(name));
  QCOMPARE(user.messages.size(), size_t{1});
  if (presentThousands == 0) {
    QCOMPARE(user.settingsShown, 0);
    QCOMPARE(user.messages[0].text, Text(kStrFormatNotSupported));
    QVERIFY(!QFileInfo::exists(Path("a.mmf")));
    return;
  }
  QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
  const std::vector<int> peaks = PeaksPerThousand(ReadFile(Path("a.mmf")));
  QCOMPARE(peaks.size(), size_t(declaredThousands));
  for (int k = 0; k < declaredThousands; ++k) {
    // The sound while the file has it, silence after it (past the filter's reach).
    if (k < presentThousands) QVERIFY2(peaks[size_t(k)] > 6000, qPrintable(QString::number(k)));
    if (k > presentThousands) QVERIFY2(peaks[size_t(k)] < 64, qPrintable(QString::number(k)));
  }
}

// 82 Japanese characters make a name of 250 bytes; the temporary file beside the target must
// still have a name the file system takes.
void FaultInjectionWindowTest::longJapaneseNameIsSaved() {
  const QString base(82, QChar(0x30D9));
  QCOMPARE(QFile::encodeName(base + ".wav").size(), 250);
  QVERIFY(WriteFile(Path(base + ".wav"), Array(ToneWav())));
  User user;
  Drop(user, Path(base + ".wav"));
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
  QVERIFY(ReadFile(Path(base + ".mmf")).startsWith("MMMD"));
  QCOMPARE(Entries(dir_->path()), (QStringList{base + ".mmf", base + ".wav"}));
}

// A file too large for the memory left is refused with a message; the window carries on.
void FaultInjectionWindowTest::inputLargerThanTheMemoryLeftIsReported() {
  if (kAddressSanitizer) QSKIP("AddressSanitizer needs more address space than allowed");
  {
    QFile huge(Path("huge.wav"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(qint64{1} << 30));  // sparse: no disk space used
  }
  // Room for a quarter of it beyond what this process holds now.
  QFile statm("/proc/self/statm");
  QVERIFY(statm.open(QIODevice::ReadOnly));
  const qint64 pages = statm.readAll().split(' ').value(0).toLongLong();
  QVERIFY(pages > 0);
  rlimit saved{};
  QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = rlim_t(pages * sysconf(_SC_PAGESIZE) + (qint64{256} << 20));
  QCOMPARE(setrlimit(RLIMIT_AS, &lowered), 0);
  User user;
  ConvertDroppedFile(&*mainWindow_, {Path("huge.wav")}, Skin(Language::kEnglish), user.Services());
  setrlimit(RLIMIT_AS, &saved);
  QVERIFY(mainWindow_->acceptDrops());
  QCOMPARE(user.settingsShown, 0);
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].text, Text(kStrCannotOpen));
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::FaultInjectionWindowTest)
#include "fault_injection_window_test.moc"
