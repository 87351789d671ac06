#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QRegion>

#include "pipeline/string_table.h"

namespace pelorin::ui {

// A button drawn from a strip of three images (0 off, 1 on, 2 unavailable) of which the owner
// chooses the one shown. A click only reaches the owner through clicked(); the owner reads the
// state and sets the next one.
class TriStateToggle : public QAbstractButton {
  Q_OBJECT

 public:
  static constexpr int kImageCount = 3;

  explicit TriStateToggle(QWidget* parent = nullptr);

  // Takes strip `id` of the program's skin; see SetImage. False when the skin has no such bitmap.
  bool SetBitmap(int id, int unused = 0, Language language = UserLanguage());
  // Sizes the toggle to the strip's width and one image's height, keeps its position, raises it
  // and shapes it to image 0, whatever the second argument. False for a null strip.
  bool SetImage(const QImage& strip, int unused = 0);
  // Any state other than 0, 1 or 2 shows nothing.
  void SetState(int state);
  int GetState() const { return state_; }

  int BitmapId() const { return bitmapId_; }
  QRegion Shape() const { return shape_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  int state_ = 0;
  int bitmapId_ = 0;
  QPixmap strip_;
  QRegion shape_;
};

}  // namespace pelorin::ui
