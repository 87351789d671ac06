// The drop workflow through its windows: which files it takes, what the settings window
// offers and what reaches the file, and how each outcome of the conversion becomes the message
// the user sees. Faults the conversion decides (unwritable folders, full disks, unreadable or
// cut inputs) are tested once, at the pipeline; here one case of each outcome stands for them.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <optional>
#include <vector>

#include "app/drop_conversion.h"
#include "app/message_dialog.h"
#include "app/settings_dialog.h"
#include "kivra/kivra_reader.h"
#include "pipeline/conversion.h"
#include "support/drop_user.h"
#include "support/image_builder.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

using pelorin::test::Bytes;

// A 440 Hz tone as 16-bit samples; Wav() makes half a second unless told otherwise.
std::vector<int16_t> Tone(int channels, int rate, int frames) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i) {
    const auto s = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate));
    for (int c = 0; c < channels; ++c) samples.push_back(s);
  }
  return samples;
}

Bytes Wav(int rate, int frames = -1, int channels = 1) {
  if (frames < 0) frames = rate / 2;
  return pelorin::test::WavImage(channels, rate, 16,
                                 pelorin::test::Pcm16LE(Tone(channels, rate, frames)));
}

Bytes Aiff(int rate) {
  Bytes sound;
  for (int16_t s : Tone(1, rate, rate / 2)) pelorin::test::PutU16BE(sound, uint16_t(s));
  return pelorin::test::AiffImage(1, rate, 16, sound);
}

bool WriteFile(const QString& path, const Bytes& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) &&
         file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
             qint64(bytes.size());
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

KivraReport Report(const QByteArray& file) {
  return ReadKivra({reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size())});
}

std::optional<std::string> Tag(const KivraReport& report, const std::string& name) {
  for (const KivraTag& tag : report.tags)
    if (tag.name == name) return tag.text;
  return std::nullopt;
}

QString Text(int id, Language language = Language::kEnglish) {
  const std::string_view text = LoadString(id, language);
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

class DropConversionTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void extensionDecidesWhatIsTaken_data();
  void extensionDecidesWhatIsTaken();
  void refusedInputsGiveTheirMessage_data();
  void refusedInputsGiveTheirMessage();
  void namesOf260CharactersAreRefused_data();
  void namesOf260CharactersAreRefused();
  void onlyTheFirstDroppedFileIsConverted();
  void rateFollowsTheInputAndTheChoice_data();
  void rateFollowsTheInputAndTheChoice();
  void permissionsReachTheFile_data();
  void permissionsReachTheFile();
  void clearedTextsStillGetADate();
  void cancelAndPowerWriteNothing_data();
  void cancelAndPowerWriteNothing();
  void existingTargetIsReplaced();
  void inputGoneWhileTheSettingsWindowIsOpen();
  void unwritableTargetIsReported();
  void freeSpaceMustExceedTheFile_data();
  void freeSpaceMustExceedTheFile();
  void sizeMessageShowsKilobytes();
  void japaneseNameAndTitleEndToEnd();
  void longJapaneseTitleIsCutToTheField();
  void bellExampleThroughTheRealWindows();

 private:
  QString Path(const QString& name) const { return dir_->filePath(name); }
  void Drop(User& user, const QStringList& paths, Language language = Language::kEnglish);

  std::optional<QTemporaryDir> dir_;
  std::optional<QWidget> mainWindow_;
};

void DropConversionTest::init() {
  dir_.emplace();
  QVERIFY(dir_->isValid());
  mainWindow_.emplace();
  mainWindow_->setAcceptDrops(true);
}

void DropConversionTest::Drop(User& user, const QStringList& paths, Language language) {
  ConvertDroppedFile(&*mainWindow_, paths, Skin(language), user.Services());
  QVERIFY2(user.dropsStayedOff, "drops were on while a window ran");
  QVERIFY2(mainWindow_->acceptDrops(), "drops are still off");
}

void DropConversionTest::extensionDecidesWhatIsTaken_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("aiff");
  QTest::addColumn<bool>("taken");
  QTest::newRow(".WAV") << "a.WAV" << false << true;
  QTest::newRow(".Aif") << "a.Aif" << true << true;
  QTest::newRow(".aiff") << "a.aiff" << true << false;
  QTest::newRow(".mmf") << "a.mmf" << false << false;
  QTest::newRow("none") << "a" << false << false;
  QTest::newRow("dot in the folder only") << "x.wav/a" << false << false;
}

void DropConversionTest::extensionDecidesWhatIsTaken() {
  QFETCH(QString, name);
  QFETCH(bool, aiff);
  QFETCH(bool, taken);
  QDir().mkpath(QFileInfo(Path(name)).path());
  QVERIFY(WriteFile(Path(name), aiff ? Aiff(8000) : Wav(8000)));
  User user;
  Drop(user, {Path(name)});
  if (taken) {
    QCOMPARE(user.settingsSeen.size(), size_t{1});
    QCOMPARE(user.settingsSeen[0].title, QStringLiteral("a"));
    QCOMPARE(user.messages.size(), size_t{1});
    QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
    QVERIFY(QFile::exists(QFileInfo(Path(name)).path() + QStringLiteral("/a.mmf")));
  } else {
    QVERIFY(user.settingsSeen.empty());
    QCOMPARE(user.messages.size(), size_t{1});
    QCOMPARE(user.messages[0].mode, MessageDialog::kCautionMode);
    QCOMPARE(user.messages[0].text, Text(kStrBadExtension));
  }
}

void DropConversionTest::refusedInputsGiveTheirMessage_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("content");  // empty: a folder of that name; "-": no file
  QTest::addColumn<int>("message");
  const auto bytes = [](const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
  };
  QTest::newRow("missing") << "a.wav" << QByteArray("-") << int(kStrCannotOpen);
  QTest::newRow("a folder") << "a.wav" << QByteArray() << int(kStrCannotOpen);
  // The message alone: the window never shows the reason the command line adds to it.
  QTest::newRow("not audio") << "a.wav" << QByteArray("hello, world")
                             << int(kStrFormatNotSupported);
  QTest::newRow("3999 Hz") << "a.wav" << bytes(Wav(3999)) << int(kStrRateNotSupported);
  QTest::newRow("three channels") << "a.wav" << bytes(Wav(8000, 4000, 3))
                                  << int(kStrChannelsNotSupported);
  QTest::newRow("10 ms") << "a.wav" << bytes(Wav(8000, 80)) << int(kStrPlaytimeTooShort);
  QTest::newRow("cut short") << "a.wav" << bytes(Wav(8000)).left(100)
                             << int(kStrFormatNotSupported);
}

void DropConversionTest::refusedInputsGiveTheirMessage() {
  QFETCH(QString, name);
  QFETCH(QByteArray, content);
  QFETCH(int, message);
  if (content.isEmpty()) {
    QVERIFY(QDir().mkpath(Path(name)));
  } else if (content != "-") {
    QVERIFY(WriteFile(Path(name), Bytes(content.begin(), content.end())));
  }
  User user;
  Drop(user, {Path(name)});
  QVERIFY(user.settingsSeen.empty());
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].mode, MessageDialog::kCautionMode);
  QCOMPARE(user.messages[0].text, Text(message));
  QCOMPARE(QDir(dir_->path()).entryList(QDir::Files).filter(".mmf"), QStringList());
}

void DropConversionTest::namesOf260CharactersAreRefused_data() {
  QTest::addColumn<int>("length");
  QTest::newRow("259") << 259;
  QTest::newRow("260") << 260;
}

void DropConversionTest::namesOf260CharactersAreRefused() {
  QFETCH(int, length);
  const qsizetype baseLength = length - dir_->path().size() - int(sizeof "/.wav") + 1;
  QVERIFY(baseLength > 0 && baseLength < 250);
  const QString path = Path(QString(baseLength, u'n') + QStringLiteral(".wav"));
  QCOMPARE(path.size(), length);
  QVERIFY(WriteFile(path, Wav(8000)));
  User user;
  Drop(user, {path});
  QCOMPARE(user.messages.size(), size_t{1});
  if (length < 260) {
    QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
  } else {
    QCOMPARE(user.messages[0].text, Text(kStrNameTooLong));
    QVERIFY(user.settingsSeen.empty());
  }
}

void DropConversionTest::onlyTheFirstDroppedFileIsConverted() {
  for (const char* name : {"a.wav", "b.wav", "c.wav"}) QVERIFY(WriteFile(Path(name), Wav(8000)));
  User user;
  Drop(user, {Path("a.wav"), Path("b.wav"), Path("c.wav")});
  QCOMPARE(user.settingsSeen.size(), size_t{1});
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(QDir(dir_->path()).entryList({"*.mmf"}, QDir::Files), QStringList{"a.mmf"});
}

void DropConversionTest::rateFollowsTheInputAndTheChoice_data() {
  QTest::addColumn<int>("inputRate");
  QTest::addColumn<bool>("choose4k");
  QTest::addColumn<int>("rate8k");
  QTest::addColumn<int>("rate4k");
  QTest::addColumn<int>("fileRate");
  QTest::newRow("7999 Hz") << 7999 << false << 2 << 1 << 4000;
  QTest::newRow("8000 Hz") << 8000 << false << 1 << 0 << 8000;
  QTest::newRow("8000 Hz, 4 kHz chosen") << 8000 << true << 1 << 0 << 4000;
}

void DropConversionTest::rateFollowsTheInputAndTheChoice() {
  QFETCH(int, inputRate);
  QFETCH(bool, choose4k);
  QFETCH(int, rate8k);
  QFETCH(int, rate4k);
  QFETCH(int, fileRate);
  QVERIFY(WriteFile(Path("a.wav"), Wav(inputRate)));
  User user;
  user.settings = [choose4k](SettingsDialog& dialog) {
    if (choose4k) User::Toggle(dialog, "rate4k")->click();
    dialog.accept();
  };
  Drop(user, {Path("a.wav")});
  QCOMPARE(user.settingsSeen.size(), size_t{1});
  QCOMPARE(user.settingsSeen[0].inputRate, inputRate);
  QCOMPARE(user.settingsSeen[0].rate8k, rate8k);
  QCOMPARE(user.settingsSeen[0].rate4k, rate4k);
  const KivraReport report = Report(ReadFile(Path("a.mmf")));
  QVERIFY(report.Sound());
  QCOMPARE(report.sampleRate, fileRate);
}

void DropConversionTest::permissionsReachTheFile_data() {
  QTest::addColumn<QString>("clicks");
  QTest::addColumn<int>("flags");
  QTest::newRow("both on") << "" << 0;
  QTest::newRow("save off") << "s" << 3;
  QTest::newRow("trans off") << "t" << 1;
  QTest::newRow("trans on again") << "st" << 0;
}

void DropConversionTest::permissionsReachTheFile() {
  QFETCH(QString, clicks);
  QFETCH(int, flags);
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  User user;
  user.settings = [clicks](SettingsDialog& dialog) {
    for (const QChar c : clicks) User::Toggle(dialog, c == u's' ? "save" : "trans")->click();
    dialog.accept();
  };
  Drop(user, {Path("a.wav")});
  const KivraReport report = Report(ReadFile(Path("a.mmf")));
  QVERIFY(report.flags.has_value());
  QCOMPARE(int(*report.flags), flags);
}

void DropConversionTest::clearedTextsStillGetADate() {
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  User user;
  user.settings = [](SettingsDialog& dialog) {
    User::Edit(dialog, "copyright")->setText(QStringLiteral("(c) someone"));
    dialog.Clear();
    dialog.accept();
  };
  Drop(user, {Path("a.wav")});
  const KivraReport report = Report(ReadFile(Path("a.mmf")));
  QVERIFY(report.Sound());
  QCOMPARE(Tag(report, "ST").value_or(""), std::string());
  QCOMPARE(Tag(report, "CR").value_or(""), std::string());
  const std::string date = Tag(report, "CD").value_or("");
  QCOMPARE(date.size(), size_t{8});
  QVERIFY(date.starts_with("20"));
}

void DropConversionTest::cancelAndPowerWriteNothing_data() {
  QTest::addColumn<bool>("power");
  QTest::newRow("cancel") << false;
  QTest::newRow("power") << true;
}

void DropConversionTest::cancelAndPowerWriteNothing() {
  QFETCH(bool, power);
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  User user;
  user.settings = [power](SettingsDialog& dialog) {
    if (power) {
      dialog.PowerOff();
    } else {
      dialog.reject();
    }
  };
  mainWindow_->show();
  Drop(user, {Path("a.wav")});
  QCOMPARE(user.settingsSeen.size(), size_t{1});
  QVERIFY(user.messages.empty());
  QVERIFY(!QFile::exists(Path("a.mmf")));
  // The power button ends the main window too.
  QCOMPARE(mainWindow_->isVisible(), !power);
}

void DropConversionTest::existingTargetIsReplaced() {
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  QVERIFY(WriteFile(Path("a.mmf"), Bytes(100000, 'x')));
  User user;
  Drop(user, {Path("a.wav")});
  const QByteArray file = ReadFile(Path("a.mmf"));
  QVERIFY(file.startsWith("MMMD"));
  QVERIFY(Report(file).Sound());
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].text,
           QString::fromStdString(FileSizeMessage(int32_t(file.size()), Language::kEnglish)));
}

// The input is read whole before the settings window opens and not again after it: removed
// meanwhile, it is converted all the same.
void DropConversionTest::inputGoneWhileTheSettingsWindowIsOpen() {
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  User user;
  user.settings = [this](SettingsDialog& dialog) {
    QVERIFY(QFile::remove(Path("a.wav")));
    dialog.accept();
  };
  Drop(user, {Path("a.wav")});
  QCOMPARE(user.settingsSeen.size(), size_t{1});
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
  QVERIFY(Report(ReadFile(Path("a.mmf"))).Sound());
}

void DropConversionTest::unwritableTargetIsReported() {
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  // A folder where the file would go cannot be replaced by it.
  QVERIFY(QDir().mkpath(Path("a.mmf")));
  User user;
  Drop(user, {Path("a.wav")});
  QCOMPARE(user.settingsSeen.size(), size_t{1});
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].mode, MessageDialog::kCautionMode);
  QCOMPARE(user.messages[0].text, Text(kStrCannotSave));
  QVERIFY(QFileInfo(Path("a.mmf")).isDir());
  QCOMPARE(ReadFile(Path("a.wav")).size(), qsizetype(Wav(8000).size()));
}

void DropConversionTest::freeSpaceMustExceedTheFile_data() {
  QTest::addColumn<int>("extra");  // free bytes beyond the file's size
  QTest::addColumn<bool>("unknown");
  QTest::newRow("exactly the file") << 0 << false;
  QTest::newRow("one byte more") << 1 << false;
  QTest::newRow("not known") << 0 << true;
}

void DropConversionTest::freeSpaceMustExceedTheFile() {
  QFETCH(int, extra);
  QFETCH(bool, unknown);
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  // A first run tells the file's size.
  User first;
  Drop(first, {Path("a.wav")});
  const qint64 size = QFileInfo(Path("a.mmf")).size();
  QVERIFY(size > 0);
  QVERIFY(QFile::remove(Path("a.mmf")));
  QCOMPARE(first.freeSpaceFolders, QStringList{dir_->path()});

  User user;
  user.freeBytes = unknown ? -1.0 : double(size + extra);
  Drop(user, {Path("a.wav")});
  QCOMPARE(user.settingsSeen.size(), size_t{1});
  QCOMPARE(user.messages.size(), size_t{1});
  if (extra > 0) {
    QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
    QCOMPARE(QFileInfo(Path("a.mmf")).size(), size);
  } else {
    QCOMPARE(user.messages[0].mode, MessageDialog::kCautionMode);
    QCOMPARE(user.messages[0].text, Text(kStrDiskSpace));
    QVERIFY(!QFile::exists(Path("a.mmf")));
  }
}

void DropConversionTest::sizeMessageShowsKilobytes() {
  // 2800 frames at 8000 Hz under the title "bell" make a file of exactly 1536 bytes.
  QVERIFY(WriteFile(Path("bell.wav"), Wav(8000, 2800)));
  User user;
  Drop(user, {Path("bell.wav")});
  QCOMPARE(QFileInfo(Path("bell.mmf")).size(), 1536);
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].mode, MessageDialog::kCompletedMode);
  QCOMPARE(user.messages[0].text, QStringLiteral("KIVRA File Size : 1.50KB"));
}

void DropConversionTest::japaneseNameAndTitleEndToEnd() {
  const QString input = Path(QStringLiteral("ベル.wav"));
  QVERIFY(WriteFile(input, Wav(8000)));
  User user;
  user.settings = [](SettingsDialog& dialog) {
    User::Edit(dialog, "copyright")->setText(QStringLiteral("著作"));
    dialog.accept();
  };
  Drop(user, {input}, Language::kJapanese);
  QCOMPARE(user.settingsSeen.size(), size_t{1});
  QCOMPARE(user.settingsSeen[0].title, QStringLiteral("ベル"));
  const QByteArray file = ReadFile(Path(QStringLiteral("ベル.mmf")));
  const KivraReport report = Report(file);
  QVERIFY(report.Sound());
  // What a Japanese user's phone reads: the legacy Japanese code page.
  QCOMPARE(Tag(report, "ST").value_or(""), std::string("\x83\x78\x83\x8B"));
  QCOMPARE(Tag(report, "CR").value_or(""), std::string("\x92\x98\x8D\xEC"));
  QCOMPARE(user.messages.size(), size_t{1});
  QCOMPARE(user.messages[0].text,
           QString::fromStdString(FileSizeMessage(int32_t(file.size()), Language::kJapanese)));
  QVERIFY(user.messages[0].text.startsWith(QStringLiteral("KIVRAファイルサイズ : ")));
}

void DropConversionTest::longJapaneseTitleIsCutToTheField() {
  QVERIFY(WriteFile(Path("a.wav"), Wav(8000)));
  User user;
  // 200 characters take 400 bytes in the Japanese code page; the field holds 256.
  user.settings = [](SettingsDialog& dialog) {
    dialog.SetTitle(QString(200, QChar(0x30D9)));
    dialog.accept();
  };
  Drop(user, {Path("a.wav")}, Language::kJapanese);
  const KivraReport report = Report(ReadFile(Path("a.mmf")));
  QVERIFY(report.Sound());
  std::string expected;
  for (int i = 0; i < 128; ++i) expected += "\x83\x78";
  QCOMPARE(Tag(report, "ST").value_or(""), expected);
}

void DropConversionTest::bellExampleThroughTheRealWindows() {
  const QString input = Path("bell.wav");
  QVERIFY(QFile::copy(QStringLiteral(PELORIN_SOURCE_DIR "/samples/bell.wav"), input));
  mainWindow_->show();
  // Each window in turn confirmed as the user would, with Enter; the message text is kept.
  QString message;
  int windows = 0;
  QTimer confirm;
  connect(&confirm, &QTimer::timeout, [&] {
    SkinnedDialog* dialog = ActiveInPlaceDialog();
    if (dialog == nullptr) return;
    if (auto* shown = qobject_cast<MessageDialog*>(dialog)) message = shown->Text();
    ++windows;
    QTest::keyClick(dialog, Qt::Key_Return);
  });
  confirm.start(20);
  const ModalFailSafe failSafe({}, 20000);
  ConvertDroppedFile(&*mainWindow_, {input}, Skin(Language::kEnglish));
  QVERIFY(!failSafe.Fired());
  QCOMPARE(windows, 2);
  QCOMPARE(QFileInfo(Path("bell.mmf")).size(), 8138);
  QCOMPARE(message, QStringLiteral("KIVRA File Size : 7.95KB"));
  QVERIFY(mainWindow_->acceptDrops());
  QVERIFY(mainWindow_->isVisible());

  // The command line writes the same file for the same choices (the preset title, both
  // permissions, 8 kHz, today): one policy turns the choices of both into settings.
  Conversion conversion;
  QVERIFY(conversion.Open(QFile::encodeName(input).toStdString()).Succeeded());
  const std::string other = QFile::encodeName(Path("other.mmf")).toStdString();
  QVERIFY(
      conversion.Finish(conversion.Settings({}, Language::kEnglish).settings, other).Succeeded());
  QCOMPARE(ReadFile(Path("other.mmf")), ReadFile(Path("bell.mmf")));
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::DropConversionTest)
#include "drop_conversion_test.moc"
