// The desktop program: one window that converts the audio files dropped on it.

#include <QApplication>
#include <cstdio>

#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/skin_resources.h"
#include "pipeline/string_table.h"

int main(int argc, char** argv) {
  // The bitmap skin stays pixel-exact at 100 % and 200 % instead of blurring in between.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pelorin"));
  // Lets desktops match the window with pelorin.desktop and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("pelorin"));
  QApplication::setWindowIcon(pelorin::ui::ProgramIcon());

  pelorin::ui::SingleInstance instance;
  if (!instance.TryAcquire()) {
    // Another copy runs: end silently, as if the start had not happened.
    if (instance.Error() == QLockFile::LockFailedError) return 0;
    std::fprintf(stderr, "pelorin: cannot create the lock file %s\n",
                 qPrintable(instance.LockPath()));
    return 1;
  }

  pelorin::ui::MainWindow window{pelorin::ui::Skin(pelorin::UserLanguage())};
  window.exec();
  return 0;
}
