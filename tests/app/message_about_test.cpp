#include <QDesktopServices>
#include <QTest>
#include <QUrl>
#include <cstdlib>

#include "app/about_dialog.h"
#include "app/link_static.h"
#include "app/message_dialog.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

// Text is smoothed at its edges, so its colour is sought in the pixels close to it.
int CountNear(const QImage& image, const QRect& area, QRgb colour) {
  constexpr int kTolerance = 48;
  const auto near = [colour](QRgb pixel) {
    return std::abs(qRed(pixel) - qRed(colour)) <= kTolerance &&
           std::abs(qGreen(pixel) - qGreen(colour)) <= kTolerance &&
           std::abs(qBlue(pixel) - qBlue(colour)) <= kTolerance;
  };
  int count = 0;
  const QRect inside = area & image.rect();
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) count += near(image.pixel(x, y));
  }
  return count;
}

class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open"); }
  ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

}  // namespace

class MessageAboutTest : public QObject {
  Q_OBJECT

 private slots:
  void messageStyleFollowsTheMode_data();
  void messageStyleFollowsTheMode();
  void aboutShowsVersionNoticeAndLink_data();
  void aboutShowsVersionNoticeAndLink();
  void aboutLinkOpensTheWebAddress();
};

void MessageAboutTest::messageStyleFollowsTheMode_data() {
  QTest::addColumn<int>("mode");
  QTest::addColumn<Language>("language");
  QTest::addColumn<QRgb>("panel");
  QTest::addColumn<QRgb>("text");
  QTest::addColumn<QRgb>("otherText");
  QTest::newRow("caution") << 0 << Language::kEnglish << kCautionPanelColour
                           << MessageDialog::kCautionColour << MessageDialog::kCompletedColour;
  QTest::newRow("completed") << 1 << Language::kEnglish << kCompletedPanelColour
                             << MessageDialog::kCompletedColour << MessageDialog::kCautionColour;
  QTest::newRow("any other mode is caution")
      << 2 << Language::kEnglish << kCautionPanelColour << MessageDialog::kCautionColour
      << MessageDialog::kCompletedColour;
  QTest::newRow("negative mode is caution")
      << -1 << Language::kEnglish << kCautionPanelColour << MessageDialog::kCautionColour
      << MessageDialog::kCompletedColour;
  QTest::newRow("Japanese caution")
      << 0 << Language::kJapanese << kCautionPanelColour << MessageDialog::kCautionColour
      << MessageDialog::kCompletedColour;
  QTest::newRow("Japanese completed")
      << 1 << Language::kJapanese << kCompletedPanelColour << MessageDialog::kCompletedColour
      << MessageDialog::kCautionColour;
}

void MessageAboutTest::messageStyleFollowsTheMode() {
  QFETCH(int, mode);
  QFETCH(Language, language);
  QFETCH(QRgb, panel);
  QFETCH(QRgb, text);
  QFETCH(QRgb, otherText);
  MessageDialog dialog(TestSkin(language));
  // Switching the mode after a first message must not leave the old style behind.
  dialog.SetMessage(mode == 1 ? 0 : 1, QStringLiteral("before"));
  const QString message = language == Language::kJapanese
                              ? QStringLiteral("ディスク容量が足りません")
                              : QStringLiteral("KIVRA File Size : 7.95KB");
  dialog.SetMessage(mode, message);
  QCOMPARE(dialog.Mode(), mode);
  QCOMPARE(dialog.Text(), message);

  const QImage image = dialog.grab().toImage();
  // The panel lies at (0, 24) with its top-left pixel cut away.
  QCOMPARE(image.pixel(0, 24), kBackgroundColour);
  QCOMPARE(image.pixel(1, 24), panel);
  QCOMPARE(image.pixel(209, 83), panel);
  QCOMPARE(image.pixel(5, 85), kBackgroundColour);
  // The text is drawn straight onto the panel, in the mode's colour only.
  QVERIFY(CountNear(image, MessageDialog::kTextRect, text) > 10);
  QCOMPARE(CountNear(image, MessageDialog::kTextRect, otherText), 0);
  QCOMPARE(CountNear(image, QRect(0, 0, 210, MessageDialog::kTextRect.top()), text), 0);
  // The buttons lie above the panel.
  QCOMPARE(image.pixel(196, 86), kRed);
}

void MessageAboutTest::aboutShowsVersionNoticeAndLink_data() {
  QTest::addColumn<Language>("language");
  QTest::addColumn<QString>("version");
  QTest::newRow("English") << Language::kEnglish << QStringLiteral(" Pelorin  version 2.1.0");
  QTest::newRow("Japanese") << Language::kJapanese << QStringLiteral("Pelorin  version 2.1.0");
}

void MessageAboutTest::aboutShowsVersionNoticeAndLink() {
  QFETCH(Language, language);
  QFETCH(QString, version);
  AboutDialog dialog(TestSkin(language));
  QCOMPARE(dialog.Version()->text(), version);
  QCOMPARE(dialog.Link()->text(), QStringLiteral("pelorin.example"));

  const QImage image = dialog.grab().toImage();
  QCOMPARE(image.pixel(30, 50), kBlue);  // the picture at (6, 25)
  QCOMPARE(image.pixel(5, 24), kBackgroundColour);
  // Light grey lines between the title band and the link, the link blue below them.
  const QRect versionArea = dialog.Version()->geometry();
  const QRect linkArea = dialog.Link()->geometry();
  QVERIFY(versionArea.top() >= SkinnedDialog::kTitleBand.bottom());
  const QRect notices(60, versionArea.bottom() + 1, 150, linkArea.top() - versionArea.bottom() - 1);
  QVERIFY(CountNear(image, versionArea, AboutDialog::kTextColour) > 10);
  QVERIFY(CountNear(image, notices, AboutDialog::kTextColour) > 30);
  QVERIFY(CountNear(image, linkArea, LinkStatic::kTextColour) > 30);
  QCOMPARE(CountNear(image, QRect(0, 0, 210, linkArea.top()), LinkStatic::kTextColour), 0);
  // Nothing is drawn over the buttons.
  QCOMPARE(image.pixel(155, 91), kRed);
  QCOMPARE(image.pixel(196, 86), kRed);
}

void MessageAboutTest::aboutLinkOpensTheWebAddress() {
  UrlCatcher catcher;
  AboutDialog dialog(TestSkin());
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.Link()->cursor().shape(), LinkCursor().shape());
  const QPoint onText = dialog.Link()->geometry().topLeft() + QPoint(10, 6);
  QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, onText);
  QCOMPARE(catcher.opened, QList<QUrl>{QUrl(QStringLiteral("https://pelorin.example"))});
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::MessageAboutTest)
#include "message_about_test.moc"
