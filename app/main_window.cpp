#include "app/main_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "app/about_dialog.h"
#include "app/bitmap_button.h"
#include "app/shaped_static.h"

namespace pelorin::ui {

namespace {

bool IsEnter(const QKeyEvent& event) {
  return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

}  // namespace

MainWindow::MainWindow(const Skin& skin, QWidget* parent)
    : SkinnedDialog(skin, parent),
      dropPanel_(new ShapedStatic(this)),
      about_(AddButton(kAboutButton, kAboutButtonPosition)),
      power_(AddButton(kPowerButton, kPowerButtonPosition)) {
  setWindowIcon(ProgramIcon());
  // No caption: the title is what the task bar shows.
  setWindowTitle(QStringLiteral("Pelorin"));

  dropPanel_->SetImage(skin.Image(kDropPanel), ShapedStatic::kShapedMode);
  dropPanel_->move(kDropPanelPosition);
  dropPanel_->show();

  connect(about_, &BitmapButton::clicked, this, &MainWindow::ShowAbout);
  // The power button is this window's OK: it ends the run, and with it the program.
  connect(power_, &BitmapButton::clicked, this, &MainWindow::accept);

  setAcceptDrops(true);
}

QStringList MainWindow::LocalFiles(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  return paths;
}

void MainWindow::ShowAbout() {
  AboutDialog about(GetSkin());
  ShowInPlace(this, about);
}

void MainWindow::showEvent(QShowEvent* event) {
  if (!shownBefore_) {
    shownBefore_ = true;
    // QDialog leaves room for a frame this window does not have, so it would sit off centre.
    // A window the program placed itself stays where it was put. This is the only time the
    // program places its window (where the window system lets it); secondary windows show
    // inside it.
    if (!testAttribute(Qt::WA_Moved)) {
      QScreen* target = QGuiApplication::screenAt(frameGeometry().center());
      if (target == nullptr) target = screen();
      if (target != nullptr) {
        // Within the screen's free area, with the band to drag it by in reach.
        const QRect area = target->availableGeometry();
        const QPoint centred = area.center() - rect().center();
        move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
      }
    }
    raise();
    activateWindow();
  }
  SkinnedDialog::showEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (IsEnter(*event)) {
    event->accept();
    return;
  }
  // Escape cancels, ending the program.
  QDialog::keyPressEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  // Only copied: a file manager deletes the source of a drop it believes was a move.
  if (acceptDrops() && (event->possibleActions() & Qt::CopyAction) &&
      !LocalFiles(event->mimeData()).isEmpty()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return;
  }
  event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptDrops() && (event->possibleActions() & Qt::CopyAction)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return;
  }
  event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalFiles(event->mimeData());
  if (!acceptDrops() || !(event->possibleActions() & Qt::CopyAction) || paths.isEmpty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  StartJob(paths);
}

bool MainWindow::OpenFile(const QString& path) {
  // A drop is refused while a job runs (drops off) or a secondary window shows in this one's
  // place (its event filter turns drops away); a file from elsewhere is refused alike.
  if (!acceptDrops() || ActiveInPlaceDialog() != nullptr) return false;
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  StartJob({path});
  return true;
}

void MainWindow::StartJob(const QStringList& paths) {
  // The job runs windows of its own; it starts once the drag source has been told the drop is
  // done, so that the source is not left waiting. Drops stay off until the job ends.
  setAcceptDrops(false);
  QTimer::singleShot(0, this, [this, paths] { Convert(paths); });
}

void MainWindow::Convert(const QStringList& paths) {
  ConvertDroppedFile(this, paths, GetSkin(), services_);
  // Every way out of the job turns drops on again; this one keeps that true even if the job
  // could not start.
  setAcceptDrops(true);
}

}  // namespace pelorin::ui
