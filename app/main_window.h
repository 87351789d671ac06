#pragma once

#include <QPoint>
#include <QStringList>

#include "app/drop_conversion.h"
#include "app/skinned_dialog.h"

class QDragEnterEvent;
class QDropEvent;
class QMimeData;

namespace pelorin::ui {

class BitmapButton;
class ShapedStatic;

// The program's window: a panel inviting the user to drop an audio file, the about button and the
// power button. Every dropped file goes to ConvertDroppedFile, and so does a file given on the
// command line or handed over by a later start (OpenFile); the program runs as long as this
// window's modal run.
class MainWindow : public SkinnedDialog {
  Q_OBJECT

 public:
  static constexpr QPoint kDropPanelPosition{0, 24};
  static constexpr QPoint kAboutButtonPosition{6, 85};

  explicit MainWindow(const Skin& skin = Skin(), QWidget* parent = nullptr);

  // What the drop workflow is given; tests replace the windows and the free-space query.
  void SetDropServices(DropServices services) { services_ = std::move(services); }

  const ShapedStatic* DropPanel() const { return dropPanel_; }
  const BitmapButton* AboutButton() const { return about_; }
  const BitmapButton* PowerButton() const { return power_; }

  // The local files among a drag's URLs, in their order; empty when it carries none.
  static QStringList LocalFiles(const QMimeData* data);

 public slots:
  // Runs the about window in this window's place.
  void ShowAbout();
  // Takes `path` as a drop of that one file, under the rule drops meet: true when the job starts,
  // false (nothing happens) while a job or a secondary window runs. Brings the window forward.
  bool OpenFile(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  // Enter does nothing here: the power button is this window's OK and must not be pressed by it.
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Drops off, then the job once control is back in the event loop.
  void StartJob(const QStringList& paths);
  void Convert(const QStringList& paths);

  ShapedStatic* dropPanel_;
  BitmapButton* about_;
  BitmapButton* power_;
  DropServices services_;
  bool shownBefore_ = false;
};

}  // namespace pelorin::ui
