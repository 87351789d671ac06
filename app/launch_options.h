#pragma once

#include <QString>
#include <string>

namespace pelorin::ui {

// What a start of the program was asked to do. Read before anything of Qt's GUI exists, so that
// --help and --version work without a display.
struct LaunchOptions {
  enum class Action { kRun, kHelp, kVersion, kUsageError };

  Action action = Action::kRun;
  // The file to take as a drop, made absolute: a copy that runs elsewhere resolves it too.
  // Empty when none was given.
  QString file;
  // For kUsageError: what was wrong, without the program's name.
  std::string error;
};

// Options: -h/--help, --version, and "--" ending them; the first other argument is FILE, later
// ones are ignored as a drop ignores all files but the first. Qt's own options are not taken.
LaunchOptions ParseLaunchOptions(int argc, const char* const* argv);

// The texts of --help and --version, in the form help2man turns into a manual page.
const char* HelpText();
std::string VersionText();

}  // namespace pelorin::ui
