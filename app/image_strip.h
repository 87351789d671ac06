#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRegion>

class QWidget;

namespace pelorin::ui {

// The pictures of a skinned control: a strip of a fixed number of equally high images stacked
// vertically, and the shape the control is cut to. The control passes itself in; the strip sizes,
// masks and paints it.
class ImageStrip {
 public:
  // How Take shapes the control.
  enum class Fit {
    kKeepShape,     // size, shape and stacking stay as they were
    kOpaquePixels,  // the pixels of image 0 that are not its transparent colour
    kWholeImage,    // image 0's whole rectangle
  };

  explicit ImageStrip(int imageCount) : imageCount_(imageCount) {}

  // Keeps `strip` and repaints `control`. Unless `fit` keeps the shape, the control takes one
  // image's size at its present position, rises above its siblings and is masked to the new
  // shape. False for a null strip, which leaves the control and the strip as they were.
  bool Take(QWidget& control, const QImage& strip, Fit fit);

  // Draws image `index` at the control's origin, cut to the shape. Nothing while there is no
  // shape or for an index outside the strip.
  void Paint(QWidget& control, int index) const;

  // Whether a point of the control lies inside its shape.
  bool Contains(QPoint point) const { return shape_.contains(point); }

 private:
  int imageCount_;
  QPixmap strip_;
  QRegion shape_;
};

}  // namespace pelorin::ui
