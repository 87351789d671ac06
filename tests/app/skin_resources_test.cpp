#include <QGuiApplication>
#include <QTest>

#include <cmath>

#include "app/bitmap_button.h"
#include "app/message_dialog.h"
#include "app/region_from_bitmap.h"
#include "app/skin_resources.h"

using pelorin::Language;
namespace ui = pelorin::ui;

Q_DECLARE_METATYPE(Language)

namespace {

const QRgb kKey = qRgb(255, 0, 255);

struct Expected {
  int id;
  int width;
  int height;
  int frames;
  bool shaped;
  bool perLanguage;
};

constexpr Expected kExpected[] = {
    {ui::kLabel8kHz, 28, 12, 1, false, false},       {ui::kLabel4kHz, 28, 12, 1, false, false},
    {ui::kLabelSave, 28, 12, 1, false, true},        {ui::kLabelTrans, 28, 12, 1, false, true},
    {ui::kRateToggle, 11, 33, 3, true, false},       {ui::kDropPanel, 210, 60, 1, true, false},
    {ui::kAboutPicture, 48, 48, 1, false, false},    {ui::kBackground, 210, 100, 1, false, false},
    {ui::kCancelButton, 51, 26, 2, true, false},     {ui::kCautionPanel, 210, 60, 1, true, false},
    {ui::kPermissionToggle, 13, 39, 3, true, false}, {ui::kClearButton, 51, 26, 2, true, false},
    {ui::kCloseButton, 51, 26, 2, true, false},      {ui::kCompletedPanel, 210, 60, 1, true, false},
    {ui::kCopyrightLabel, 210, 17, 1, false, true},  {ui::kOkButton, 51, 26, 2, true, false},
    {ui::kPowerButton, 28, 56, 2, true, false},      {ui::kTitleLabel, 210, 17, 1, false, true},
    {ui::kAboutButton, 51, 26, 2, true, false},
};

double Luminance(QRgb rgb) {
  auto linear = [](int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb));
}

// The contrast ratio of two colours, 1 (none) to 21 (black on white).
double Contrast(QRgb a, QRgb b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The lowest contrast of text in colour `text` against any pixel of `area` in `image`.
double WorstContrast(const QImage& image, const QRect& area, QRgb text) {
  double worst = 21;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      worst = std::min(worst, Contrast(image.pixel(x, y), text));
    }
  }
  return worst;
}

QImage Frame(const QImage& strip, int frames, int index) {
  const int h = strip.height() / frames;
  return strip.copy(0, index * h, strip.width(), h);
}

}  // namespace

class SkinResourcesTest : public QObject {
  Q_OBJECT

 private slots:
  void bitmapsHaveTheirSizes_data();
  void bitmapsHaveTheirSizes();
  void unknownNumbersGiveNothing();
  void shapedBitmapsAreKeyedAndSolid_data();
  void shapedBitmapsAreKeyedAndSolid();
  void languagesDifferOnlyWhereTheyShould();
  void labelsBlendIntoTheBackground();
  void textAreasAreReadable();
  void twinsAreTheBitmapsAtTwiceTheResolution_data();
  void twinsAreTheBitmapsAtTwiceTheResolution();
  void twinShapesControlsInLogicalPixels();
  void panelsLeaveThePowerButtonFree();
  void iconAndCursor();
};

void SkinResourcesTest::bitmapsHaveTheirSizes_data() {
  QTest::addColumn<int>("id");
  QTest::addColumn<Language>("language");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<int>("frames");
  for (const Expected& e : kExpected) {
    for (Language language : {Language::kEnglish, Language::kJapanese}) {
      const QByteArray name =
          QByteArray::number(e.id) + (language == Language::kJapanese ? " ja" : " en");
      QTest::newRow(name.constData()) << e.id << language << QSize(e.width, e.height) << e.frames;
    }
  }
}

void SkinResourcesTest::bitmapsHaveTheirSizes() {
  QFETCH(int, id);
  QFETCH(Language, language);
  QFETCH(QSize, size);
  QFETCH(int, frames);
  const QImage image = ui::LoadSkinBitmap(id, language);
  QVERIFY(!image.isNull());
  QCOMPARE(image.size(), size);
  QCOMPARE(image.height() % frames, 0);
}

void SkinResourcesTest::unknownNumbersGiveNothing() {
  // 128 and 160 are the icon and the cursor, not bitmaps.
  for (int id : {0, -1, 101, 105, 128, 160, 999}) {
    QVERIFY2(ui::LoadSkinBitmap(id, Language::kEnglish).isNull(), qPrintable(QString::number(id)));
    QVERIFY(ui::LoadSkinBitmap(id, Language::kJapanese).isNull());
  }
}

void SkinResourcesTest::shapedBitmapsAreKeyedAndSolid_data() {
  QTest::addColumn<int>("id");
  QTest::addColumn<int>("frames");
  for (const Expected& e : kExpected) {
    if (e.shaped) QTest::newRow(QByteArray::number(e.id).constData()) << e.id << e.frames;
  }
}

void SkinResourcesTest::shapedBitmapsAreKeyedAndSolid() {
  QFETCH(int, id);
  QFETCH(int, frames);
  const QImage strip = ui::LoadSkinBitmap(id, Language::kEnglish);
  QCOMPARE(strip.pixel(0, 0), kKey);

  const QImage first = Frame(strip, frames, 0);
  // The control takes its shape from the first frame: its middle must be part of it.
  QVERIFY(first.pixel(first.width() / 2, first.height() / 2) != kKey);

  for (int f = 0; f < frames; ++f) {
    const QImage frame = Frame(strip, frames, f);
    for (int other = 0; other < f; ++other) {
      QVERIFY2(frame != Frame(strip, frames, other),
               qPrintable(QString("frames %1 and %2 look the same").arg(other).arg(f)));
    }
    // Edges are blended towards the window behind, never towards the key: a pinkish pixel
    // would show as a fringe round the control.
    for (int y = 0; y < frame.height(); ++y) {
      for (int x = 0; x < frame.width(); ++x) {
        const QRgb p = frame.pixel(x, y);
        if (p == kKey) continue;
        const bool pinkish = qRed(p) > qGreen(p) + 90 && qBlue(p) > qGreen(p) + 90;
        QVERIFY2(!pinkish, qPrintable(QString("frame %1 pixel %2,%3").arg(f).arg(x).arg(y)));
      }
    }
  }
}

void SkinResourcesTest::languagesDifferOnlyWhereTheyShould() {
  for (const Expected& e : kExpected) {
    const QImage english = ui::LoadSkinBitmap(e.id, Language::kEnglish);
    const QImage japanese = ui::LoadSkinBitmap(e.id, Language::kJapanese);
    QVERIFY2((english != japanese) == e.perLanguage, qPrintable(QString::number(e.id)));
  }
}

void SkinResourcesTest::labelsBlendIntoTheBackground() {
  // Labels are painted over the background without a shape; their edges that carry no text
  // must be the background underneath, or a box shows round them.
  const QImage background = ui::LoadSkinBitmap(ui::kBackground, Language::kEnglish);
  struct Placed {
    int id;
    QPoint at;
    int column;  // an edge column without text
  };
  const Placed placed[] = {
      {ui::kTitleLabel, {0, 21}, 209}, {ui::kCopyrightLabel, {0, 41}, 209},
      {ui::kLabelSave, {11, 63}, 0},   {ui::kLabelTrans, {56, 63}, 0},
      {ui::kLabel8kHz, {110, 63}, 0},  {ui::kLabel4kHz, {155, 63}, 0},
  };
  for (const Placed& p : placed) {
    for (Language language : {Language::kEnglish, Language::kJapanese}) {
      const QImage label = ui::LoadSkinBitmap(p.id, language);
      for (int y = 0; y < label.height(); ++y) {
        QVERIFY2(label.pixel(p.column, y) == background.pixel(p.at + QPoint(p.column, y)),
                 qPrintable(QString("bitmap %1 row %2").arg(p.id).arg(y)));
      }
    }
  }
}

void SkinResourcesTest::textAreasAreReadable() {
  // The message's box lies over the panel (at 0, 24 in the window), its text in amber on the
  // caution panel and blue on the completed one. The whole box is panel, and where the text can
  // be, 2 pixels inside it, nothing of the panel's picture shows and every pixel contrasts with
  // the text.
  const QRect box = ui::MessageDialog::kTextRect.translated(0, -24);
  const QRect line = box.adjusted(2, 2, -2, -2);
  const QImage caution = ui::LoadSkinBitmap(ui::kCautionPanel, Language::kEnglish);
  const QImage completed = ui::LoadSkinBitmap(ui::kCompletedPanel, Language::kEnglish);
  for (const QImage* panel : {&caution, &completed}) {
    for (int y = box.top(); y <= box.bottom(); ++y) {
      for (int x = box.left(); x <= box.right(); ++x) QVERIFY(panel->pixel(x, y) != kKey);
    }
    for (int y = line.top(); y <= line.bottom(); ++y) {
      for (int x = line.left(); x <= line.right(); ++x) {
        QVERIFY2(panel->pixel(x, y) == panel->pixel(line.left(), y),
                 qPrintable(QString("picture at %1,%2").arg(x).arg(y)));
      }
    }
  }
  QVERIFY(WorstContrast(caution, line, qRgb(255, 216, 0)) >= 4.5);
  QVERIFY(WorstContrast(completed, line, qRgb(0, 36, 255)) >= 4.5);
  // The about window's light-grey lines, right of its picture and above the bottom bar.
  const QImage background = ui::LoadSkinBitmap(ui::kBackground, Language::kEnglish);
  QVERIFY(WorstContrast(background, QRect(60, 22, 147, 58), qRgb(240, 240, 240)) >= 4.5);
}

void SkinResourcesTest::twinsAreTheBitmapsAtTwiceTheResolution_data() {
  bitmapsHaveTheirSizes_data();
}

void SkinResourcesTest::twinsAreTheBitmapsAtTwiceTheResolution() {
  QFETCH(int, id);
  QFETCH(Language, language);
  QFETCH(QSize, size);
  // Screens at 150 % get the bitmap itself, at 200 % and more its twin.
  const QImage bitmap = ui::LoadSkinBitmapAtRatio(id, language, 1.5);
  QCOMPARE(bitmap.devicePixelRatio(), 1.0);
  QCOMPARE(bitmap.size(), size);
  const QImage twin = ui::LoadSkinBitmapAtRatio(id, language, 3);
  QCOMPARE(twin.devicePixelRatio(), 2.0);
  QCOMPARE(twin.size(), size * 2);
  QCOMPARE(twin.pixel(0, 0) == kKey, bitmap.pixel(0, 0) == kKey);
  // Transparent exactly where the bitmap is, so shapes taken from it fit what is drawn.
  if (bitmap.pixel(0, 0) == kKey) {
    for (int y = 0; y < twin.height(); ++y) {
      for (int x = 0; x < twin.width(); ++x) {
        QVERIFY2((twin.pixel(x, y) == kKey) == (bitmap.pixel(x / 2, y / 2) == kKey),
                 qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
      }
    }
  }
}

void SkinResourcesTest::twinShapesControlsInLogicalPixels() {
  const QImage strip = ui::LoadSkinBitmapAtRatio(ui::kOkButton, Language::kEnglish, 2);
  ui::BitmapButton button;
  button.move(68, 85);
  QVERIFY(button.SetImage(strip, 1));
  QCOMPARE(button.geometry(), QRect(68, 85, 51, 13));
  const QImage bitmap = ui::LoadSkinBitmapAtRatio(ui::kOkButton, Language::kEnglish, 1);
  QCOMPARE(button.mask(), ui::RegionFromBitmap(bitmap, 13));
  QCOMPARE(ui::RegionFromBitmap(strip, 13), ui::RegionFromBitmap(bitmap, 13));
}

void SkinResourcesTest::panelsLeaveThePowerButtonFree() {
  // The main window gives its drop panel its bitmap after the power button, which raises the
  // panel above the button; where the two shapes met, the panel would hide part of the disc.
  const QImage power = ui::LoadSkinBitmap(ui::kPowerButton, Language::kEnglish);
  const QPoint powerAt(182, 72);
  const QPoint panelAt(0, 24);
  for (int id : {ui::kDropPanel, ui::kCautionPanel, ui::kCompletedPanel}) {
    const QImage panel = ui::LoadSkinBitmap(id, Language::kEnglish);
    for (int y = 0; y < power.height() / 2; ++y) {
      for (int x = 0; x < power.width(); ++x) {
        const QPoint onPanel = powerAt + QPoint(x, y) - panelAt;
        if (power.pixel(x, y) == kKey || !panel.rect().contains(onPanel)) continue;
        QVERIFY2(panel.pixel(onPanel) == kKey,
                 qPrintable(
                     QString("bitmap %1 covers the power button at %2,%3").arg(id).arg(x).arg(y)));
      }
    }
  }
}

void SkinResourcesTest::iconAndCursor() {
  const QIcon icon = ui::ProgramIcon();
  QVERIFY(!icon.isNull());
  QVERIFY(icon.availableSizes().contains(QSize(48, 48)));
  QVERIFY(icon.availableSizes().contains(QSize(256, 256)));

  const QCursor cursor = ui::LinkCursor();
  QCOMPARE(cursor.shape(), Qt::BitmapCursor);
  const QImage hand = cursor.pixmap().toImage();
  QCOMPARE(hand.size(), QSize(32, 32));
  QVERIFY(hand.hasAlphaChannel());
  QCOMPARE(qAlpha(hand.pixel(0, 0)), 0);
  // The hot spot is the fingertip: on the hand, and at most two rows below its top.
  const QPoint hot = cursor.hotSpot();
  QVERIFY(qAlpha(hand.pixel(hot)) > 128);
  int top = 0;
  while (top < hand.height()) {
    bool empty = true;
    for (int x = 0; x < hand.width(); ++x) empty = empty && qAlpha(hand.pixel(x, top)) == 0;
    if (!empty) break;
    ++top;
  }
  QVERIFY(hot.y() >= top && hot.y() - top <= 2);
}

QTEST_MAIN(SkinResourcesTest)
#include "skin_resources_test.moc"
