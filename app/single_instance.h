#pragma once

#include <QLockFile>
#include <QString>

namespace pelorin::ui {

// Allows one running copy of the program per user: the first copy holds a lock file for its whole
// life, and a later copy finds it held. The lock of a copy that crashed is taken over. Beside the
// lock lies the socket on which the running copy takes files from later starts.
class SingleInstance {
 public:
  static constexpr const char* kName = "PELORININSTANCE";

  // The lock lives in `folder` under a name that holds `userName`.
  SingleInstance(const QString& folder, const QString& userName);
  // The user's runtime folder, else the temporary folder; the current user.
  SingleInstance() : SingleInstance(DefaultFolder(), CurrentUserName()) {}

  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this copy now holds the lock (or already did). On false, Error() tells whether
  // another copy holds it (QLockFile::LockFailedError) or the lock file could not be made.
  bool TryAcquire();
  QLockFile::LockError Error() const { return lock_.error(); }
  QString LockPath() const { return path_; }
  // Where the copy holding the lock listens for files: the lock's name ending in ".socket".
  QString SocketPath() const { return socketPath_; }

  static QString LockFileName(const QString& userName);
  static QString SocketFileName(const QString& userName);
  static QString DefaultFolder();
  static QString CurrentUserName();

 private:
  QString path_;
  QString socketPath_;
  QLockFile lock_;
};

}  // namespace pelorin::ui
