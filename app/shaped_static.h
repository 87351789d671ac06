#pragma once

#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QWidget>

#include "pipeline/string_table.h"

namespace pelorin::ui {

// A static picture cut to the shape of its bitmap. Like any static it takes no clicks: they go to
// the window beneath. One that was never given a bitmap draws nothing, so a window may keep it as
// an empty placeholder.
class ShapedStatic : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kShapedMode = 1;

  explicit ShapedStatic(QWidget* parent = nullptr);

  // Takes bitmap `id` of the program's skin; see SetImage. False when the skin has no such bitmap.
  bool SetBitmap(int id, int mode, Language language = UserLanguage());
  // Sizes the control to the image, keeps its position and raises it. Mode 1 shapes it to the
  // image's opaque pixels; any other mode gives it the image's whole rectangle. False for a null
  // image, which leaves the control as it was.
  bool SetImage(const QImage& image, int mode);

  QRegion Shape() const { return shape_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRegion shape_;
  QPixmap bitmap_;
};

}  // namespace pelorin::ui
