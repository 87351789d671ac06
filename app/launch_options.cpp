#include "app/launch_options.h"

#include <QFile>
#include <QFileInfo>
#include <string_view>

#include "pipeline/version.h"

namespace pelorin::ui {

LaunchOptions ParseLaunchOptions(int argc, const char* const* argv) {
  LaunchOptions options;
  bool optionsEnded = false;
  bool fileSeen = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "-h" || arg == "--help") {
        options.action = LaunchOptions::Action::kHelp;
        return options;
      } else if (arg == "--version") {
        options.action = LaunchOptions::Action::kVersion;
        return options;
      } else {
        options.action = LaunchOptions::Action::kUsageError;
        options.error = (arg.starts_with("--") ? "unrecognized option '" : "invalid option '") +
                        std::string(arg) + "'";
        return options;
      }
      continue;
    }
    if (fileSeen) continue;
    fileSeen = true;
    if (arg.empty()) {
      options.action = LaunchOptions::Action::kUsageError;
      options.error = "empty file name";
      return options;
    }
    options.file = QFileInfo(QFile::decodeName(argv[i])).absoluteFilePath();
  }
  return options;
}

const char* HelpText() {
  return "Usage: pelorin [FILE]\n"
         "Open the Pelorin window: a WAV or AIFF file dropped on it is converted into a\n"
         "KIVRA ring-tone file (.mmf) beside it, after a settings window for its title,\n"
         "copyright line, permissions and rate.\n"
         "\n"
         "With FILE, the window takes FILE as if it had been dropped on it (of several\n"
         "files, only the first). One copy of the program runs per user: if a copy\n"
         "already runs, FILE goes to that copy, which takes it as a drop when it is idle\n"
         "and ignores it, as it ignores drops, while it converts or shows another window.\n"
         "A second start without FILE ends silently.\n"
         "\n"
         "The window speaks Japanese when the locale (LANGUAGE, LC_ALL, LC_MESSAGES,\n"
         "LANG) names Japanese, otherwise English. pelorin-cli converts files without\n"
         "the window.\n"
         "\n"
         "Options:\n"
         "  -h, --help     display this help and exit\n"
         "      --version  output version information and exit\n"
         "\n"
         "Exit status:\n"
         " 0  if OK, also when FILE went to the copy that runs,\n"
         " 1  if FILE could not be handed to the copy that runs, or the lock that keeps\n"
         "    to one copy could not be made,\n"
         " 2  if the command line is wrong.\n";
}

std::string VersionText() {
  return std::string("pelorin (Pelorin) ").append(kVersion).append("\n");
}

}  // namespace pelorin::ui
