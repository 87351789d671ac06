// Renders every window of the desktop program, in each state worth seeing and in both languages,
// and every message the message window can show, to PNG files: take-screenshots FOLDER. Runs on
// the offscreen platform unless another is chosen.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/about_dialog.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/settings_dialog.h"
#include "app/tri_state_toggle.h"
#include "pipeline/conversion.h"
#include "pipeline/string_table.h"

namespace {

using pelorin::Language;
using namespace pelorin::ui;

constexpr const char* kUsage =
    "usage: take-screenshots FOLDER\n"
    "Writes a PNG file of every window in each language into FOLDER.\n";

// One picture: its file name without the language suffix, and how to build the window.
struct Shot {
  QString name;
  std::function<std::unique_ptr<QWidget>(Language)> make;
};

QString Text(int id, Language language) {
  const std::string_view text = pelorin::LoadString(id, language);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::unique_ptr<QWidget> Message(int mode, const QString& text, Language language) {
  auto dialog = std::make_unique<MessageDialog>(language);
  dialog->SetMessage(mode, text);
  return dialog;
}

// The settings window as the workflow opens it, with both permissions switched off if asked.
std::unique_ptr<QWidget> Settings(Language language, const QString& title, int inputRate,
                                  bool permissionsOff = false) {
  auto dialog = std::make_unique<SettingsDialog>(language);
  dialog->SetTitle(title);
  dialog->SetInputRate(inputRate);
  // "save" off takes "trans" with it.
  if (permissionsOff) dialog->findChild<TriStateToggle*>(QStringLiteral("save"))->click();
  return dialog;
}

std::vector<Shot> Shots() {
  return {
      {QStringLiteral("main"),
       [](Language language) { return std::make_unique<MainWindow>(language); }},
      {QStringLiteral("settings-8khz"),
       [](Language language) { return Settings(language, QStringLiteral("bell"), 8000); }},
      {QStringLiteral("settings-4khz-only"),
       [](Language language) { return Settings(language, QStringLiteral("bell"), 7999); }},
      {QStringLiteral("settings-permissions-off"),
       [](Language language) { return Settings(language, QStringLiteral("bell"), 44100, true); }},
      {QStringLiteral("settings-japanese-title"),
       [](Language language) { return Settings(language, QStringLiteral("ベルの音"), 22050); }},
      {QStringLiteral("message-caution"),
       [](Language language) {
         return Message(MessageDialog::kCautionMode, Text(pelorin::kStrBadExtension, language),
                        language);
       }},
      {QStringLiteral("message-completed"),
       [](Language language) {
         return Message(MessageDialog::kCompletedMode,
                        Text(pelorin::kStrFileSizePrefix, language) + QStringLiteral("7.95KB"),
                        language);
       }},
      {QStringLiteral("about"),
       [](Language language) { return std::make_unique<AboutDialog>(language); }},
  };
}

// Every message as the message window shows it, named by its string id: the refusals, and the
// completed message with a size wider than any file the window writes.
std::vector<Shot> MessageShots() {
  std::vector<Shot> shots;
  for (const int id :
       {pelorin::kStrCannotOpen, pelorin::kStrBadExtension, pelorin::kStrFormatNotSupported,
        pelorin::kStrCannotSave, pelorin::kStrNameTooLong, pelorin::kStrPlaytimeTooShort,
        pelorin::kStrDiskSpace, pelorin::kStrRateNotSupported, pelorin::kStrBitsNotSupported,
        pelorin::kStrChannelsNotSupported}) {
    shots.push_back({QStringLiteral("message-%1").arg(id), [id](Language language) {
                       return Message(MessageDialog::kCautionMode, Text(id, language), language);
                     }});
  }
  shots.push_back(
      {QStringLiteral("message-%1").arg(pelorin::kStrFileSizePrefix), [](Language language) {
         // 99999.99KB
         const std::string text = pelorin::FileSizeMessage(102399990, language);
         return Message(MessageDialog::kCompletedMode, QString::fromStdString(text), language);
       }});
  return shots;
}

QString Suffix(Language language) {
  return language == Language::kJapanese ? QStringLiteral("ja") : QStringLiteral("en");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The skin stays pixel-exact at 100 % and 200 %.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
  QApplication application(argc, argv);

  const QStringList arguments = QApplication::arguments();
  if (arguments.size() == 2 && arguments[1] == u"--help") {
    std::printf("%s", kUsage);
    return 0;
  }
  if (arguments.size() != 2 || arguments[1].startsWith(u'-')) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  const QDir folder(arguments[1]);
  if (!QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "take-screenshots: cannot create %s\n", qPrintable(folder.path()));
    return 1;
  }

  std::vector<Shot> shots = Shots();
  for (Shot& shot : MessageShots()) shots.push_back(std::move(shot));
  for (const Shot& shot : shots) {
    for (const Language language : {Language::kEnglish, Language::kJapanese}) {
      const std::unique_ptr<QWidget> window = shot.make(language);
      window->show();
      QApplication::processEvents();
      const QString path =
          folder.filePath(shot.name + u'-' + Suffix(language) + QStringLiteral(".png"));
      if (!window->grab().save(path)) {
        std::fprintf(stderr, "take-screenshots: cannot write %s\n", qPrintable(path));
        return 1;
      }
      std::printf("%s\n", qPrintable(path));
    }
  }
  return 0;
}
