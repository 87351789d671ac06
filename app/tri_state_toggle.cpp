#include "app/tri_state_toggle.h"

#include <QPainter>

#include "app/region_from_bitmap.h"
#include "app/skin_resources.h"

namespace pelorin::ui {

TriStateToggle::TriStateToggle(QWidget* parent) : QAbstractButton(parent) {}

bool TriStateToggle::SetBitmap(int id, int unused, Language language) {
  bitmapId_ = id;
  return SetImage(LoadSkinBitmap(id, language), unused);
}

bool TriStateToggle::SetImage(const QImage& strip, int) {
  if (strip.isNull()) return false;
  strip_ = QPixmap::fromImage(strip);
  const int imageHeight = strip.height() / kImageCount;
  resize(strip.width(), imageHeight);
  raise();
  shape_ = RegionFromBitmap(strip, imageHeight);
  setMask(shape_);
  update();
  return true;
}

void TriStateToggle::SetState(int state) {
  state_ = state;
  update();
}

void TriStateToggle::paintEvent(QPaintEvent*) {
  if (shape_.isEmpty() || strip_.isNull() || state_ < 0 || state_ >= kImageCount) return;
  const int imageHeight = strip_.height() / kImageCount;
  QPainter painter(this);
  painter.setClipRegion(shape_);
  painter.drawPixmap(QPoint(0, 0), strip_,
                     QRect(0, state_ * imageHeight, strip_.width(), imageHeight));
}

bool TriStateToggle::hitButton(const QPoint& pos) const {
  return shape_.contains(pos);
}

}  // namespace pelorin::ui
