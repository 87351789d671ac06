#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLockFile>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "app/about_dialog.h"
#include "app/bitmap_button.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/settings_dialog.h"
#include "app/shaped_static.h"
#include "app/single_instance.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

constexpr QPoint kMainPosition(300, 200);
constexpr QPoint kAboutCentre(31, 91);
constexpr QPoint kPowerCentre(196, 86);

// The test skin with a drop panel whose top rows are transparent, as the real one's edges are.
Skin MainSkin() {
  return Skin(Language::kEnglish, [](int id, Language language) {
    if (id != kDropPanel) return TestBitmap(id, language);
    QImage panel = KeyedBlock(210, 60, kBlue);
    for (int x = 0; x < 210; ++x) panel.setPixel(x, 1, kKey);
    return panel;
  });
}

std::unique_ptr<QMimeData> Files(const QList<QUrl>& urls) {
  auto data = std::make_unique<QMimeData>();
  data->setUrls(urls);
  return data;
}

// Sends a drag's enter and drop to `window`; true when both were accepted as a copy.
bool Drop(QWidget& window, const QMimeData& data,
          Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
  const QPointF at(100, 50);
  QDragEnterEvent enter(at.toPoint(), actions, &data, Qt::LeftButton, {});
  QCoreApplication::sendEvent(&window, &enter);
  QDropEvent drop(at, actions, &data, Qt::LeftButton, {});
  QCoreApplication::sendEvent(&window, &drop);
  return enter.isAccepted() && drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

// The visible top-level widgets and windows with their titles, e.g. "widget Pelorin, window
// Pelorin".
QString VisibleWindows() {
  QStringList seen;
  for (const QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) seen.append(QStringLiteral("widget ") + widget->windowTitle());
  }
  for (const QWindow* window : QGuiApplication::topLevelWindows()) {
    if (window->isVisible()) seen.append(QStringLiteral("window ") + window->title());
  }
  return seen.join(QStringLiteral(", "));
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void layout_data();
  void layout();
  void centredOnItsFirstShowing();
  void waysToEnd_data();
  void waysToEnd();
  void dropWhileIdleRunsTheJob_data();
  void dropWhileIdleRunsTheJob();
  void refusedDrops_data();
  void refusedDrops();
  void dropsLandOnTheMainWindow();
  void aboutRunsInPlace();
  void oneWindowThroughTheWholeWorkflow();
  void spaceOnTheFreshWindowOpensNothing();
  void lockIsPerUserAndFolder();
  void secondStartEndsSilently();
};

void MainWindowTest::layout_data() {
  QTest::addColumn<Language>("language");
  QTest::addColumn<bool>("real");
  QTest::newRow("test skin") << Language::kEnglish << false;
  QTest::newRow("English skin") << Language::kEnglish << true;
  QTest::newRow("Japanese skin") << Language::kJapanese << true;
}

void MainWindowTest::layout() {
  QFETCH(Language, language);
  QFETCH(bool, real);
  const MainWindow main(real ? Skin(language) : MainSkin());
  QCOMPARE(main.size(), QSize(210, 100));
  QCOMPARE(main.windowTitle(), QStringLiteral("Pelorin"));
  QVERIFY(!main.windowIcon().isNull());
  QVERIFY(main.acceptDrops());
  QCOMPARE(main.DropPanel()->geometry(), QRect(0, 24, 210, 60));
  QVERIFY(!main.DropPanel()->mask().isEmpty());
  QVERIFY(main.DropPanel()->isVisibleTo(&main));
  QCOMPARE(main.AboutButton()->geometry(), QRect(6, 85, 51, 13));
  QCOMPARE(main.PowerButton()->geometry(), QRect(182, 72, 28, 28));
}

void MainWindowTest::centredOnItsFirstShowing() {
  MainWindow main(MainSkin());
  main.show();
  QVERIFY(QTest::qWaitForWindowExposed(&main));
  const QPoint offset = main.frameGeometry().center() - main.screen()->availableGeometry().center();
  QVERIFY2(offset.manhattanLength() <= 2,
           qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
}

void MainWindowTest::waysToEnd_data() {
  QTest::addColumn<QString>("way");
  QTest::addColumn<int>("result");
  // 7 is the test's own end: the window was still running.
  QTest::newRow("Return") << QStringLiteral("return") << 7;
  QTest::newRow("keypad Enter") << QStringLiteral("enter") << 7;
  QTest::newRow("Shift+Return") << QStringLiteral("shift-return") << 7;
  QTest::newRow("Escape") << QStringLiteral("escape") << SkinnedDialog::kCancelled;
  QTest::newRow("closed") << QStringLiteral("close") << SkinnedDialog::kCancelled;
  QTest::newRow("power button") << QStringLiteral("power") << SkinnedDialog::kOk;
}

void MainWindowTest::waysToEnd() {
  QFETCH(QString, way);
  QFETCH(int, result);
  MainWindow main(MainSkin());
  main.move(kMainPosition);
  QTimer::singleShot(0, &main, [&] {
    if (way == u"return") QTest::keyClick(&main, Qt::Key_Return);
    if (way == u"enter") QTest::keyClick(&main, Qt::Key_Enter, Qt::KeypadModifier);
    if (way == u"shift-return") QTest::keyClick(&main, Qt::Key_Return, Qt::ShiftModifier);
    if (way == u"escape") QTest::keyClick(&main, Qt::Key_Escape);
    if (way == u"close") main.close();
    if (way == u"power") {
      QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, kPowerCentre);
    }
    QTimer::singleShot(0, &main, [&] {
      if (main.isVisible()) main.done(7);
    });
  });
  ModalFailSafe failSafe({&main});
  QCOMPARE(main.exec(), result);
  QVERIFY(!failSafe.Fired());
}

void MainWindowTest::dropWhileIdleRunsTheJob_data() {
  QTest::addColumn<QStringList>("names");
  QTest::newRow("one file") << QStringList{QStringLiteral("notes.txt")};
  QTest::newRow("only the first of three")
      << QStringList{QStringLiteral("notes.txt"), QStringLiteral("a.wav"), QStringLiteral("b.wav")};
}

void MainWindowTest::dropWhileIdleRunsTheJob() {
  QFETCH(QStringList, names);
  QTemporaryDir folder;
  QList<QUrl> urls;
  for (const QString& name : names) urls.append(QUrl::fromLocalFile(folder.filePath(name)));
  MainWindow main(MainSkin());
  main.move(kMainPosition);
  main.show();
  QStringList messages;
  bool dropsOffMeanwhile = false;
  main.SetDropServices({nullptr, [&](QWidget* window, SkinnedDialog& dialog) {
                          dropsOffMeanwhile = window == &main && !main.acceptDrops();
                          auto* message = qobject_cast<MessageDialog*>(&dialog);
                          messages.append(message ? message->Text() : QStringLiteral("?"));
                          return SkinnedDialog::kOk;
                        }});
  const auto data = Files(urls);
  QVERIFY(Drop(main, *data));
  QVERIFY(!main.acceptDrops());
  QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 5000);
  QCOMPARE(messages.front(), QStringLiteral("Extension is not .wav/.aif"));
  QVERIFY(dropsOffMeanwhile);
  QVERIFY(main.acceptDrops());
  QTest::qWait(20);
  QCOMPARE(messages.size(), 1);
}

void MainWindowTest::refusedDrops_data() {
  QTest::addColumn<bool>("dropsOn");
  QTest::addColumn<QList<QUrl>>("urls");
  QTest::addColumn<Qt::DropActions>("actions");
  const QUrl local = QUrl::fromLocalFile(QStringLiteral("/nowhere/notes.txt"));
  QTest::newRow("drops off") << false << QList<QUrl>{local} << Qt::DropActions(Qt::CopyAction);
  QTest::newRow("no local file") << true
                                 << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.wav"))}
                                 << Qt::DropActions(Qt::CopyAction);
  QTest::newRow("no URL") << true << QList<QUrl>{} << Qt::DropActions(Qt::CopyAction);
  QTest::newRow("move only") << true << QList<QUrl>{local} << Qt::DropActions(Qt::MoveAction);
}

void MainWindowTest::refusedDrops() {
  QFETCH(bool, dropsOn);
  QFETCH(QList<QUrl>, urls);
  QFETCH(Qt::DropActions, actions);
  MainWindow main(MainSkin());
  int jobs = 0;
  main.SetDropServices({nullptr, [&](QWidget*, SkinnedDialog&) {
                          ++jobs;
                          return SkinnedDialog::kOk;
                        }});
  main.setAcceptDrops(dropsOn);
  const auto data = Files(urls);
  QVERIFY(!Drop(main, *data, actions));
  QTest::qWait(20);
  QCOMPARE(jobs, 0);
  QCOMPARE(main.acceptDrops(), dropsOn);
}

void MainWindowTest::dropsLandOnTheMainWindow() {
  // A real drop goes to the widget under the cursor, or the first of its parents taking drops;
  // no control may take one meant for the window.
  for (const Skin& skin : {MainSkin(), Skin(Language::kEnglish), Skin(Language::kJapanese)}) {
    MainWindow main(skin);
    for (int y = 0; y < main.height(); y += 3) {
      for (int x = 0; x < main.width(); x += 3) {
        QWidget* target = main.childAt(x, y);
        if (target == nullptr) target = &main;
        while (!target->isWindow() && !target->acceptDrops()) target = target->parentWidget();
        QVERIFY2(target == &main, qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
      }
    }
  }
}

void MainWindowTest::aboutRunsInPlace() {
  MainWindow main(MainSkin());
  main.move(kMainPosition);
  bool aboutInPlace = false;
  bool backAfterwards = false;
  QTimer::singleShot(0, &main, [&] {
    QTimer::singleShot(0, &main, [&] {
      auto* about = qobject_cast<AboutDialog*>(ActiveInPlaceDialog());
      aboutInPlace = about != nullptr && about->window() == &main && main.pos() == kMainPosition &&
                     !main.AboutButton()->isVisible();
      if (about != nullptr) about->accept();
    });
    QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, kAboutCentre);
    backAfterwards = main.isVisible() && main.pos() == kMainPosition;
    main.done(7);
  });
  ModalFailSafe failSafe({&main});
  QCOMPARE(main.exec(), 7);
  QVERIFY(!failSafe.Fired());
  QVERIFY(aboutInPlace);
  QVERIFY(backAfterwards);
}

// The program keeps one window, titled for the task bar, from a drop to the completed message
// and through the about window; each step shows in it. After the settings window's OK the window
// shows its own content again before the work starts.
void MainWindowTest::oneWindowThroughTheWholeWorkflow() {
  QTemporaryDir folder;
  const QString input = folder.filePath(QStringLiteral("bell.wav"));
  QVERIFY(QFile::copy(QStringLiteral(PELORIN_SOURCE_DIR "/samples/bell.wav"), input));
  const auto data = Files({QUrl::fromLocalFile(input)});
  MainWindow main(MainSkin());
  main.move(kMainPosition);
  QStringList steps;
  const auto step = [&](const QString& name) {
    steps.append(name + QStringLiteral(": ") + VisibleWindows());
  };
  QRgb shownDuringWork = 0;
  main.SetDropServices({[&](const QString&) {
                          step(QStringLiteral("work"));
                          // Where the drop panel lies; the settings window has its background.
                          shownDuringWork =
                              main.screen()->grabWindow(main.winId()).toImage().pixel(30, 60);
                          return 1e12;
                        },
                        nullptr});
  bool dropDuringAbout = true;
  int stage = 0;
  QTimer confirm;
  connect(&confirm, &QTimer::timeout, [&] {
    SkinnedDialog* dialog = ActiveInPlaceDialog();
    if (stage == 0 && qobject_cast<SettingsDialog*>(dialog) != nullptr) {
      step(QStringLiteral("settings"));
      ++stage;
      QTest::keyClick(dialog, Qt::Key_Return);
    } else if (auto* message = qobject_cast<MessageDialog*>(dialog); stage == 1 && message) {
      step(message->Text());
      ++stage;
      QTest::keyClick(dialog, Qt::Key_Return);
    } else if (stage == 2 && dialog == nullptr && main.acceptDrops()) {
      step(QStringLiteral("main"));
      ++stage;
      QTimer::singleShot(0, &main, [&] {
        QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, kAboutCentre);
        step(QStringLiteral("main again"));
        main.done(7);
      });
    } else if (stage == 3 && qobject_cast<AboutDialog*>(dialog) != nullptr) {
      step(QStringLiteral("about"));
      ++stage;
      dropDuringAbout = Drop(main, *data);
      QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, QPoint(155, 91));
    }
  });
  QTimer::singleShot(0, &main, [&] {
    step(QStringLiteral("start"));
    QVERIFY(Drop(main, *data));
    confirm.start(20);
  });
  ModalFailSafe failSafe({&main}, 20000);
  QCOMPARE(main.exec(), 7);
  QVERIFY(!failSafe.Fired());

  const QString one = QStringLiteral(": widget Pelorin, window Pelorin");
  QStringList expected;
  for (const char* name :
       {"start", "settings", "work", "KIVRA File Size : 7.95KB", "main", "about", "main again"})
    expected.append(QLatin1String(name) + one);
  QCOMPARE(steps, expected);
  QCOMPARE(shownDuringWork, kBlue);
  QVERIFY(!dropDuringAbout);
  QCOMPARE(main.pos(), kMainPosition);
  QVERIFY(QFile::exists(folder.filePath(QStringLiteral("bell.mmf"))));
}

void MainWindowTest::spaceOnTheFreshWindowOpensNothing() {
  MainWindow main(MainSkin());
  bool active = false;
  bool opened = false;
  QTimer::singleShot(0, &main, [&] {
    active = QTest::qWaitForWindowActive(&main);
    // Ends what the key may open, so that the test goes on.
    QTimer::singleShot(20, &main, [&] {
      if (SkinnedDialog* dialog = ActiveInPlaceDialog()) {
        opened = true;
        dialog->reject();
      }
    });
    QTest::keyClick(main.windowHandle(), Qt::Key_Space);
    QTimer::singleShot(40, &main, [&] { main.done(7); });
  });
  ModalFailSafe failSafe({&main});
  QCOMPARE(main.exec(), 7);
  QVERIFY(!failSafe.Fired());
  QVERIFY(active);
  QVERIFY(!opened);
}

void MainWindowTest::lockIsPerUserAndFolder() {
  QTemporaryDir folder;
  QTemporaryDir other;
  QCOMPARE(SingleInstance::LockFileName(QStringLiteral("ann/../b c")),
           QStringLiteral("PELORININSTANCE-ann_.._b_c.lock"));
  {
    SingleInstance first(folder.path(), QStringLiteral("ann"));
    QVERIFY(first.TryAcquire());
    QVERIFY(first.TryAcquire());
    SingleInstance second(folder.path(), QStringLiteral("ann"));
    QVERIFY(!second.TryAcquire());
    QCOMPARE(second.Error(), QLockFile::LockFailedError);
    QVERIFY(SingleInstance(folder.path(), QStringLiteral("bob")).TryAcquire());
    QVERIFY(SingleInstance(other.path(), QStringLiteral("ann")).TryAcquire());
  }
  QVERIFY(SingleInstance(folder.path(), QStringLiteral("ann")).TryAcquire());
  SingleInstance nowhere(folder.filePath(QStringLiteral("missing")), QStringLiteral("ann"));
  QVERIFY(!nowhere.TryAcquire());
  QVERIFY(nowhere.Error() != QLockFile::LockFailedError);
}

void MainWindowTest::secondStartEndsSilently() {
  QTemporaryDir home;
  QVERIFY(
      QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("TMPDIR"), home.path());
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
  const QString lockPath =
      SingleInstance(home.path(), SingleInstance::CurrentUserName()).LockPath();
  const auto start = [&](QProcess& process) {
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PELORIN_APP), {});
    return process.waitForStarted(10000);
  };
  const auto holder = [&] {
    qint64 pid = 0;
    QString host;
    QString name;
    return QLockFile(lockPath).getLockInfo(&pid, &host, &name) ? pid : qint64(0);
  };

  QProcess first;
  QVERIFY(start(first));
  QTRY_COMPARE_WITH_TIMEOUT(holder(), first.processId(), 10000);

  QProcess second;
  QVERIFY(start(second));
  QVERIFY(second.waitForFinished(10000));
  QCOMPARE(second.exitStatus(), QProcess::NormalExit);
  QCOMPARE(second.exitCode(), 0);
  // Showing a window on this platform prints a warning; the second start prints nothing at all.
  QCOMPARE(second.readAllStandardError(), QByteArray());
  QCOMPARE(first.state(), QProcess::Running);

  // A crash leaves the lock file behind; the next start takes it over.
  first.kill();
  QVERIFY(first.waitForFinished(10000));
  QVERIFY(QFile::exists(lockPath));
  QProcess third;
  QVERIFY(start(third));
  QTRY_COMPARE_WITH_TIMEOUT(holder(), third.processId(), 10000);
  QCOMPARE(third.state(), QProcess::Running);
  third.kill();
  QVERIFY(third.waitForFinished(10000));
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::MainWindowTest)
#include "main_window_test.moc"
