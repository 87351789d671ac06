#pragma once

#include <QFont>
#include <QMargins>
#include <QRect>
#include <QString>

#include "pipeline/string_table.h"

class QLabel;

namespace pelorin::ui {

// The windows' text sizes, in pixels so that the desktop's font DPI setting changes nothing: the
// 8 and 9 points the layout was drawn for, at 96 dpi.
inline constexpr int kEnglishPixelSize = 11;
inline constexpr int kJapanesePixelSize = 12;
// What a line of text keeps clear of every edge of its box, in pixels.
inline constexpr int kTextSpare = 2;

// The font every window's text is set in: a face with Arial's metrics for English, the Japanese
// Gothic for Japanese, at `pixelSize` pixels, or at the language's size when it is 0.
QFont DialogFont(Language language, int pixelSize = 0);

// Where the ink of `text` lies when its baseline starts at `pen`: the glyphs' tight bounds and, for
// an underlined font, the underline.
QRect InkRect(const QFont& font, const QString& text, QPoint pen);

// A line of text fitted into a box: the window font, stepped down one pixel at a time from the
// language's size until the ink lies at least kTextSpare pixels inside every edge of the box, and
// the margins from the box's top-left to the start of the text's line (its top at the font's
// ascent above the baseline).
struct FittedText {
  QFont font;
  QMargins margins;
};
FittedText FitText(const QString& text, QSize box, Qt::Alignment horizontal, Language language,
                   bool underline = false);

// Shows `text` in `label` fitted into `box`, which becomes the label's geometry; the label keeps
// its underline, if it has one. The text is never clipped and never shortened.
void SetFittedText(QLabel& label, const QString& text, const QRect& box, Qt::Alignment horizontal,
                   Language language);

}  // namespace pelorin::ui
