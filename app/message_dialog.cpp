#include "app/message_dialog.h"

#include "app/bitmap_button.h"
#include "app/dialog_font.h"
#include "app/shaped_static.h"

namespace pelorin::ui {

MessageDialog::MessageDialog(const Skin& skin, QWidget* parent)
    : SkinnedDialog(skin, parent), panel_(new ShapedStatic(this)), text_(new QLabel(this)) {
  panel_->move(0, 24);
  text_->setAttribute(Qt::WA_TransparentForMouseEvents);
  BitmapButton* close = AddButton(kCloseButton, {130, 85});
  connect(close, &BitmapButton::clicked, this, &MessageDialog::accept);
  AddPowerButton();
  SetMessage(kCautionMode, {});
}

void MessageDialog::SetMessage(int mode, const QString& text) {
  mode_ = mode;
  const bool completed = mode == kCompletedMode;
  panel_->SetImage(GetSkin().Image(completed ? kCompletedPanel : kCautionPanel),
                   ShapedStatic::kShapedMode);
  // The text line lies over the panel's lower part.
  panel_->stackUnder(text_);
  SetFittedText(*text_, text, kTextRect, Qt::AlignHCenter, GetSkin().GetLanguage());
  QPalette colours = text_->palette();
  colours.setColor(QPalette::WindowText, QColor(completed ? kCompletedColour : kCautionColour));
  text_->setPalette(colours);
}

}  // namespace pelorin::ui
