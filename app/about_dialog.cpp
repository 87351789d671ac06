#include "app/about_dialog.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

#include "app/bitmap_button.h"
#include "app/link_static.h"
#include "pipeline/version.h"

namespace pelorin::ui {

namespace {

// The box a line of text is set in (see PlaceLine), in layout units (see ToPixels): left, top,
// width and height.
struct LineBox {
  int x;
  int y;
  int width;
  int height;
};

// The version line, the three notice lines and the link.
constexpr std::array<LineBox, 5> kEnglishLines{{
    {41, 13, 87, 8},
    {41, 20, 98, 8},
    {41, 25, 98, 8},
    {42, 32, 98, 8},
    {49, 37, 98, 8},
}};
constexpr std::array<LineBox, 5> kJapaneseLines{{
    {41, 19, 87, 8},
    {41, 27, 98, 8},
    {41, 34, 98, 8},
    {42, 42, 98, 8},
    {49, 49, 98, 8},
}};

// Layout units to pixels, each rounded to the nearest pixel. A horizontal unit is 1.5 pixels in
// both languages; a vertical unit is 1.625 pixels in English and 1.5 in Japanese, so a box 8 units
// high is 13 pixels high in English and 12 in Japanese.
QRect ToPixels(const LineBox& box, Language language) {
  const double xScale = 1.5;
  const double yScale = language == Language::kJapanese ? 1.5 : 1.625;
  const auto scale = [](int units, double factor) {
    return static_cast<int>(std::lround(units * factor));
  };
  return {scale(box.x, xScale), scale(box.y, yScale), scale(box.width, xScale),
          scale(box.height, yScale)};
}

std::array<QString, 3> NoticeLines(Language language) {
  if (language == Language::kJapanese) {
    return {QStringLiteral("WAV・AIFFの音声を"), QStringLiteral("KIVRA着信音に変換します。"),
            QStringLiteral("フリーソフト・無保証")};
  }
  // The first and third lines stand only 8 pixels above the next one, so they have no
  // descenders.
  return {QStringLiteral("Converts WAV and AIFF"), QStringLiteral("into KIVRA ring tones."),
          QStringLiteral("Freeware. No warranties.")};
}

// The static lines draw straight over the background. Whatever the actual font's proportions, a
// line's baseline sits five sixths of the way down its box, where a font of the box's height
// puts it, so that taller fonts (the Japanese Gothic) do not sink onto the buttons.
void PlaceLine(QLabel* label, const QRect& box) {
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const QFontMetrics metrics = label->fontMetrics();
  const int baseline = box.y() + (box.height() * 5 + 3) / 6;
  label->setGeometry(box.x(), baseline - metrics.ascent(), box.width(),
                     std::max(metrics.height(), box.height()));
}

void SetTextColour(QLabel* label, QRgb colour) {
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, QColor(colour));
  label->setPalette(colours);
}

}  // namespace

AboutDialog::AboutDialog(const Skin& skin, QWidget* parent)
    : SkinnedDialog(skin, parent),
      picture_(QPixmap::fromImage(skin.Image(kAboutPicture))),
      version_(new QLabel(VersionLine(skin.GetLanguage()), this)),
      link_(new LinkStatic(WebAddress(), this)) {
  const Language language = skin.GetLanguage();
  const auto& boxes = language == Language::kJapanese ? kJapaneseLines : kEnglishLines;

  PlaceLine(version_, ToPixels(boxes[0], language));
  SetTextColour(version_, kTextColour);
  version_->setAttribute(Qt::WA_TransparentForMouseEvents);
  const std::array<QString, 3> notices = NoticeLines(language);
  for (size_t i = 0; i < notices.size(); ++i) {
    auto* notice = new QLabel(notices[i], this);
    PlaceLine(notice, ToPixels(boxes[i + 1], language));
    SetTextColour(notice, kTextColour);
    notice->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  PlaceLine(link_, ToPixels(boxes[4], language));
  link_->SetLinkCursor(LinkCursor());

  BitmapButton* close = AddButton(kCloseButton, {130, 85});
  connect(close, &BitmapButton::clicked, this, &AboutDialog::accept);
  AddPowerButton();
}

QString AboutDialog::VersionLine(Language language) {
  const QString line = QStringLiteral("Pelorin  version ") +
                       QString::fromLatin1(kVersion.data(), qsizetype(kVersion.size()));
  return language == Language::kJapanese ? line : QLatin1Char(' ') + line;
}

// Short enough to stay clear of the power button in both layouts.
QString AboutDialog::WebAddress() {
  return QStringLiteral("pelorin.example");
}

void AboutDialog::PaintContents(QPainter& painter) {
  if (!picture_.isNull()) painter.drawPixmap(kPicturePosition, picture_);
}

}  // namespace pelorin::ui
