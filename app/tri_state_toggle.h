#pragma once

#include <QAbstractButton>
#include <QImage>

#include "app/image_strip.h"

namespace pelorin::ui {

// A button drawn from a strip of three images (0 off, 1 on, 2 unavailable) of which the owner
// chooses the one shown. A click only reaches the owner through clicked(); the owner reads the
// state and sets the next one.
class TriStateToggle : public QAbstractButton {
  Q_OBJECT

 public:
  static constexpr int kImageCount = 3;

  explicit TriStateToggle(QWidget* parent = nullptr);

  // Sizes the toggle to the strip's width and one image's height, keeps its position, raises it
  // and shapes it to image 0. False for a null strip, which leaves the toggle as it was.
  bool SetImage(const QImage& strip);
  // Any state other than 0, 1 or 2 shows nothing.
  void SetState(int state);
  int GetState() const { return state_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  int state_ = 0;
  ImageStrip strip_{kImageCount};
};

}  // namespace pelorin::ui
