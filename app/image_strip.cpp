#include "app/image_strip.h"

#include <QPainter>
#include <QWidget>

#include "app/region_from_bitmap.h"

namespace pelorin::ui {

bool ImageStrip::Take(QWidget& control, const QImage& strip, Fit fit) {
  if (strip.isNull()) return false;
  strip_ = QPixmap::fromImage(strip);
  if (fit != Fit::kKeepShape) {
    // Sizes and shapes are logical: a strip drawn at twice the resolution gives the same ones.
    const QSize size = strip.deviceIndependentSize().toSize();
    const int imageHeight = size.height() / imageCount_;
    control.resize(size.width(), imageHeight);
    control.raise();
    shape_ = fit == Fit::kOpaquePixels ? RegionFromBitmap(strip, imageHeight)
                                       : QRegion(0, 0, size.width(), imageHeight);
    control.setMask(shape_);
  }
  control.update();
  return true;
}

void ImageStrip::Paint(QWidget& control, int index) const {
  if (shape_.isEmpty() || strip_.isNull() || index < 0 || index >= imageCount_) return;
  // The source rectangle is in the strip's own pixels, which paint at their logical size.
  const int imageHeight = strip_.height() / imageCount_;
  QPainter painter(&control);
  painter.setClipRegion(shape_);
  painter.drawPixmap(QPoint(0, 0), strip_,
                     QRect(0, index * imageHeight, strip_.width(), imageHeight));
}

}  // namespace pelorin::ui
