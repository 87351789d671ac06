#include "app/skin_resources.h"

namespace pelorin::ui {

// Placeholder until the skin's bitmaps are drawn: every bitmap is missing.
QImage LoadSkinBitmap(int, Language) { return {}; }
QPixmap LoadSkinPixmap(int id, Language language) {
  return QPixmap::fromImage(LoadSkinBitmap(id, language));
}
QIcon ProgramIcon() { return {}; }
QCursor LinkCursor() { return QCursor(Qt::PointingHandCursor); }

}  // namespace pelorin::ui
