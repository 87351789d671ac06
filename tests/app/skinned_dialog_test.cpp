#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/about_dialog.h"
#include "app/message_dialog.h"
#include "app/skinned_dialog.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

constexpr QPoint kMainPosition(300, 200);
constexpr QPoint kCloseButtonCentre(155, 91);
constexpr QPoint kPowerButtonCentre(196, 86);

std::unique_ptr<SkinnedDialog> MakeSecondary(const QString& kind) {
  if (kind == u"about") return std::make_unique<AboutDialog>(TestSkin());
  auto message = std::make_unique<MessageDialog>(TestSkin());
  message->SetMessage(MessageDialog::kCautionMode, QStringLiteral("Disk space not enough"));
  return message;
}

// Drags a window by its title band: press at `grip`, move by `delta`, release.
void Drag(QWidget& window, QPoint grip, QPoint delta) {
  QTest::mousePress(&window, Qt::LeftButton, {}, grip);
  QTest::mouseMove(&window, grip + delta);
  // The window has moved, so the unmoved cursor is at the grip again.
  QTest::mouseRelease(&window, Qt::LeftButton, {}, grip);
}

// A click as the window system delivers it: through the window holding `widget`.
void Click(QWidget& widget, QPoint point) {
  QTest::mouseClick(widget.window()->windowHandle(), Qt::LeftButton, {},
                    widget.mapTo(widget.window(), point));
}

// A main window that is an ordinary window rather than a dialog.
class PlainWindow : public QWidget {
 public:
  int closes = 0;

 protected:
  void closeEvent(QCloseEvent* event) override {
    ++closes;
    QWidget::closeEvent(event);
  }
};

}  // namespace

class SkinnedDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void frameIsSizedAndPaintedFromTheBackground_data();
  void frameIsSizedAndPaintedFromTheBackground();
  void titleBandDrags_data();
  void titleBandDrags();

  void showInPlaceRoundTrip_data();
  void showInPlaceRoundTrip();
  void mainWindowsModalRunSurvivesASecondaryWindow();

  void powerButtonEndsTheProgram_data();
  void powerButtonEndsTheProgram();
  void powerButtonClosesAPlainMainWindow();
  void dialogOutlivesItsMainWindow();
};

void SkinnedDialogTest::frameIsSizedAndPaintedFromTheBackground_data() {
  QTest::addColumn<QSize>("background");
  QTest::addColumn<QSize>("size");
  QTest::newRow("the skin's background") << QSize(210, 100) << QSize(210, 100);
  QTest::newRow("another size") << QSize(180, 90) << QSize(180, 90);
  QTest::newRow("no background") << QSize() << QSize(210, 100);
}

void SkinnedDialogTest::frameIsSizedAndPaintedFromTheBackground() {
  QFETCH(QSize, background);
  QFETCH(QSize, size);
  const Skin skin(Language::kEnglish, [background](int id, Language) {
    if (id != kBackground || background.isEmpty()) return QImage();
    QImage image(background, QImage::Format_RGB32);
    image.fill(kBackgroundColour);
    return image;
  });
  SkinnedDialog dialog(skin);
  QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
  QCOMPARE(dialog.size(), size);
  QCOMPARE(dialog.minimumSize(), size);
  QCOMPARE(dialog.maximumSize(), size);
  if (!background.isEmpty()) {
    const QImage image = dialog.grab().toImage();
    QCOMPARE(image.pixel(0, 0), kBackgroundColour);
    QCOMPARE(image.pixel(size.width() - 1, size.height() - 1), kBackgroundColour);
  }
}

void SkinnedDialogTest::titleBandDrags_data() {
  QTest::addColumn<QPoint>("grip");
  QTest::addColumn<Qt::MouseButton>("button");
  QTest::addColumn<bool>("drags");
  QTest::newRow("(0, 10) left edge") << QPoint(0, 10) << Qt::LeftButton << true;
  QTest::newRow("(100, 0) top edge") << QPoint(100, 0) << Qt::LeftButton << true;
  QTest::newRow("(209, 19)") << QPoint(209, 19) << Qt::LeftButton << true;
  QTest::newRow("(210, 5) right of the band") << QPoint(210, 5) << Qt::LeftButton << false;
  QTest::newRow("(5, 20) below the band") << QPoint(5, 20) << Qt::LeftButton << false;
  QTest::newRow("(100, 60) the body") << QPoint(100, 60) << Qt::LeftButton << false;
  QTest::newRow("right button") << QPoint(50, 10) << Qt::RightButton << false;
}

void SkinnedDialogTest::titleBandDrags() {
  QFETCH(QPoint, grip);
  QFETCH(Qt::MouseButton, button);
  QFETCH(bool, drags);
  SkinnedDialog dialog(TestSkin());
  dialog.move(100, 100);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));

  const QPoint delta(30, -40);
  QTest::mousePress(&dialog, button, {}, grip);
  QCOMPARE(dialog.IsDragging(), drags);
  QTest::mouseMove(&dialog, grip + delta);
  QCOMPARE(dialog.pos(), drags ? QPoint(130, 60) : QPoint(100, 100));
  // The window follows, so the cursor is at the grip again before this move.
  QTest::mouseMove(&dialog, (drags ? grip : grip + delta) + QPoint(5, 5));
  QCOMPARE(dialog.pos(), drags ? QPoint(135, 65) : QPoint(100, 100));
  QTest::mouseRelease(&dialog, button, {}, grip);
  QVERIFY(!dialog.IsDragging());

  // Moves after the release leave the window where it is.
  const QPoint released = dialog.pos();
  QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(100, 60));
  QTest::mouseMove(&dialog, QPoint(150, 90));
  QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(150, 90));
  QCOMPARE(dialog.pos(), released);
}

void SkinnedDialogTest::showInPlaceRoundTrip_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("way");
  QTest::addColumn<int>("result");
  for (const QString& kind : {QStringLiteral("message"), QStringLiteral("about")}) {
    const QByteArray name = kind.toLatin1();
    QTest::newRow(name + " close button") << kind << QStringLiteral("button") << 1;
    QTest::newRow(name + " Enter") << kind << QStringLiteral("return") << 1;
    QTest::newRow(name + " keypad Enter") << kind << QStringLiteral("enter") << 1;
    QTest::newRow(name + " Escape") << kind << QStringLiteral("escape") << 2;
    QTest::newRow(name + " closed") << kind << QStringLiteral("close") << 2;
    QTest::newRow(name + " window closed") << kind << QStringLiteral("close window") << 2;
  }
}

void SkinnedDialogTest::showInPlaceRoundTrip() {
  QFETCH(QString, kind);
  QFETCH(QString, way);
  QFETCH(int, result);
  SkinnedDialog main(TestSkin());
  main.move(kMainPosition);
  main.show();
  QVERIFY(QTest::qWaitForWindowExposed(&main));
  const std::unique_ptr<SkinnedDialog> dialog = MakeSecondary(kind);

  bool inPlace = false;
  QTimer::singleShot(0, dialog.get(), [&] {
    // The dialog is the main window's content, covering it whole.
    inPlace = ActiveInPlaceDialog() == dialog.get() && dialog->window() == &main &&
              dialog->isVisible() && dialog->geometry() == main.rect();
    Drag(*dialog, QPoint(10, 5), QPoint(-50, 30));
    if (way == u"button") {
      Click(*dialog, kCloseButtonCentre);
    } else if (way == u"close window") {
      // What the desktop's close of the one window does: cancel the dialog, not end the program.
      main.close();
    } else if (way == u"return") {
      QTest::keyClick(dialog.get(), Qt::Key_Return);
    } else if (way == u"enter") {
      QTest::keyClick(dialog.get(), Qt::Key_Enter, Qt::KeypadModifier);
    } else if (way == u"escape") {
      QTest::keyClick(dialog.get(), Qt::Key_Escape);
    } else {
      dialog->close();
    }
  });
  ModalFailSafe failSafe;
  QCOMPARE(ShowInPlace(&main, *dialog), result);
  QVERIFY(!failSafe.Fired());

  QVERIFY(inPlace);
  QVERIFY(ActiveInPlaceDialog() == nullptr);
  QVERIFY(dialog->isWindow());
  const QRect left(kMainPosition + QPoint(-50, 30), QSize(210, 100));
  QCOMPARE(dialog->SavedRect(), left);
  QCOMPARE(main.SavedRect(), QRect(kMainPosition, QSize(210, 100)));
  QVERIFY(main.isVisible());
  QCOMPARE(main.frameGeometry(), left);
}

void SkinnedDialogTest::mainWindowsModalRunSurvivesASecondaryWindow() {
  SkinnedDialog main(TestSkin());
  main.move(kMainPosition);
  MessageDialog message(TestSkin());
  int inPlace = -1;
  bool runAfterwards = false;
  bool shownAgain = false;
  QTimer::singleShot(0, &main, [&] {
    QTimer::singleShot(0, &message, [&] { message.accept(); });
    inPlace = ShowInPlace(&main, message);
    // Still inside the main window's run: it must not have ended with the secondary window.
    QTimer::singleShot(0, &main, [&] {
      runAfterwards = true;
      shownAgain = main.isVisible();
      main.done(7);
    });
  });
  ModalFailSafe failSafe({&main});
  QCOMPARE(main.exec(), 7);
  QVERIFY(!failSafe.Fired());
  QCOMPARE(inPlace, 1);
  QVERIFY(runAfterwards);
  QVERIFY(shownAgain);
}

void SkinnedDialogTest::powerButtonEndsTheProgram_data() {
  QTest::addColumn<QString>("kind");
  QTest::newRow("message") << QStringLiteral("message");
  QTest::newRow("about") << QStringLiteral("about");
}

void SkinnedDialogTest::powerButtonEndsTheProgram() {
  QFETCH(QString, kind);
  // The main window's modal run is the program's.
  SkinnedDialog main(TestSkin());
  main.move(kMainPosition);
  const std::unique_ptr<SkinnedDialog> dialog = MakeSecondary(kind);
  int inPlace = -1;
  QTimer::singleShot(0, &main, [&] {
    QTimer::singleShot(0, dialog.get(), [&] {
      Drag(*dialog, QPoint(10, 5), QPoint(40, 20));
      Click(*dialog, kPowerButtonCentre);
    });
    inPlace = ShowInPlace(&main, *dialog);
  });
  ModalFailSafe failSafe({&main});
  QCOMPARE(main.exec(), 0);
  QVERIFY(!failSafe.Fired());
  QCOMPARE(inPlace, 0);
  QVERIFY(dialog->PoweredOff());
  QVERIFY(dialog->SavedRect().isNull());
  QVERIFY(!main.isVisible());
  QCOMPARE(main.pos(), kMainPosition + QPoint(40, 20));
}

void SkinnedDialogTest::powerButtonClosesAPlainMainWindow() {
  PlainWindow main;
  main.setGeometry(QRect(kMainPosition, QSize(210, 100)));
  main.show();
  QVERIFY(QTest::qWaitForWindowExposed(&main));
  MessageDialog message(TestSkin());
  QTimer::singleShot(0, &message, [&] { Click(message, kPowerButtonCentre); });
  ModalFailSafe failSafe;
  QCOMPARE(ShowInPlace(&main, message), 0);
  QVERIFY(!failSafe.Fired());
  QCOMPARE(main.closes, 1);
  QVERIFY(!main.isVisible());
}

// The dialog is the main window's child while it runs, but not the main window's to delete.
void SkinnedDialogTest::dialogOutlivesItsMainWindow() {
  auto* main = new PlainWindow;
  main->setGeometry(QRect(kMainPosition, QSize(210, 100)));
  main->show();
  MessageDialog message(TestSkin());
  QTimer::singleShot(0, &message, [main] { delete main; });
  ModalFailSafe failSafe;
  QCOMPARE(ShowInPlace(main, message), 0);
  QVERIFY(!failSafe.Fired());
  QVERIFY(message.isWindow());
  QVERIFY(ActiveInPlaceDialog() == nullptr);
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::SkinnedDialogTest)
#include "skinned_dialog_test.moc"
