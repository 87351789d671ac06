#include "app/settings_dialog.h"

#include <QLineEdit>
#include <QPainter>
#include <QValidator>
#include <algorithm>
#include <string>
#include <vector>

#include "app/bitmap_button.h"
#include "app/tri_state_toggle.h"
#include "pipeline/conversion.h"
#include "pipeline/conversion_settings.h"
#include "pipeline/text_encoding.h"

namespace pelorin::ui {

namespace {

constexpr int kOff = 0;
constexpr int kOn = 1;
constexpr int kUnavailable = 2;

// Whether the file's field keeps `text` whole.
bool FitsField(const QString& text, TextEncoding encoding) {
  return text.size() <= SettingsDialog::kMaxTextLength &&
         FitsTextField(text.toStdString(), encoding);
}

// Refuses an edit whose text the file's field could not keep whole, so typing stops there and a
// paste too long for it is not taken.
class TextFieldValidator : public QValidator {
 public:
  TextFieldValidator(TextEncoding encoding, QObject* parent)
      : QValidator(parent), encoding_(encoding) {}

  State validate(QString& input, int&) const override {
    return FitsField(input, encoding_) ? Acceptable : Invalid;
  }

 private:
  TextEncoding encoding_;
};

// The longest start of `text`, ending at a character, that the field keeps.
QString FitToField(const QString& text, TextEncoding encoding) {
  if (FitsField(text, encoding)) return text;
  // Where each character ends; a longer start never fits where a shorter one does not.
  std::vector<qsizetype> ends;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!(text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()))
      ends.push_back(i + 1);
  }
  const auto first = std::partition_point(
      ends.begin(), ends.end(), [&](qsizetype end) { return FitsField(text.left(end), encoding); });
  return first == ends.begin() ? QString() : text.left(*(first - 1));
}

QLineEdit* AddEdit(QWidget* parent, const QString& name, const QRect& geometry,
                   TextEncoding encoding) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(geometry);
  edit->setMaxLength(SettingsDialog::kMaxTextLength);
  edit->setFrame(false);  // The skin draws the field; a frame would cut the text's lowest row.
  edit->setValidator(new TextFieldValidator(encoding, edit));
  // A file dropped on the window is meant for the window, not to be typed in as its address.
  edit->setAcceptDrops(false);
  return edit;
}

}  // namespace

SettingsDialog::SettingsDialog(const Skin& skin, QWidget* parent)
    : SkinnedDialog(skin, parent),
      // The code page the file will be written in, as the conversion chooses it.
      encoding_(DefaultTextEncoding(skin.GetLanguage())),
      titleEdit_(AddEdit(this, QStringLiteral("title"), {77, 23, 115, 14}, encoding_)),
      copyrightEdit_(AddEdit(this, QStringLiteral("copyright"), {77, 43, 115, 14}, encoding_)),
      save_(AddToggle(QStringLiteral("save"), kPermissionToggle, {39, 63}, kOn)),
      trans_(AddToggle(QStringLiteral("trans"), kPermissionToggle, {84, 63}, kOn)),
      rate8k_(AddToggle(QStringLiteral("rate8k"), kRateToggle, {139, 63}, kOff)),
      rate4k_(AddToggle(QStringLiteral("rate4k"), kRateToggle, {184, 63}, kOff)),
      titleLabel_(QPixmap::fromImage(skin.Image(kTitleLabel))),
      copyrightLabel_(QPixmap::fromImage(skin.Image(kCopyrightLabel))),
      saveLabel_(QPixmap::fromImage(skin.Image(kLabelSave))),
      transLabel_(QPixmap::fromImage(skin.Image(kLabelTrans))),
      label8kHz_(QPixmap::fromImage(skin.Image(kLabel8kHz))),
      label4kHz_(QPixmap::fromImage(skin.Image(kLabel4kHz))) {
  BitmapButton* clear = AddButton(kClearButton, {6, 85});
  clear->setObjectName(QStringLiteral("clear"));
  connect(clear, &BitmapButton::clicked, this, &SettingsDialog::Clear);
  BitmapButton* ok = AddButton(kOkButton, {68, 85});
  ok->setObjectName(QStringLiteral("ok"));
  connect(ok, &BitmapButton::clicked, this, &SettingsDialog::accept);
  BitmapButton* cancel = AddButton(kCancelButton, {130, 85});
  cancel->setObjectName(QStringLiteral("cancel"));
  connect(cancel, &BitmapButton::clicked, this, &SettingsDialog::reject);
  AddPowerButton()->setObjectName(QStringLiteral("power"));

  connect(save_, &TriStateToggle::clicked, this, &SettingsDialog::ClickSave);
  connect(trans_, &TriStateToggle::clicked, this, &SettingsDialog::ClickTrans);
  connect(rate8k_, &TriStateToggle::clicked, this, [this] { ClickRate(rate8k_, rate4k_); });
  connect(rate4k_, &TriStateToggle::clicked, this, [this] { ClickRate(rate4k_, rate8k_); });
}

TriStateToggle* SettingsDialog::AddToggle(const QString& name, int id, QPoint position, int state) {
  auto* toggle = new TriStateToggle(this);
  toggle->setObjectName(name);
  toggle->move(position);
  toggle->SetImage(GetSkin().Image(id));
  toggle->SetState(state);
  return toggle;
}

void SettingsDialog::SetTitle(const QString& title) {
  title_ = FitToField(title, encoding_);
  titleEdit_->setText(title_);
}

void SettingsDialog::SetInputRate(int32_t inputRate) {
  inputRate_ = inputRate;
  rate8k_->SetState(kOff);
  rate4k_->SetState(kOff);
  // Below 4000 Hz nothing is chosen; no such input loads.
  if (inputRate < 4000) return;
  if (EightKilohertzAvailable(inputRate)) {
    rate8k_->SetState(kOn);
  } else {
    rate4k_->SetState(kOn);
    rate8k_->SetState(kUnavailable);
  }
}

void SettingsDialog::accept() {
  targetRate_ = rate4k_->GetState() == kOn ? 4000 : 8000;
  flags_ = 0;
  if (save_->GetState() == kOff) flags_ |= kNoSaveFlag;
  if (trans_->GetState() == kOff) flags_ |= kNoTransFlag;
  title_ = titleEdit_->text();
  copyright_ = copyrightEdit_->text();
  SkinnedDialog::accept();
}

void SettingsDialog::Clear() {
  titleEdit_->clear();
  copyrightEdit_->clear();
}

// Passing the sound on needs saving it, so "trans" follows "save" off and leads it on.
void SettingsDialog::ClickSave() {
  if (save_->GetState() == kOff) {
    save_->SetState(kOn);
  } else if (save_->GetState() == kOn) {
    save_->SetState(kOff);
    if (trans_->GetState() == kOn) trans_->SetState(kOff);
  }
}

void SettingsDialog::ClickTrans() {
  if (trans_->GetState() == kOff) {
    trans_->SetState(kOn);
    if (save_->GetState() == kOff) save_->SetState(kOn);
  } else if (trans_->GetState() == kOn) {
    trans_->SetState(kOff);
  }
}

// The rates work as a pair of radio buttons: a chosen one stays chosen when clicked again, and
// an unavailable one stays unavailable.
void SettingsDialog::ClickRate(TriStateToggle* clicked, TriStateToggle* other) {
  if (clicked->GetState() != kOff) return;
  clicked->SetState(kOn);
  if (other->GetState() == kOn) other->SetState(kOff);
}

void SettingsDialog::PaintContents(QPainter& painter) {
  painter.drawPixmap(0, 21, titleLabel_);
  painter.drawPixmap(0, 41, copyrightLabel_);
  painter.drawPixmap(11, 63, saveLabel_);
  painter.drawPixmap(56, 63, transLabel_);
  painter.drawPixmap(110, 63, label8kHz_);
  painter.drawPixmap(155, 63, label4kHz_);
}

}  // namespace pelorin::ui
