#include "app/skinned_dialog.h"

#include <QDropEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QList>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/bitmap_button.h"

namespace pelorin::ui {

namespace {

// Ends the window a secondary window stands in for: a dialog with result 0, any other window by
// closing it. A hidden dialog's done() would not end its modal run, so such an owner is first
// shown to Qt alone, never on screen.
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

// The first control of `dialog` that the Tab key would reach, or the dialog itself: where the
// keys go while it runs, as when a window of its own opens.
QWidget* FirstFocus(SkinnedDialog& dialog) {
  for (QWidget* w = dialog.nextInFocusChain(); w != &dialog && dialog.isAncestorOf(w);
       w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&dialog) && w->isEnabled()) return w;
  }
  return &dialog;
}

// One run of a dialog in place: the dialog becomes a child of the main window covering its
// content, and a local event loop runs until the dialog ends, the window is hidden or the main
// window goes away.
class InPlaceRun : public QObject {
 public:
  InPlaceRun(QWidget& host, SkinnedDialog& dialog);
  ~InPlaceRun() override;
  InPlaceRun(const InPlaceRun&) = delete;
  InPlaceRun& operator=(const InPlaceRun&) = delete;

  int Exec();
  SkinnedDialog* Dialog() const { return ended_ ? nullptr : &dialog_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void End();
  void Restore();

  QPointer<QWidget> host_;
  QPointer<QWidget> window_;
  SkinnedDialog& dialog_;
  QPointer<QWidget> dialogParent_;
  Qt::WindowFlags dialogFlags_;
  QList<QPointer<QWidget>> hiddenContent_;
  QPointer<QWidget> focus_;
  QEventLoop loop_;
  bool ended_ = false;
};

// The runs in progress, innermost last.
std::vector<InPlaceRun*>& Runs() {
  static std::vector<InPlaceRun*> runs;
  return runs;
}

InPlaceRun::InPlaceRun(QWidget& host, SkinnedDialog& dialog)
    : host_(&host),
      window_(host.window()),
      dialog_(dialog),
      dialogParent_(dialog.parentWidget()),
      dialogFlags_(dialog.windowFlags()),
      focus_(host.window()->focusWidget()) {
  Runs().push_back(this);
}

InPlaceRun::~InPlaceRun() {
  Runs().erase(std::find(Runs().begin(), Runs().end(), this));
}

int InPlaceRun::Exec() {
  if (auto* skinnedMain = qobject_cast<SkinnedDialog*>(host_.data())) {
    skinnedMain->RecordSavedRect();
  }
  dialog_.SetOwner(host_);
  for (QWidget* child : host_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child == &dialog_ || child->isWindow() || child->isHidden()) continue;
    hiddenContent_.append(child);
    child->hide();
  }
  dialog_.setParent(host_, Qt::Widget);
  // An explicit position, or QDialog would centre the dialog on its parent when shown.
  dialog_.move(0, 0);
  dialog_.setResult(0);
  // The main window owns the dialog now: should it be destroyed, the dialog is taken back first.
  connect(host_.data(), &QObject::destroyed, this, [this] {
    dialog_.setParent(dialogParent_, dialogFlags_);
    End();
  });
  connect(&dialog_, &QDialog::finished, this, &InPlaceRun::End);
  dialog_.installEventFilter(this);
  host_->installEventFilter(this);
  if (window_ != host_) window_->installEventFilter(this);

  // The dialog is answered in this window, so the window must be there to answer it in.
  if (!window_->isVisible()) window_->show();
  dialog_.show();
  FirstFocus(dialog_)->setFocus(Qt::OtherFocusReason);
  if (!ended_) loop_.exec(QEventLoop::DialogExec);
  Restore();
  return dialog_.result();
}

void InPlaceRun::End() {
  ended_ = true;
  loop_.quit();
}

void InPlaceRun::Restore() {
  dialog_.removeEventFilter(this);
  if (host_) host_->removeEventFilter(this);
  if (window_) window_->removeEventFilter(this);
  if (host_ && dialog_.parentWidget() == host_) {
    // Taken while the dialog is still in the window: the window would otherwise keep pointing
    // at the focused control once the dialog has left it.
    if (QWidget* focus = window_->focusWidget(); focus != nullptr && dialog_.isAncestorOf(focus))
      focus->clearFocus();
    dialog_.clearFocus();
    dialog_.hide();
    dialog_.setParent(dialogParent_, dialogFlags_);
  }
  for (const QPointer<QWidget>& child : std::as_const(hiddenContent_)) {
    if (child) child->show();
  }
  if (focus_) focus_->setFocus(Qt::OtherFocusReason);
}

bool InPlaceRun::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Hide:
      // Hidden along with the window the program is ending with; a minimised window's hide is
      // spontaneous and ends nothing.
      if (watched == &dialog_ && !event->spontaneous()) End();
      break;
    case QEvent::Close:
      // The window closed by the desktop is the dialog closed: Cancel. The power button closes
      // a plain main window on purpose.
      if (watched == window_ && !ended_ && !dialog_.PoweredOff()) {
        event->ignore();
        dialog_.close();
        return true;
      }
      break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      // A drop on the main window would start a job while this dialog waits for an answer.
      if (watched != &dialog_) {
        static_cast<QDropEvent*>(event)->ignore();
        return true;
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace

Skin::Skin(Language language, Loader loader) : language_(language), loader_(std::move(loader)) {}

QImage Skin::Image(int id) const {
  return loader_ ? loader_(id, language_) : QImage();
}

SkinnedDialog::SkinnedDialog(const Skin& skin, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), skin_(skin) {
  background_ = QPixmap::fromImage(skin_.Image(kBackground));
  setFixedSize(background_.isNull() ? kFrameSize : background_.deviceIndependentSize().toSize());
  setFont(DialogFont(skin_.GetLanguage()));
}

void SkinnedDialog::RecordSavedRect() {
  savedRect_ = window()->frameGeometry();
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
    // The band drags the whole window, also when this dialog is its content. The window system
    // moves the window itself where it can (the only way on Wayland).
    if (QWindow* handle = window()->windowHandle(); handle != nullptr && handle->startSystemMove())
      return;
    dragOffset_ = mapTo(window(), point);
    dragging_ = true;
    return;
  }
  QDialog::mousePressEvent(event);
}

void SkinnedDialog::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    // Borderless, so the window's origin is its client origin and it follows the cursor exactly.
    window()->move(event->globalPosition().toPoint() - dragOffset_);
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
  InPlaceRun run(*mainWindow, dialog);
  return run.Exec();
}

SkinnedDialog* ActiveInPlaceDialog() {
  for (auto run = Runs().rbegin(); run != Runs().rend(); ++run) {
    if (SkinnedDialog* dialog = (*run)->Dialog()) return dialog;
  }
  return nullptr;
}

}  // namespace pelorin::ui
