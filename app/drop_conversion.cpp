#include "app/drop_conversion.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QStorageInfo>
#include <QWidget>
#include <string>

#include "app/message_dialog.h"
#include "app/settings_dialog.h"
#include "pipeline/conversion.h"

namespace pelorin::ui {

namespace {

// Switches drops on the main window off for as long as it lives, and on again however the job
// ends. The main window may be gone by then (the power button ends it).
class DropsOff {
 public:
  explicit DropsOff(QWidget* mainWindow) : mainWindow_(mainWindow) { Set(false); }
  ~DropsOff() { Set(true); }
  DropsOff(const DropsOff&) = delete;
  DropsOff& operator=(const DropsOff&) = delete;

  void Set(bool accept) {
    if (mainWindow_) mainWindow_->setAcceptDrops(accept);
  }

 private:
  QPointer<QWidget> mainWindow_;
};

// The busy cursor while the program works and the user can do nothing.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

QString Utf8Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// File names travel through the pipeline in the file system's own encoding.
std::string NativeName(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString NameFromNative(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

class DropJob {
 public:
  DropJob(QWidget* mainWindow, const Skin& skin, const DropServices& services)
      : mainWindow_(mainWindow), skin_(skin), services_(services), drops_(mainWindow) {}

  void Run(const QStringList& droppedPaths);

 private:
  int ShowInPlace(SkinnedDialog& dialog) {
    return services_.showInPlace ? services_.showInPlace(mainWindow_, dialog)
                                 : ui::ShowInPlace(mainWindow_, dialog);
  }
  void ShowMessage(int mode, const QString& text);
  void ShowMessage(int mode, int stringId) {
    ShowMessage(mode, Utf8Text(LoadString(stringId, skin_.GetLanguage())));
  }
  double FreeSpace(const std::string& folder) const {
    const QString name = NameFromNative(folder);
    if (services_.freeSpace) return services_.freeSpace(name);
    // bytesFree() is -1 for a folder whose volume cannot be told.
    return static_cast<double>(QStorageInfo(name).bytesFree());
  }

  QPointer<QWidget> mainWindow_;
  const Skin& skin_;
  const DropServices& services_;
  DropsOff drops_;
};

void DropJob::ShowMessage(int mode, const QString& text) {
  MessageDialog message(skin_);
  message.SetMessage(mode, text);
  ShowInPlace(message);
  drops_.Set(true);
}

void DropJob::Run(const QStringList& droppedPaths) {
  // Only the first of several files is looked at; the others are ignored.
  if (droppedPaths.isEmpty()) return;
  const QString path = QDir::toNativeSeparators(droppedPaths.first());
  if (path.size() > kMaxDroppedPathLength) {
    ShowMessage(MessageDialog::kCautionMode, kStrNameTooLong);
    return;
  }

  Conversion conversion;
  ConversionOutcome outcome;
  {
    const BusyCursor busy;
    outcome = conversion.Open(NativeName(path));
  }
  if (outcome.messageId != 0) {
    ShowMessage(MessageDialog::kCautionMode, outcome.messageId);
    return;
  }

  ConversionSettings settings;
  {
    SettingsDialog dialog(skin_);
    dialog.SetTitle(NameFromNative(conversion.BaseName()));
    dialog.SetInputRate(conversion.InputRate());
    if (ShowInPlace(dialog) != SkinnedDialog::kOk) return;
    UserChoices choices;
    choices.targetRate = dialog.TargetRate();
    choices.save = (dialog.Flags() & SettingsDialog::kNoSaveFlag) == 0;
    choices.trans = (dialog.Flags() & SettingsDialog::kNoTransFlag) == 0;
    choices.title = dialog.Title().toStdString();
    choices.copyright = dialog.Copyright().toStdString();
    const SettingsChoice choice = conversion.Settings(choices, skin_.GetLanguage());
    // The settings window offers no rate the input cannot be converted to.
    if (!choice.refusal.empty()) return;
    settings = choice.settings;
  }
  // The window shows its own content again before the work holds the program, rather than the
  // picture of the settings window it had.
  if (mainWindow_) mainWindow_->window()->repaint();

  {
    const BusyCursor busy;
    outcome = conversion.Finish(settings, conversion.DefaultOutputPath(),
                                [this](const std::string& folder) { return FreeSpace(folder); });
  }
  // A failed rate conversion or encoding has no text to show; the run just ends.
  if (outcome.failedStep != nullptr) return;
  if (outcome.messageId != 0) {
    ShowMessage(MessageDialog::kCautionMode, outcome.messageId);
    return;
  }
  ShowMessage(MessageDialog::kCompletedMode,
              Utf8Text(FileSizeMessage(outcome.fileBytes, skin_.GetLanguage())));
}

}  // namespace

void ConvertDroppedFile(QWidget* mainWindow, const QStringList& droppedPaths, const Skin& skin,
                        const DropServices& services) {
  DropJob(mainWindow, skin, services).Run(droppedPaths);
}

}  // namespace pelorin::ui
