#include "app/bitmap_button.h"

#include <QPainter>

#include "app/region_from_bitmap.h"
#include "app/skin_resources.h"

namespace pelorin::ui {

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {}

bool BitmapButton::SetBitmap(int id, int shapeFlag, Language language) {
  bitmapId_ = id;
  return SetImage(LoadSkinBitmap(id, language), shapeFlag);
}

bool BitmapButton::SetImage(const QImage& strip, int shapeFlag) {
  if (strip.isNull()) return false;
  strip_ = QPixmap::fromImage(strip);
  if (shapeFlag != 0) {
    const int imageHeight = strip.height() / kImageCount;
    resize(strip.width(), imageHeight);
    raise();
    shape_ = RegionFromBitmap(strip, imageHeight);
    setMask(shape_);
  }
  update();
  return true;
}

void BitmapButton::paintEvent(QPaintEvent*) {
  if (shape_.isEmpty() || strip_.isNull()) return;
  const int imageHeight = strip_.height() / kImageCount;
  QPainter painter(this);
  painter.setClipRegion(shape_);
  painter.drawPixmap(QPoint(0, 0), strip_,
                     QRect(0, isDown() ? imageHeight : 0, strip_.width(), imageHeight));
}

bool BitmapButton::hitButton(const QPoint& pos) const {
  return shape_.contains(pos);
}

}  // namespace pelorin::ui
