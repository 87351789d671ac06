#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <functional>

#include "app/dialog_font.h"
#include "app/skin_resources.h"
#include "pipeline/string_table.h"

namespace pelorin::ui {

class BitmapButton;

// Where a window's bitmaps come from: the program's skin in one language, or any function that
// maps a bitmap id to an image (tests and tools draw their own).
class Skin {
 public:
  using Loader = std::function<QImage(int id, Language language)>;

  // Not explicit: a window is usually made from its language alone.
  Skin(Language language = UserLanguage(), Loader loader = LoadSkinBitmap);

  Language GetLanguage() const { return language_; }
  // The bitmap of `id`, or a null image when there is none.
  QImage Image(int id) const;

 private:
  Language language_;
  Loader loader_;
};

// What every window of the program shares: borderless, sized and painted from the background
// bitmap, dragged by the band along its top, closed through OK or Cancel with its rectangle
// recorded, and, on secondary windows, the power button that ends the program. A secondary
// window runs as the content of the main window (ShowInPlace), or on its own.
class SkinnedDialog : public QDialog {
  Q_OBJECT

 public:
  // The frame's size when the background bitmap is missing.
  static constexpr QSize kFrameSize{210, 100};
  // Presses here drag the window; right and bottom edges excluded.
  static constexpr QRect kTitleBand{0, 0, 210, 20};
  static constexpr QPoint kPowerButtonPosition{182, 72};
  // How a window ends: OK (the close or OK button, Enter), Cancel (Escape, the window closed),
  // or the power button. Qt's own Rejected would be 0, the power button's result.
  static constexpr int kOk = 1;
  static constexpr int kCancelled = 2;
  static constexpr int kPoweredOff = 0;

  explicit SkinnedDialog(const Skin& skin = Skin(), QWidget* parent = nullptr);

  const Skin& GetSkin() const { return skin_; }
  // The rectangle of the window it stood in (itself, or the main window it was shown in) when it
  // last closed through OK or Cancel; the main window's rectangle before a secondary window last
  // took its place. Null until recorded.
  QRect SavedRect() const { return savedRect_; }
  void RecordSavedRect();
  bool IsDragging() const { return dragging_; }

  // The window this one stands in for while it runs; the power button ends it. The parent
  // widget when none was set.
  void SetOwner(QWidget* owner);
  QWidget* Owner() const;
  // True once the power button has ended this window.
  bool PoweredOff() const { return poweredOff_; }

 public slots:
  // Record the rectangle, then end with kOk or kCancelled.
  void accept() override;
  void reject() override;
  // Ends the owner window, then this one, both with result 0. No rectangle is recorded.
  void PowerOff();

 protected:
  // Paints what a window shows over its background besides its controls.
  virtual void PaintContents(QPainter& painter);
  // A shaped button from bitmap `id` of the skin with its top-left at `position`.
  BitmapButton* AddButton(int id, QPoint position);
  // The power button of a secondary window.
  BitmapButton* AddPowerButton();

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Enter is OK and Escape is Cancel; a window on which Enter must do nothing overrides this.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Skin skin_;
  QPixmap background_;
  QPoint dragOffset_;
  bool dragging_ = false;
  QRect savedRect_;
  bool poweredOff_ = false;
  QPointer<QWidget> owner_;
};

// Runs `dialog` modally as the content of the main window, so that the program keeps one window
// that never moves by itself: the dialog covers the main window's content, which is hidden, until
// it ends; then the content comes back. Meanwhile the window takes no drops, and closing it
// cancels the dialog. After the power button the window stays ended, since the program is ending.
// Without a main window the dialog runs on its own. Returns the dialog's result.
int ShowInPlace(QWidget* mainWindow, SkinnedDialog& dialog);

// The dialog that ShowInPlace runs now, the innermost if several; null when none.
SkinnedDialog* ActiveInPlaceDialog();

}  // namespace pelorin::ui
