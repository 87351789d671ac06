#include "app/dialog_font.h"

#include <QStringList>

namespace pelorin::ui {

QFont DialogFont(Language language) {
  QFont font;
  if (language == Language::kJapanese) {
    font.setFamilies({QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(9);
  } else {
    // Arial's metric twin first, then any common sans-serif.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
  }
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace pelorin::ui
