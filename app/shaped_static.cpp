#include "app/shaped_static.h"

#include <QPainter>

#include "app/region_from_bitmap.h"
#include "app/skin_resources.h"

namespace pelorin::ui {

ShapedStatic::ShapedStatic(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool ShapedStatic::SetBitmap(int id, int mode, Language language) {
  return SetImage(LoadSkinBitmap(id, language), mode);
}

bool ShapedStatic::SetImage(const QImage& image, int mode) {
  if (image.isNull()) return false;
  bitmap_ = QPixmap::fromImage(image);
  resize(image.size());
  raise();
  shape_ = mode == kShapedMode ? RegionFromBitmap(image, image.height()) : QRegion(image.rect());
  setMask(shape_);
  update();
  return true;
}

void ShapedStatic::paintEvent(QPaintEvent*) {
  if (shape_.isEmpty() || bitmap_.isNull()) return;
  QPainter painter(this);
  painter.setClipRegion(shape_);
  painter.drawPixmap(QPoint(0, 0), bitmap_);
}

}  // namespace pelorin::ui
