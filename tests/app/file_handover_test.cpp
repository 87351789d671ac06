// Files given on the command line: --help and --version without a display, the hand-over of a
// later start's file to the running copy (its refusals, and the rule that a busy window ignores it
// as it ignores drops), and real starts of the program handing files to each other.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "app/file_handover.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "pipeline/version.h"
#include "support/drop_user.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

QByteArray Header(quint32 length) {
  char bytes[4];
  qToBigEndian(length, bytes);
  return QByteArray(kHandoverTag, sizeof kHandoverTag).append(bytes, sizeof bytes);
}

// Sends raw bytes to the server at `name` and runs the event loop until it answers or closes.
// Returns the answer; `closed` tells whether the server closed the connection.
QByteArray Send(const QString& name, const QByteArray& bytes, bool leaveAtOnce, bool* closed) {
  QLocalSocket client;
  client.connectToServer(name);
  if (!client.waitForConnected(1000)) return "no connection";
  client.write(bytes);
  client.waitForBytesWritten(1000);
  if (leaveAtOnce) {
    client.abort();
    QTest::qWait(100);
    *closed = true;
    return {};
  }
  // The server closes after its answer, or without one.
  *closed = QTest::qWaitFor([&] { return client.state() != QLocalSocket::ConnectedState; }, 3000);
  const QByteArray answer = client.readAll();
  return answer;
}

// A private runtime folder for real starts of the program, where their lock and socket live.
class Home {
 public:
  Home() {
    environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder_.path());
    environment_.insert(QStringLiteral("TMPDIR"), folder_.path());
    environment_.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    QFile::copy(QStringLiteral(PELORIN_SOURCE_DIR "/samples/bell.wav"), FilePath("bell.wav"));
  }
  QString FilePath(const char* name) const { return folder_.filePath(QLatin1String(name)); }
  SingleInstance Instance() const { return {folder_.path(), SingleInstance::CurrentUserName()}; }

  // Starts the program with `args` in this folder; Run also waits for it to end, running this
  // process's event loop meanwhile.
  bool Start(QProcess& process, const QStringList& args) const {
    process.setProcessEnvironment(environment_);
    process.setWorkingDirectory(folder_.path());
    process.start(QStringLiteral(PELORIN_APP), args);
    return process.waitForStarted(10000);
  }
  bool Run(QProcess& process, const QStringList& args) const {
    return Start(process, args) &&
           QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000) &&
           process.exitStatus() == QProcess::NormalExit;
  }

  // The answer of the copy listening here, once it listens (it may still be starting).
  HandoverResult AnswerOnceListening(const QString& path) const {
    HandoverResult result = HandoverResult::kNoServer;
    for (QDeadlineTimer deadline(20000); result == HandoverResult::kNoServer;) {
      if (deadline.hasExpired()) break;
      result = HandFileOver(Instance().SocketPath(), path, 20000);
      if (result == HandoverResult::kNoServer) QTest::qWait(50);
    }
    return result;
  }

 private:
  QTemporaryDir folder_;
  QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
};

}  // namespace

class FileHandoverTest : public QObject {
  Q_OBJECT

 private slots:
  void commandLine_data();
  void commandLine();
  void requests_data();
  void requests();
  void laterStartsHandTheirFileToTheWindow();
  void realCopiesTakeFilesFromLaterStarts();
};

void FileHandoverTest::commandLine_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("out");  // the start of what is printed on standard output
  QTest::addColumn<QString>("err");
  const QString help = QStringLiteral("Usage: pelorin [FILE]\n");
  const auto usage = [](const char* what) {
    return QStringLiteral("pelorin: %1\nTry 'pelorin --help' for more information.\n")
        .arg(QLatin1String(what));
  };
  QTest::newRow("--help after a file") << QStringList{"a.wav", "--help"} << 0 << help << QString();
  QTest::newRow("--version") << QStringList{"--version"} << 0
                             << QStringLiteral("pelorin (Pelorin) %1\n")
                                    .arg(QLatin1String(kVersion.data(), qsizetype(kVersion.size())))
                             << QString();
  QTest::newRow("unknown option") << QStringList{"--open", "a.wav"} << 2 << QString()
                                  << usage("unrecognized option '--open'");
  QTest::newRow("Qt's own option")
      << QStringList{"-platform"} << 2 << QString() << usage("invalid option '-platform'");
  QTest::newRow("empty file name")
      << QStringList{QString()} << 2 << QString() << usage("empty file name");
}

// No display anywhere: had the program started its GUI, the platform asked for would end it.
void FileHandoverTest::commandLine() {
  QFETCH(QStringList, args);
  QFETCH(int, status);
  QFETCH(QString, out);
  QFETCH(QString, err);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(PELORIN_APP), args);
  QVERIFY(process.waitForFinished(30000));
  const QString printed = QString::fromUtf8(process.readAllStandardOutput());
  QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
  QCOMPARE(process.exitCode(), status);
  QVERIFY2(out.isEmpty() ? printed.isEmpty() : printed.startsWith(out), qPrintable(printed));
}

void FileHandoverTest::requests_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<bool>("leaveAtOnce");
  QTest::addColumn<bool>("handed");  // the handler got the path, and the answer is 'T'
  const QString path = QStringLiteral("/tmp/a b/ä\nc.wav");
  QTest::newRow("well formed") << HandoverRequest(path) << false << true;
  QTest::newRow("the longest path")
      << HandoverRequest(u'/' + QString(kMaxHandoverPathBytes - 1, u'a')) << false << true;
  QTest::newRow("longer, refused at its header")
      << Header(kMaxHandoverPathBytes + 1) << false << false;
  QTest::newRow("not UTF-8") << Header(7).append("/a\xff.wav") << false << false;
  QTest::newRow("relative path") << HandoverRequest(QStringLiteral("a.wav")) << false << false;
  QTest::newRow("bytes after it") << HandoverRequest(path) + "x" << false << false;
  QTest::newRow("client gone before the answer") << HandoverRequest(path) << true << false;
  // The server's deadline is 300 ms here: a cut request is closed, not waited for.
  QTest::newRow("stalls mid-request") << HandoverRequest(path).left(11) << false << false;
}

// Whatever a client sends, only a well-formed request from a client still waiting reaches the
// window; anything else is closed unanswered, soon, and the next client is served as usual.
void FileHandoverTest::requests() {
  QFETCH(QByteArray, bytes);
  QFETCH(bool, leaveAtOnce);
  QFETCH(bool, handed);
  QTemporaryDir folder;
  const QString name = folder.filePath(QStringLiteral("s"));
  QStringList paths;
  FileHandoverServer server([&](const QString& path) {
    paths.append(path);
    return true;
  });
  server.SetClientTimeout(300);
  QVERIFY2(server.Listen(name), qPrintable(server.ErrorString()));

  QElapsedTimer clock;
  clock.start();
  bool closed = false;
  QCOMPARE(Send(name, bytes, leaveAtOnce, &closed), handed ? QByteArray("T") : QByteArray());
  QVERIFY(closed);
  QVERIFY(clock.elapsed() < 2500);
  QCOMPARE(paths.size(), handed ? 1 : 0);
  if (handed) QCOMPARE(paths.front().toUtf8(), bytes.sliced(kHandoverHeaderBytes));

  QCOMPARE(Send(name, HandoverRequest(QStringLiteral("/next.wav")), false, &closed), "T");
  QCOMPARE(paths.back(), QStringLiteral("/next.wav"));
}

// A later start of the real program hands its file (named relative to its own working folder) to
// the window of this process: the window takes it as a drop, and its settings window opens.
// Another start meanwhile is ignored, as a drop would be; once idle, the window takes the next.
void FileHandoverTest::laterStartsHandTheirFileToTheWindow() {
  Home home;
  SingleInstance instance = home.Instance();
  QVERIFY(instance.TryAcquire());
  MainWindow main(Skin(Language::kEnglish, TestBitmap));
  FileHandoverServer handover([&main](const QString& path) { return main.OpenFile(path); });
  QVERIFY(handover.Listen(instance.SocketPath()));
  User user;
  QProcess duringSettings;
  bool ranDuringSettings = false;
  user.settings = [&](SettingsDialog& dialog) {
    ranDuringSettings = home.Run(duringSettings, {"other.wav"});
    dialog.reject();
  };
  main.SetDropServices(user.Services());
  main.show();

  QProcess later;
  QVERIFY(home.Run(later, {"bell.wav", "ignored.wav"}));
  QCOMPARE(later.exitCode(), 0);
  QTRY_COMPARE(user.settingsSeen.size(), size_t(1));
  QCOMPARE(user.settingsSeen.front().title, QStringLiteral("bell"));
  QVERIFY(ranDuringSettings);
  QCOMPARE(duringSettings.exitCode(), 0);
  QCOMPARE(duringSettings.readAllStandardError(), QByteArray());
  QTRY_VERIFY(main.acceptDrops());
  QCOMPARE(user.settingsSeen.size(), size_t(1));

  QProcess next;
  QVERIFY(home.Run(next, {"notes.txt"}));
  QTRY_COMPARE(user.messages.size(), size_t(1));
  QCOMPARE(user.messages.front().text, QStringLiteral("Extension is not .wav/.aif"));
}

// Two real copies. The first, started without a file, takes a handed file and is then busy with
// its settings window, so a second start's file is ignored. A copy killed with its socket open does
// not keep the next from listening; one started with a file is busy with it from the start.
void FileHandoverTest::realCopiesTakeFilesFromLaterStarts() {
  Home home;
  const QString bell = home.FilePath("bell.wav");
  QProcess first;
  QVERIFY(home.Start(first, {}));
  QCOMPARE(home.AnswerOnceListening(bell), HandoverResult::kTaken);
  QProcess second;
  QVERIFY(home.Run(second, {"bell.wav"}));
  QCOMPARE(second.exitCode(), 0);
  QCOMPARE(home.AnswerOnceListening(bell), HandoverResult::kIgnored);
  QCOMPARE(first.state(), QProcess::Running);

  first.kill();
  QVERIFY(first.waitForFinished(10000));
  QVERIFY(QFile::exists(home.Instance().SocketPath()));
  QProcess withFile;
  QVERIFY(home.Start(withFile, {"bell.wav"}));
  QCOMPARE(home.AnswerOnceListening(bell), HandoverResult::kIgnored);
  withFile.kill();
  QVERIFY(withFile.waitForFinished(10000));
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::FileHandoverTest)
#include "file_handover_test.moc"
