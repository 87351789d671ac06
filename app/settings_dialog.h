#pragma once

#include <QPixmap>
#include <QString>
#include <cstdint>

#include "app/skinned_dialog.h"
#include "pipeline/text_encoding.h"

class QLineEdit;

namespace pelorin::ui {

class BitmapButton;
class TriStateToggle;

// Asks for one conversion's settings: the title and copyright line, whether the receiving phone
// may save and pass on the sound, and 4 or 8 kHz. The caller presets the title and the input's
// rate, runs the window, and reads the choices after OK.
class SettingsDialog : public SkinnedDialog {
  Q_OBJECT

 public:
  // The longest title or copyright line, in characters (UTF-16 units); each is held besides to
  // what the file's text field keeps in the code page of the skin's language.
  static constexpr int kMaxTextLength = 256;
  // Bits of Flags(): set when the permission was switched off.
  static constexpr int kNoTransFlag = 1;
  static constexpr int kNoSaveFlag = 2;

  explicit SettingsDialog(const Skin& skin = Skin(), QWidget* parent = nullptr);

  // A title the file cannot keep whole is cut, at a character, to what it keeps.
  void SetTitle(const QString& title);
  // Preselects the rate: below 8000 Hz only 4 kHz can be had, from 8000 Hz up 8 kHz is chosen.
  void SetInputRate(int32_t inputRate);
  int32_t InputRate() const { return inputRate_; }

  // The texts as confirmed by OK (the title as preset until then).
  QString Title() const { return title_; }
  QString Copyright() const { return copyright_; }
  // 4000 or 8000, and the permission flags; 0 until OK.
  int32_t TargetRate() const { return targetRate_; }
  int Flags() const { return flags_; }

 public slots:
  // Takes the choices, then records the rectangle and ends with kOk.
  void accept() override;
  // Empties both texts.
  void Clear();

 protected:
  void PaintContents(QPainter& painter) override;

 private:
  TriStateToggle* AddToggle(const QString& name, int id, QPoint position, int state);
  void ClickSave();
  void ClickTrans();
  void ClickRate(TriStateToggle* clicked, TriStateToggle* other);

  TextEncoding encoding_;
  QLineEdit* titleEdit_;
  QLineEdit* copyrightEdit_;
  TriStateToggle* save_;
  TriStateToggle* trans_;
  TriStateToggle* rate8k_;
  TriStateToggle* rate4k_;
  QPixmap titleLabel_;
  QPixmap copyrightLabel_;
  QPixmap saveLabel_;
  QPixmap transLabel_;
  QPixmap label8kHz_;
  QPixmap label4kHz_;
  QString title_;
  QString copyright_;
  int32_t inputRate_ = 0;
  int32_t targetRate_ = 0;
  int flags_ = 0;
};

}  // namespace pelorin::ui
