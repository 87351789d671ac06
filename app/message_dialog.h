#pragma once

#include <QLabel>
#include <QString>

#include "app/skinned_dialog.h"

namespace pelorin::ui {

class BitmapButton;
class ShapedStatic;

// Tells the user how a conversion ended: one line of text on the caution panel (amber text) or,
// in the completed mode, on the completed panel (blue text).
class MessageDialog : public SkinnedDialog {
  Q_OBJECT

 public:
  static constexpr int kCautionMode = 0;
  static constexpr int kCompletedMode = 1;
  static constexpr QRgb kCautionColour = qRgb(255, 216, 0);
  static constexpr QRgb kCompletedColour = qRgb(0, 36, 255);
  // The text's box: the panel's clear band between its picture and the power button's notch.
  // A text too wide for it at the window's size is set smaller (see FitText).
  static constexpr QRect kTextRect{15, 57, 180, 18};

  explicit MessageDialog(const Skin& skin = Skin(), QWidget* parent = nullptr);

  // Mode 1 is the completed style, any other value the caution style.
  void SetMessage(int mode, const QString& text);
  int Mode() const { return mode_; }
  QString Text() const { return text_->text(); }

 private:
  int mode_ = kCautionMode;
  ShapedStatic* panel_;
  QLabel* text_;
};

}  // namespace pelorin::ui
