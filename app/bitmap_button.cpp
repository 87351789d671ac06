#include "app/bitmap_button.h"

namespace pelorin::ui {

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {
  // Clicked only: a focused control would be pressed by the space bar.
  setFocusPolicy(Qt::NoFocus);
}

bool BitmapButton::SetImage(const QImage& strip, int shapeFlag) {
  return strip_.Take(*this, strip,
                     shapeFlag != 0 ? ImageStrip::Fit::kOpaquePixels : ImageStrip::Fit::kKeepShape);
}

void BitmapButton::paintEvent(QPaintEvent*) {
  strip_.Paint(*this, isDown() ? 1 : 0);
}

bool BitmapButton::hitButton(const QPoint& pos) const {
  return strip_.Contains(pos);
}

}  // namespace pelorin::ui
