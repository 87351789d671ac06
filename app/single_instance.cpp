#include "app/single_instance.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <vector>

namespace pelorin::ui {

SingleInstance::SingleInstance(const QString& folder, const QString& userName)
    : path_(QDir(folder).filePath(LockFileName(userName))),
      socketPath_(QDir(folder).filePath(SocketFileName(userName))),
      lock_(path_) {
  // Age never makes a lock stale: a copy may run for days. A lock whose process is gone is
  // still taken over.
  lock_.setStaleLockTime(0);
}

bool SingleInstance::TryAcquire() {
  return lock_.isLocked() || lock_.tryLock(0);
}

namespace {

QString BaseName(const QString& userName) {
  // The name becomes part of a file name: nothing in it may leave the folder or confuse a shell.
  QString safe;
  for (const QChar c : userName) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'.' || c == u'_' || c == u'-';
    safe += plain ? c : QChar(u'_');
  }
  return QString::fromLatin1(SingleInstance::kName) + u'-' + safe;
}

}  // namespace

QString SingleInstance::LockFileName(const QString& userName) {
  return BaseName(userName) + QStringLiteral(".lock");
}

QString SingleInstance::SocketFileName(const QString& userName) {
  return BaseName(userName) + QStringLiteral(".socket");
}

QString SingleInstance::DefaultFolder() {
  // Asked only when set: without it Qt warns and makes a folder of its own in /tmp.
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
  }
  return QDir::tempPath();
}

QString SingleInstance::CurrentUserName() {
  const uid_t uid = geteuid();
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && found->pw_name[0] != '\0') {
    return QString::fromLocal8Bit(found->pw_name);
  }
  // A user without a passwd entry (containers) still gets a lock of its own.
  return QString::number(uid);
}

}  // namespace pelorin::ui
