#pragma once

#include <QAbstractButton>
#include <QImage>

#include "app/image_strip.h"

namespace pelorin::ui {

// A push button drawn from a strip of two images stacked vertically, normal above and pressed
// below, and cut to the shape of the normal image. It does nothing with a click itself: the owner
// connects to clicked().
class BitmapButton : public QAbstractButton {
  Q_OBJECT

 public:
  static constexpr int kImageCount = 2;

  explicit BitmapButton(QWidget* parent = nullptr);

  // With a non-zero shapeFlag the button takes the strip's width and one image's height, keeps
  // its position, rises above its siblings and takes the shape of the normal image. A button
  // without a shape draws nothing and takes no clicks. False for a null strip, which leaves the
  // button as it was.
  bool SetImage(const QImage& strip, int shapeFlag);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // QAbstractButton only checks the rectangle; a click outside the shape belongs to the window
  // beneath.
  bool hitButton(const QPoint& pos) const override;

 private:
  ImageStrip strip_{kImageCount};
};

}  // namespace pelorin::ui
