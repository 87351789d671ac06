// The desktop program: one window that converts the audio files dropped on it, or given to it on
// the command line by this start or a later one.

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "app/file_handover.h"
#include "app/launch_options.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/skin_resources.h"
#include "pipeline/string_table.h"

namespace {

using pelorin::ui::HandoverResult;

// How long a later start keeps trying to reach the copy holding the lock (which may be starting,
// still without its socket), and how long it waits for the answer (the copy may be converting).
constexpr int kReachMs = 10000;
constexpr int kAnswerMs = 20000;

}  // namespace

int main(int argc, char** argv) {
  using pelorin::ui::LaunchOptions;
  // Nothing of Qt's GUI yet: help, version and a hand-over need no display.
  const LaunchOptions options = pelorin::ui::ParseLaunchOptions(argc, argv);
  switch (options.action) {
    case LaunchOptions::Action::kHelp:
      std::fputs(pelorin::ui::HelpText(), stdout);
      return 0;
    case LaunchOptions::Action::kVersion:
      std::fputs(pelorin::ui::VersionText().c_str(), stdout);
      return 0;
    case LaunchOptions::Action::kUsageError:
      std::fprintf(stderr, "pelorin: %s\nTry 'pelorin --help' for more information.\n",
                   options.error.c_str());
      return 2;
    case LaunchOptions::Action::kRun:
      break;
  }

  pelorin::ui::SingleInstance instance;
  const QDeadlineTimer reachBy(kReachMs);
  while (!instance.TryAcquire()) {
    if (instance.Error() != QLockFile::LockFailedError) {
      std::fprintf(stderr, "pelorin: cannot create the lock file %s\n",
                   qPrintable(instance.LockPath()));
      return 1;
    }
    // Another copy runs: without a file, end silently, as if the start had not happened.
    if (options.file.isEmpty()) return 0;
    QString error;
    const HandoverResult result =
        pelorin::ui::HandFileOver(instance.SocketPath(), options.file, kAnswerMs, &error);
    if (result == HandoverResult::kTaken || result == HandoverResult::kIgnored) return 0;
    if (result == HandoverResult::kNoServer && !reachBy.hasExpired()) {
      // The copy is starting (or ending, and its lock is about to be free): try again.
      QThread::msleep(100);
      continue;
    }
    if (result == HandoverResult::kNoServer) {
      error = QStringLiteral("it does not listen at %1").arg(instance.SocketPath());
    }
    std::fprintf(stderr, "pelorin: cannot hand %s to the running copy: %s\n",
                 qPrintable(options.file), qPrintable(error));
    return 1;
  }

  // The bitmap skin stays pixel-exact at 100 % and 200 % instead of blurring in between.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
  // Qt sees no argument but the program's name: a file named like one of its options stays a file.
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("pelorin"));
  // Lets desktops match the window with pelorin.desktop and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("pelorin"));
  QApplication::setWindowIcon(pelorin::ui::ProgramIcon());

  pelorin::ui::MainWindow window{pelorin::ui::Skin(pelorin::UserLanguage())};
  pelorin::ui::FileHandoverServer handover(
      [&window](const QString& path) { return window.OpenFile(path); });
  if (!handover.Listen(instance.SocketPath())) {
    // The window still works; only later starts cannot give it their files.
    std::fprintf(stderr, "pelorin: later starts cannot hand files to this window: %s\n",
                 qPrintable(handover.ErrorString()));
  }
  if (!options.file.isEmpty()) {
    // Once the window shows, as a drop on it would be.
    QTimer::singleShot(0, &window, [&window, &options] { window.OpenFile(options.file); });
  }
  window.exec();
  return 0;
}
