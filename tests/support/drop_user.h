#pragma once

// A stand-in for the user of the drop workflow, for the window's tests.

#include <QLatin1String>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/drop_conversion.h"
#include "app/message_dialog.h"
#include "app/settings_dialog.h"
#include "app/tri_state_toggle.h"

namespace pelorin::ui::test {

// What the settings window showed when it opened.
struct SettingsSeen {
  QString title;
  int inputRate = 0;
  int rate8k = -1;
  int rate4k = -1;
};

struct MessageSeen {
  int mode = -1;
  QString text;
};

// Drives every window the workflow shows, without a modal loop, and records what they showed
// and whether drops were off meanwhile. The free-space query answers freeBytes.
class User {
 public:
  // What to do in the settings window; OK unchanged by default.
  std::function<void(SettingsDialog&)> settings = [](SettingsDialog& dialog) { dialog.accept(); };
  double freeBytes = 1e12;

  std::vector<SettingsSeen> settingsSeen;
  std::vector<MessageSeen> messages;
  QStringList freeSpaceFolders;
  bool dropsStayedOff = true;

  DropServices Services() {
    DropServices services;
    services.freeSpace = [this](const QString& folder) {
      freeSpaceFolders.append(folder);
      return freeBytes;
    };
    services.showInPlace = [this](QWidget* mainWindow, SkinnedDialog& dialog) {
      if (mainWindow->acceptDrops()) dropsStayedOff = false;
      dialog.SetOwner(mainWindow);
      if (auto* settingsDialog = qobject_cast<SettingsDialog*>(&dialog)) {
        settingsSeen.push_back({settingsDialog->Title(), settingsDialog->InputRate(),
                                Toggle(dialog, "rate8k")->GetState(),
                                Toggle(dialog, "rate4k")->GetState()});
        settings(*settingsDialog);
      } else if (auto* message = qobject_cast<MessageDialog*>(&dialog)) {
        messages.push_back({message->Mode(), message->Text()});
        message->accept();
      }
      return dialog.result();
    };
    return services;
  }

  static TriStateToggle* Toggle(const QWidget& dialog, const char* name) {
    return dialog.findChild<TriStateToggle*>(QLatin1String(name));
  }
  static QLineEdit* Edit(const QWidget& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(QLatin1String(name));
  }
};

}  // namespace pelorin::ui::test
