#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "app/skinned_dialog.h"

class QWidget;

namespace pelorin::ui {

// What the drop workflow needs from its surroundings; tests replace them.
struct DropServices {
  // Free bytes of the file system holding a folder (negative when unknown); QStorageInfo by
  // default.
  std::function<double(const QString& folder)> freeSpace;
  // Runs a secondary window in the main window's place; ShowInPlace by default. Tests drive the
  // windows through it.
  std::function<int(QWidget* mainWindow, SkinnedDialog& dialog)> showInPlace;
};

// The longest file name (in UTF-16 code units of the native path, as QString counts them) the
// workflow takes; a longer one gets the "name too long" message.
inline constexpr int kMaxDroppedPathLength = 259;

// The whole job for files dropped on mainWindow: only the first file is used; drops are off
// while it runs and on again on every way out (mainWindow->setAcceptDrops).
void ConvertDroppedFile(QWidget* mainWindow, const QStringList& droppedPaths, const Skin& skin,
                        const DropServices& services = {});

}  // namespace pelorin::ui
