#include "app/shaped_static.h"

namespace pelorin::ui {

ShapedStatic::ShapedStatic(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool ShapedStatic::SetImage(const QImage& image, int mode) {
  return image_.Take(
      *this, image,
      mode == kShapedMode ? ImageStrip::Fit::kOpaquePixels : ImageStrip::Fit::kWholeImage);
}

void ShapedStatic::paintEvent(QPaintEvent*) {
  image_.Paint(*this, 0);
}

}  // namespace pelorin::ui
