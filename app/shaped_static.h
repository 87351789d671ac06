#pragma once

#include <QImage>
#include <QWidget>

#include "app/image_strip.h"

namespace pelorin::ui {

// A static picture cut to the shape of its bitmap. Like any static it takes no clicks: they go to
// the window beneath. Until it is given a bitmap it draws nothing.
class ShapedStatic : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kShapedMode = 1;

  explicit ShapedStatic(QWidget* parent = nullptr);

  // Sizes the control to the image, keeps its position and raises it. Mode 1 shapes it to the
  // image's opaque pixels; any other mode gives it the image's whole rectangle. False for a null
  // image, which leaves the control as it was.
  bool SetImage(const QImage& image, int mode);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ImageStrip image_{1};
};

}  // namespace pelorin::ui
