#include "app/dialog_font.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>
#include <algorithm>

namespace pelorin::ui {

namespace {

int LanguagePixelSize(Language language) {
  return language == Language::kJapanese ? kJapanesePixelSize : kEnglishPixelSize;
}

// The ink of an ordinary line in `font`: capitals and descenders in English, a kanji's full height
// in Japanese. Lines are centred on it rather than on their own letters, so that lines in equal
// boxes share their baselines.
QRect OrdinaryInk(const QFont& font, Language language) {
  return InkRect(
      font, language == Language::kJapanese ? QStringLiteral("国") : QStringLiteral("Hg"), {0, 0});
}

// The left margin that places `ink` (relative to the pen) in a box `width` wide, or -1 when it
// does not fit with the spare on both sides.
int LeftMargin(const QRect& ink, int width, Qt::Alignment horizontal) {
  int left = kTextSpare - std::min(ink.left(), 0);
  if (horizontal & Qt::AlignRight) {
    left = width - 1 - kTextSpare - ink.right();
  } else if (horizontal & Qt::AlignHCenter) {
    left = (width - ink.width()) / 2 - ink.left();
  }
  const bool fits =
      left >= 0 && left + ink.left() >= kTextSpare && left + ink.right() <= width - 1 - kTextSpare;
  return fits ? left : -1;
}

// The top margin that centres the font's ordinary line in a box `height` high, moved as little as
// `ink` needs to keep the spare, or -1 when it cannot. The line never starts above the box: the
// label draws from its top.
int TopMargin(const QRect& ink, const QRect& ordinary, int ascent, int height) {
  const int lowest = std::max(0, kTextSpare - ascent - ink.top());
  const int highest = height - 1 - kTextSpare - ascent - ink.bottom();
  if (lowest > highest) return -1;
  const int centred = (height - ordinary.height()) / 2 - ascent - ordinary.top();
  return std::clamp(centred, lowest, highest);
}

}  // namespace

QFont DialogFont(Language language, int pixelSize) {
  QFont font;
  if (language == Language::kJapanese) {
    font.setFamilies({QStringLiteral("Noto Sans CJK JP")});
  } else {
    // Arial's metric twin first, then any common sans-serif.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans")});
  }
  font.setPixelSize(pixelSize > 0 ? pixelSize : LanguagePixelSize(language));
  font.setStyleHint(QFont::SansSerif);
  // The desktop's usual hinting, named so that it stays at 200 %, where Qt would drop it: glyph
  // bounds, and so which texts fit, are then the same at every scale.
  font.setHintingPreference(QFont::PreferVerticalHinting);
  return font;
}

QRect InkRect(const QFont& font, const QString& text, QPoint pen) {
  const QFontMetrics metrics(font);
  QRect ink = metrics.tightBoundingRect(text);
  if (font.underline() && !text.isEmpty()) {
    ink |= QRect(0, metrics.underlinePos(), metrics.horizontalAdvance(text), metrics.lineWidth());
  }
  return ink.translated(pen);
}

FittedText FitText(const QString& text, QSize box, Qt::Alignment horizontal, Language language,
                   bool underline) {
  FittedText fitted;
  for (int size = LanguagePixelSize(language); size >= 1; --size) {
    fitted.font = DialogFont(language, size);
    fitted.font.setUnderline(underline);
    const QRect ordinary = OrdinaryInk(fitted.font, language);
    const QRect ink = text.isEmpty() ? ordinary : InkRect(fitted.font, text, {0, 0});
    const int ascent = QFontMetrics(fitted.font).ascent();
    const int left = LeftMargin(ink, box.width(), horizontal);
    const int top = TopMargin(ink, ordinary, ascent, box.height());
    fitted.margins = QMargins(std::max(left, 0), std::max(top, 0), 0, 0);
    if (left >= 0 && top >= 0) break;
  }
  return fitted;
}

void SetFittedText(QLabel& label, const QString& text, const QRect& box, Qt::Alignment horizontal,
                   Language language) {
  const FittedText fitted =
      FitText(text, box.size(), horizontal, language, label.font().underline());
  label.setTextFormat(Qt::PlainText);
  // From the top-left of the margins, the label draws exactly where the fit was measured.
  label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label.setIndent(0);
  label.setMargin(0);
  label.setFont(fitted.font);
  label.setContentsMargins(fitted.margins);
  label.setGeometry(box);
  label.setText(text);
}

}  // namespace pelorin::ui
