#include "app/tri_state_toggle.h"

namespace pelorin::ui {

TriStateToggle::TriStateToggle(QWidget* parent) : QAbstractButton(parent) {
  // Clicked only: a focused control would be pressed by the space bar.
  setFocusPolicy(Qt::NoFocus);
}

bool TriStateToggle::SetImage(const QImage& strip) {
  return strip_.Take(*this, strip, ImageStrip::Fit::kOpaquePixels);
}

void TriStateToggle::SetState(int state) {
  state_ = state;
  update();
}

void TriStateToggle::paintEvent(QPaintEvent*) {
  strip_.Paint(*this, state_);
}

bool TriStateToggle::hitButton(const QPoint& pos) const {
  return strip_.Contains(pos);
}

}  // namespace pelorin::ui
