// Every text the message and about windows show fits its box, measured with font metrics: the
// glyphs (and a link's underline) stay at least 2 pixels inside every edge and clear of each other,
// the picture and the buttons; and the settings window's edits show whole lines. CTest runs this
// at a font setting of 96 and of 144 dpi; the layout must not change with it.

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstdint>
#include <limits>
#include <string>

#include "app/about_dialog.h"
#include "app/message_dialog.h"
#include "app/settings_dialog.h"
#include "app/skin_resources.h"
#include "pipeline/conversion.h"

namespace pelorin::ui::test {
namespace {

constexpr int kSpare = 2;

// The faces the layout was drawn for, and their sizes: 8 and 9 points at 96 dpi.
QString Face(Language language) {
  return language == Language::kJapanese ? QStringLiteral("Noto Sans CJK JP")
                                         : QStringLiteral("Liberation Sans");
}
int LargestPixelSize(Language language) {
  return language == Language::kJapanese ? 12 : 11;
}

// Where `label` puts its glyphs, in its parent's coordinates, as QLabel lays out one line of plain
// text in its contents rectangle.
QRect Ink(const QLabel& label) {
  const QFontMetrics metrics(label.font());
  const QRect area = label.contentsRect().translated(label.pos());
  const Qt::Alignment alignment = label.alignment();
  const int advance = metrics.horizontalAdvance(label.text());
  int x = area.left();
  if (alignment & Qt::AlignHCenter) x += (area.width() - advance) / 2;
  if (alignment & Qt::AlignRight) x = area.right() + 1 - advance;
  int top = area.top();
  if (alignment & Qt::AlignVCenter) top += (area.height() - metrics.height()) / 2;
  if (alignment & Qt::AlignBottom) top = area.bottom() + 1 - metrics.height();
  QRect ink = metrics.tightBoundingRect(label.text());
  if (label.font().underline()) {
    ink |= QRect(0, metrics.underlinePos(), advance, metrics.lineWidth());
  }
  return ink.translated(x, top + metrics.ascent());
}

QString Describe(const QLabel& label) {
  const QRect ink = Ink(label);
  const QRect box = label.geometry();
  return QStringLiteral("\"%1\" at %2 px: ink %3,%4 %5x%6 in box %7,%8 %9x%10")
      .arg(label.text())
      .arg(QFontInfo(label.font()).pixelSize())
      .arg(ink.x())
      .arg(ink.y())
      .arg(ink.width())
      .arg(ink.height())
      .arg(box.x())
      .arg(box.y())
      .arg(box.width())
      .arg(box.height());
}

// The label's text is set in the language's face, no larger than the layout's size, and its ink
// lies inside `box` with the spare on every side, and inside the label, which would clip it.
void CheckFits(const QLabel& label, const QRect& box, Language language) {
  const QFontInfo font(label.font());
  QCOMPARE(font.family(), Face(language));
  QVERIFY2(font.pixelSize() <= LargestPixelSize(language), qPrintable(Describe(label)));
  const QRect ink = Ink(label);
  QVERIFY2(box.adjusted(kSpare, kSpare, -kSpare, -kSpare).contains(ink),
           qPrintable(Describe(label)));
  QVERIFY2(label.geometry().contains(ink), qPrintable(Describe(label)));
}

// The buttons' shapes, in the window's coordinates.
QRegion Buttons(const QWidget& window) {
  QRegion region;
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    const QRegion shape = button->mask().isEmpty() ? QRegion(button->rect()) : button->mask();
    region += shape.translated(button->pos());
  }
  return region;
}

// The rows of `edit` that show some of its (black) text.
int TextRows(QLineEdit& edit) {
  const QImage image = edit.grab().toImage();
  int rows = 0;
  for (int y = 0; y < image.height(); ++y) {
    bool ink = false;
    for (int x = 4; x < image.width() - 4; ++x) ink = ink || qGray(image.pixel(x, y)) < 128;
    rows += ink;
  }
  return rows;
}

QString Utf8(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

class DialogTextFitTest : public QObject {
  Q_OBJECT

 private slots:
  void everyMessageFitsItsBox_data();
  void everyMessageFitsItsBox();
  void aboutLinesFitAndStayApart_data();
  void aboutLinesFitAndStayApart();
  void settingsEditsShowWholeLines_data();
  void settingsEditsShowWholeLines();
};

void DialogTextFitTest::everyMessageFitsItsBox_data() {
  QTest::addColumn<Language>("language");
  QTest::addColumn<int>("mode");
  QTest::addColumn<QString>("text");
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    const char* suffix = language == Language::kJapanese ? " ja" : " en";
    for (const int id : {kStrCannotOpen, kStrBadExtension, kStrFormatNotSupported, kStrCannotSave,
                         kStrNameTooLong, kStrPlaytimeTooShort, kStrDiskSpace, kStrRateNotSupported,
                         kStrBitsNotSupported, kStrChannelsNotSupported}) {
      QTest::addRow("%d%s", id, suffix)
          << language << MessageDialog::kCautionMode << Utf8(std::string(LoadString(id, language)));
    }
    // The size of a file the window writes, a wider one, and the widest a size can be.
    for (const int32_t bytes : {8141, 102399990, std::numeric_limits<int32_t>::max()}) {
      QTest::addRow("size %d%s", bytes, suffix)
          << language << MessageDialog::kCompletedMode << Utf8(FileSizeMessage(bytes, language));
    }
  }
}

void DialogTextFitTest::everyMessageFitsItsBox() {
  QFETCH(Language, language);
  QFETCH(int, mode);
  QFETCH(QString, text);
  MessageDialog dialog{Skin(language)};
  dialog.SetMessage(mode, text);
  const auto* label = dialog.findChild<QLabel*>();
  QVERIFY(label != nullptr);
  QCOMPARE(label->text(), text);
  CheckFits(*label, MessageDialog::kTextRect, language);
  QVERIFY(!Buttons(dialog).intersects(Ink(*label).adjusted(-kSpare, -kSpare, kSpare, kSpare)));
}

void DialogTextFitTest::aboutLinesFitAndStayApart_data() {
  QTest::addColumn<Language>("language");
  QTest::newRow("English") << Language::kEnglish;
  QTest::newRow("Japanese") << Language::kJapanese;
}

void DialogTextFitTest::aboutLinesFitAndStayApart() {
  QFETCH(Language, language);
  AboutDialog dialog{Skin(language)};
  const QList<QLabel*> lines = dialog.findChildren<QLabel*>();
  // The version line, three notice lines and the link.
  QCOMPARE(lines.size(), 5);
  const QRect picture(AboutDialog::kPicturePosition,
                      LoadSkinBitmap(kAboutPicture, language).deviceIndependentSize().toSize());
  const QRegion buttons = Buttons(dialog);
  for (const QLabel* line : lines) {
    QVERIFY(!line->text().isEmpty());
    // Each line's box is the label, inside the window and below the band it is dragged by.
    const QRect box = line->geometry();
    QVERIFY2(dialog.rect().contains(box) && box.top() >= SkinnedDialog::kTitleBand.bottom(),
             qPrintable(Describe(*line)));
    CheckFits(*line, box, language);
    QVERIFY2(!box.intersects(picture), qPrintable(Describe(*line)));
    QVERIFY2(!buttons.intersects(box), qPrintable(Describe(*line)));
    for (const QLabel* other : lines) {
      if (other != line) QVERIFY2(!box.intersects(other->geometry()), qPrintable(Describe(*line)));
    }
  }
}

void DialogTextFitTest::settingsEditsShowWholeLines_data() {
  QTest::addColumn<Language>("language");
  QTest::addColumn<QString>("text");
  QTest::newRow("English") << Language::kEnglish << QStringLiteral("Tidy gjpq");
  QTest::newRow("Japanese") << Language::kJapanese << QStringLiteral("ベルの音・著作権");
}

void DialogTextFitTest::settingsEditsShowWholeLines() {
  QFETCH(Language, language);
  QFETCH(QString, text);
  SettingsDialog dialog{Skin(language)};
  dialog.SetTitle(text);
  auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("title"));
  QVERIFY(edit != nullptr);
  // The same edit, high enough for any line.
  QLineEdit tall;
  tall.setFont(edit->font());
  tall.setFrame(edit->hasFrame());
  tall.resize(edit->width(), 60);
  tall.setText(text);
  QCOMPARE(TextRows(*edit), TextRows(tall));
}

}  // namespace pelorin::ui::test

int main(int argc, char** argv) {
  // As the program does: a font setting of 144 dpi leaves the scale at 100 %, so only the fonts
  // could grow.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
  QApplication application(argc, argv);
  pelorin::ui::test::DialogTextFitTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "dialog_text_fit_test.moc"
