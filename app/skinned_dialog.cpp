#include "app/skinned_dialog.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <utility>

#include "app/bitmap_button.h"

namespace pelorin::ui {

namespace {

// Ends the window a secondary window stands in for: a dialog with result 0, any other window by
// closing it. ShowInPlace hid a dialog owner without ending its modal run, and a hidden dialog's
// done() would not end that run either, so such an owner is first shown to Qt alone, never on
// screen.
void EndOwner(QWidget& owner) {
  auto* dialog = qobject_cast<QDialog*>(&owner);
  if (dialog == nullptr) {
    owner.close();
    return;
  }
  const bool offScreen = dialog->testAttribute(Qt::WA_DontShowOnScreen);
  if (dialog->isHidden()) {
    dialog->setAttribute(Qt::WA_DontShowOnScreen);
    dialog->show();
  }
  dialog->done(SkinnedDialog::kPoweredOff);
  dialog->setAttribute(Qt::WA_DontShowOnScreen, offScreen);
}

}  // namespace

Skin::Skin(Language language, Loader loader) : language_(language), loader_(std::move(loader)) {}

QImage Skin::Image(int id) const {
  return loader_ ? loader_(id, language_) : QImage();
}

SkinnedDialog::SkinnedDialog(const Skin& skin, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), skin_(skin) {
  background_ = QPixmap::fromImage(skin_.Image(kBackground));
  setFixedSize(background_.isNull() ? kFrameSize : background_.size());
  setFont(DialogFont(skin_.GetLanguage()));
}

void SkinnedDialog::RecordSavedRect() {
  savedRect_ = frameGeometry();
}

void SkinnedDialog::SetOwner(QWidget* owner) {
  owner_ = owner;
}

QWidget* SkinnedDialog::Owner() const {
  return owner_ ? owner_.data() : parentWidget();
}

void SkinnedDialog::accept() {
  RecordSavedRect();
  done(kOk);
}

void SkinnedDialog::reject() {
  RecordSavedRect();
  done(kCancelled);
}

void SkinnedDialog::PowerOff() {
  poweredOff_ = true;
  if (QWidget* owner = Owner()) EndOwner(*owner);
  done(kPoweredOff);
}

void SkinnedDialog::PaintContents(QPainter&) {}

BitmapButton* SkinnedDialog::AddButton(int id, QPoint position) {
  auto* button = new BitmapButton(this);
  button->move(position);
  button->SetImage(skin_.Image(id), 1);
  return button;
}

BitmapButton* SkinnedDialog::AddPowerButton() {
  BitmapButton* button = AddButton(kPowerButton, kPowerButtonPosition);
  connect(button, &BitmapButton::clicked, this, &SkinnedDialog::PowerOff);
  return button;
}

void SkinnedDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!background_.isNull()) painter.drawPixmap(QPoint(0, 0), background_);
  PaintContents(painter);
}

void SkinnedDialog::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() == Qt::LeftButton && kTitleBand.contains(point)) {
    event->accept();
    // The window system moves the window itself where it can (the only way on Wayland).
    if (QWindow* window = windowHandle(); window != nullptr && window->startSystemMove()) return;
    dragOffset_ = point;
    dragging_ = true;
    return;
  }
  QDialog::mousePressEvent(event);
}

void SkinnedDialog::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    // Borderless, so the window's origin is its client origin and it follows the cursor exactly.
    move(event->globalPosition().toPoint() - dragOffset_);
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void SkinnedDialog::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
  QDialog::mouseReleaseEvent(event);
}

void SkinnedDialog::keyPressEvent(QKeyEvent* event) {
  // Enter is OK, as in any dialog; the skinned buttons are not push buttons that QDialog
  // would press for it.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (enter && modifiers == Qt::NoModifier) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

int ShowInPlace(QWidget* mainWindow, SkinnedDialog& dialog) {
  if (mainWindow == nullptr) return dialog.exec();
  const QPointer<QWidget> main = mainWindow;
  const QRect mainRect = main->frameGeometry();
  if (auto* skinnedMain = qobject_cast<SkinnedDialog*>(main.data())) skinnedMain->RecordSavedRect();

  dialog.SetOwner(main);
  dialog.move(mainRect.topLeft());
  // Qt cannot show a window of zero size, so the main window is hidden instead. A QDialog's own
  // hide() would also end its modal run, the program's main loop, so it is hidden as a plain
  // widget.
  main->QWidget::setVisible(false);

  const int result = dialog.exec();
  if (!main) return result;
  if (dialog.PoweredOff()) {
    // The program is ending; the main window stays hidden where the dialog last stood.
    main->move(dialog.frameGeometry().topLeft());
    return result;
  }
  const QRect dialogRect =
      dialog.SavedRect().isNull() ? dialog.frameGeometry() : dialog.SavedRect();
  main->move(dialogRect.topLeft());
  main->show();
  return result;
}

}  // namespace pelorin::ui
