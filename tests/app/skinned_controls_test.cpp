#include <QBitmap>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "app/bitmap_button.h"
#include "app/link_static.h"
#include "app/region_from_bitmap.h"
#include "app/shaped_static.h"
#include "app/skin_resources.h"
#include "app/tri_state_toggle.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

// The region a picture's key colour leaves, worked out independently of the row scan.
QRegion OpaqueRegion(const QImage& image, int rows) {
  const QImage top = image.copy(0, 0, image.width(), rows);
  return QRegion(QBitmap::fromImage(top.createMaskFromColor(top.pixel(0, 0), Qt::MaskInColor)));
}

// A plain window that records the presses reaching it, so that a click can be seen to fall
// through a control.
class Backdrop : public QWidget {
 public:
  Backdrop() {
    resize(100, 80);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(kBackgroundColour));
    setPalette(colours);
  }
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    ++presses;
    event->accept();
  }
};

QRgb PixelAt(QWidget& widget, QPoint point) {
  return widget.grab().toImage().pixel(point);
}

// Catches what the link hands to the desktop instead of starting a browser.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() {
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open");
  }
  ~UrlCatcher() override {
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  }
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

}  // namespace

class SkinnedControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void regionFollowsOpaqueRuns_data();
  void regionFollowsOpaqueRuns();
  void regionMatchesTheKeyColourMaskOfADisc();
  void regionComparesColoursExactly();

  void buttonTakesTheShapeOfItsNormalImage();
  void buttonClicks_data();
  void buttonClicks();
  void buttonShowsThePressedImageWhileDown();
  void buttonWithoutBitmapStaysUnshaped();

  void toggleShowsTheImageOfItsState_data();
  void toggleShowsTheImageOfItsState();
  void toggleLeavesItsStateToTheOwner();

  void staticShapes_data();
  void staticShapes();
  void staticWithoutBitmapDrawsNothingAndTakesNoClicks();

  void linkIsBlueAndUnderlinedFromItsFirstPaint();
  void linkOpensItsOwnText_data();
  void linkOpensItsOwnText();
};

void SkinnedControlsTest::regionFollowsOpaqueRuns_data() {
  QTest::addColumn<QImage>("image");
  QTest::addColumn<int>("rows");
  QTest::addColumn<QList<QRect>>("expected");

  QTest::newRow("runs of one row")
      << Picture({".rr..g.b"}) << 1 << QList<QRect>{{1, 0, 2, 1}, {5, 0, 1, 1}, {7, 0, 1, 1}};
  QTest::newRow("an all-transparent row adds nothing")
      << Picture({".rr.", "....", ".rr."}) << 3 << QList<QRect>{{1, 0, 2, 1}, {1, 2, 2, 1}};
  QTest::newRow("a full row below the first spans the width")
      << Picture({"....", "rgbr"}) << 2 << QList<QRect>{{0, 1, 4, 1}};
  QTest::newRow("the top-left pixel's colour is transparent wherever it is")
      << Picture({"grrg", "rgrr"}) << 2 << QList<QRect>{{1, 0, 2, 1}, {0, 1, 1, 1}, {2, 1, 2, 1}};
  QTest::newRow("only the first rows count")
      << Picture({".r..", ".r..", "rrrr"}) << 2 << QList<QRect>{{1, 0, 1, 2}};
  QTest::newRow("rows beyond the image are ignored")
      << Picture({".r", "r."}) << 5 << QList<QRect>{{1, 0, 1, 1}, {0, 1, 1, 1}};
  QTest::newRow("no rows") << Picture({".r"}) << 0 << QList<QRect>{};
  QTest::newRow("null image") << QImage() << 3 << QList<QRect>{};
}

void SkinnedControlsTest::regionFollowsOpaqueRuns() {
  QFETCH(QImage, image);
  QFETCH(int, rows);
  QFETCH(QList<QRect>, expected);
  QRegion region;
  for (const QRect& rect : expected) region += rect;
  QCOMPARE(RegionFromBitmap(image, rows), region);
}

void SkinnedControlsTest::regionMatchesTheKeyColourMaskOfADisc() {
  const QImage strip = DiscStrip(15, {kRed, kGreen});
  const QRegion shape = RegionFromBitmap(strip, 15);
  QCOMPARE(shape, OpaqueRegion(strip, 15));
  QVERIFY(shape.contains(QPoint(7, 7)));
  QVERIFY(!shape.contains(QPoint(0, 0)));
  QVERIFY(!shape.contains(QPoint(14, 14)));
  QCOMPARE(shape.boundingRect(), QRect(1, 1, 13, 13));
}

void SkinnedControlsTest::regionComparesColoursExactly() {
  QImage image = Picture({"...."});
  image.setPixel(2, 0, qRgb(255, 0, 254));
  QCOMPARE(RegionFromBitmap(image, 1), QRegion(2, 0, 1, 1));
}

void SkinnedControlsTest::buttonTakesTheShapeOfItsNormalImage() {
  Backdrop backdrop;
  BitmapButton button(&backdrop);
  QWidget later(&backdrop);
  later.setGeometry(0, 0, 100, 80);
  button.move(20, 10);
  const QImage strip = DiscStrip(21, {kRed, kGreen});
  QVERIFY(button.SetImage(strip, 1));
  QCOMPARE(button.geometry(), QRect(20, 10, 21, 21));
  QCOMPARE(button.mask(), OpaqueRegion(strip, 21));
  // Raised above the sibling made after it.
  QCOMPARE(backdrop.childAt(30, 20), &button);
}

void SkinnedControlsTest::buttonClicks_data() {
  QTest::addColumn<QPoint>("point");
  QTest::addColumn<bool>("clicked");
  QTest::newRow("centre of the disc") << QPoint(10, 10) << true;
  QTest::newRow("edge of the disc") << QPoint(1, 10) << true;
  QTest::newRow("just inside the disc") << QPoint(4, 4) << true;
  QTest::newRow("just outside the disc") << QPoint(3, 3) << false;
  QTest::newRow("corner") << QPoint(20, 20) << false;
}

void SkinnedControlsTest::buttonClicks() {
  QFETCH(QPoint, point);
  QFETCH(bool, clicked);
  Backdrop backdrop;
  BitmapButton button(&backdrop);
  button.move(20, 10);
  button.SetImage(DiscStrip(21, {kRed, kGreen}), 1);
  QSignalSpy spy(&button, &BitmapButton::clicked);
  backdrop.show();
  QVERIFY(QTest::qWaitForWindowExposed(&backdrop));

  // Through the window, as a real pointer goes, and straight at the button.
  QTest::mouseClick(backdrop.windowHandle(), Qt::LeftButton, {}, button.mapTo(&backdrop, point));
  QTest::mouseClick(&button, Qt::LeftButton, {}, point);
  QCOMPARE(spy.count(), clicked ? 2 : 0);
  QCOMPARE(backdrop.presses, clicked ? 0 : 2);
}

void SkinnedControlsTest::buttonShowsThePressedImageWhileDown() {
  Backdrop backdrop;
  BitmapButton button(&backdrop);
  button.move(20, 10);
  button.SetImage(DiscStrip(21, {kRed, kGreen}), 1);
  const QPoint centre(10, 10);
  const QPoint corner = button.mapTo(&backdrop, QPoint(1, 1));

  QCOMPARE(PixelAt(backdrop, button.mapTo(&backdrop, centre)), kRed);
  QTest::mousePress(&button, Qt::LeftButton, {}, centre);
  QVERIFY(button.isDown());
  QCOMPARE(PixelAt(backdrop, button.mapTo(&backdrop, centre)), kGreen);
  // The pressed image is cut to the same shape.
  QCOMPARE(PixelAt(backdrop, corner), kBackgroundColour);
  QTest::mouseRelease(&button, Qt::LeftButton, {}, centre);
  QCOMPARE(PixelAt(backdrop, button.mapTo(&backdrop, centre)), kRed);
  QCOMPARE(PixelAt(backdrop, corner), kBackgroundColour);
}

void SkinnedControlsTest::buttonWithoutBitmapStaysUnshaped() {
  Backdrop backdrop;
  BitmapButton button(&backdrop);
  button.setGeometry(10, 10, 30, 20);
  QSignalSpy spy(&button, &BitmapButton::clicked);
  // A number the skin does not have gives a null strip.
  QVERIFY(!button.SetImage(LoadSkinBitmap(99999, Language::kEnglish), 1));
  QCOMPARE(button.geometry(), QRect(10, 10, 30, 20));
  QCOMPARE(PixelAt(backdrop, QPoint(25, 20)), kBackgroundColour);
  QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(15, 10));
  QCOMPARE(spy.count(), 0);

  // A strip given without the shape flag is kept but not yet shown.
  QVERIFY(button.SetImage(DiscStrip(21, {kRed, kGreen}), 0));
  QCOMPARE(button.geometry(), QRect(10, 10, 30, 20));
  QCOMPARE(PixelAt(backdrop, QPoint(20, 20)), kBackgroundColour);
}

void SkinnedControlsTest::toggleShowsTheImageOfItsState_data() {
  QTest::addColumn<int>("state");
  QTest::addColumn<QRgb>("colour");
  QTest::newRow("0 off") << 0 << kRed;
  QTest::newRow("1 on") << 1 << kGreen;
  QTest::newRow("2 unavailable") << 2 << kBlue;
  QTest::newRow("3 nothing") << 3 << kBackgroundColour;
  QTest::newRow("-1 nothing") << -1 << kBackgroundColour;
}

void SkinnedControlsTest::toggleShowsTheImageOfItsState() {
  QFETCH(int, state);
  QFETCH(QRgb, colour);
  Backdrop backdrop;
  TriStateToggle toggle(&backdrop);
  toggle.move(30, 20);
  const QImage strip = DiscStrip(13, {kRed, kGreen, kBlue});
  QVERIFY(toggle.SetImage(strip));
  QCOMPARE(toggle.geometry(), QRect(30, 20, 13, 13));
  QCOMPARE(toggle.mask(), OpaqueRegion(strip, 13));
  QCOMPARE(toggle.GetState(), 0);

  toggle.SetState(state);
  QCOMPARE(toggle.GetState(), state);
  QCOMPARE(PixelAt(backdrop, QPoint(36, 26)), colour);
  QCOMPARE(PixelAt(backdrop, QPoint(31, 21)), kBackgroundColour);
}

void SkinnedControlsTest::toggleLeavesItsStateToTheOwner() {
  Backdrop backdrop;
  TriStateToggle toggle(&backdrop);
  toggle.SetImage(DiscStrip(13, {kRed, kGreen, kBlue}));
  toggle.SetState(1);
  QSignalSpy spy(&toggle, &TriStateToggle::clicked);
  QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(6, 6));
  QCOMPARE(spy.count(), 1);
  QCOMPARE(toggle.GetState(), 1);
  QVERIFY(!toggle.isChecked());
}

void SkinnedControlsTest::staticShapes_data() {
  QTest::addColumn<int>("mode");
  QTest::addColumn<bool>("shaped");
  QTest::newRow("mode 1 is shaped") << 1 << true;
  QTest::newRow("mode 0 is rectangular") << 0 << false;
  QTest::newRow("mode 2 is rectangular") << 2 << false;
}

void SkinnedControlsTest::staticShapes() {
  QFETCH(int, mode);
  QFETCH(bool, shaped);
  Backdrop backdrop;
  ShapedStatic panel(&backdrop);
  panel.move(5, 6);
  const QImage image = DiscStrip(17, {kGreen});
  QVERIFY(panel.SetImage(image, mode));
  QCOMPARE(panel.geometry(), QRect(5, 6, 17, 17));
  QCOMPARE(panel.mask(), shaped ? OpaqueRegion(image, 17) : QRegion(0, 0, 17, 17));
  QCOMPARE(PixelAt(backdrop, QPoint(13, 14)), kGreen);
  QCOMPARE(PixelAt(backdrop, QPoint(6, 7)), shaped ? kBackgroundColour : kKey);
  // Clicks on a static belong to the window beneath.
  backdrop.show();
  QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
  QTest::mouseClick(backdrop.windowHandle(), Qt::LeftButton, {}, QPoint(13, 14));
  QCOMPARE(backdrop.presses, 1);
}

void SkinnedControlsTest::staticWithoutBitmapDrawsNothingAndTakesNoClicks() {
  Backdrop backdrop;
  ShapedStatic panel(&backdrop);
  panel.setGeometry(10, 10, 40, 30);
  QVERIFY(!panel.SetImage(QImage(), ShapedStatic::kShapedMode));
  QCOMPARE(panel.geometry(), QRect(10, 10, 40, 30));
  backdrop.show();
  QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
  QCOMPARE(PixelAt(backdrop, QPoint(30, 25)), kBackgroundColour);
  QTest::mouseClick(backdrop.windowHandle(), Qt::LeftButton, {}, QPoint(30, 25));
  QCOMPARE(backdrop.presses, 1);
}

void SkinnedControlsTest::linkIsBlueAndUnderlinedFromItsFirstPaint() {
  Backdrop backdrop;
  backdrop.resize(200, 30);
  LinkStatic link(QStringLiteral("https://pelorin.example/"), &backdrop);
  link.setGeometry(5, 5, 190, 20);
  QVERIFY(link.font().underline());

  const QImage image = link.grab().toImage();
  // The underline is a row of pure blue under most of the text.
  int longestRun = 0;
  for (int y = 0; y < image.height(); ++y) {
    int run = 0;
    for (int x = 0; x < image.width(); ++x) {
      run = image.pixel(x, y) == LinkStatic::kTextColour ? run + 1 : 0;
      longestRun = std::max(longestRun, run);
    }
  }
  const int textWidth = link.fontMetrics().horizontalAdvance(link.text());
  QVERIFY2(longestRun >= textWidth * 9 / 10, qPrintable(QString::number(longestRun)));

  QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
  link.SetLinkCursor(QCursor(Qt::PointingHandCursor));
  QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
}

void SkinnedControlsTest::linkOpensItsOwnText_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QList<QUrl>>("opened");
  QTest::newRow("web address") << QStringLiteral("https://pelorin.example/")
                               << QList<QUrl>{QUrl(QStringLiteral("https://pelorin.example/"))};
  QTest::newRow("bare host name") << QStringLiteral(" pelorin.example ")
                                  << QList<QUrl>{QUrl(QStringLiteral("https://pelorin.example"))};
  QTest::newRow("plain http") << QStringLiteral("http://pelorin.example/a?b=c")
                              << QList<QUrl>{QUrl(QStringLiteral("http://pelorin.example/a?b=c"))};
  // Anything else would have the desktop run a file.
  QTest::newRow("local file") << QStringLiteral("file:///bin/sh") << QList<QUrl>{};
  QTest::newRow("bare path") << QStringLiteral("/bin/sh") << QList<QUrl>{};
  QTest::newRow("other scheme") << QStringLiteral("ftp://pelorin.example/") << QList<QUrl>{};
  QTest::newRow("empty") << QString() << QList<QUrl>{};
}

void SkinnedControlsTest::linkOpensItsOwnText() {
  QFETCH(QString, text);
  QFETCH(QList<QUrl>, opened);
  UrlCatcher catcher;
  Backdrop backdrop;
  LinkStatic link(text, &backdrop);
  link.setGeometry(5, 5, 90, 20);
  QTest::mouseClick(&link, Qt::RightButton, {}, QPoint(10, 10));
  QVERIFY(catcher.opened.isEmpty());
  QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(10, 10));
  QCOMPARE(catcher.opened, opened);
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::SkinnedControlsTest)
#include "skinned_controls_test.moc"
