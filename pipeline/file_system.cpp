#include "pipeline/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

namespace pelorin {
namespace {

// Bytes of the target's name kept in the temporary file's name.
constexpr size_t kKeptNameBytes = 200;

}  // namespace

double QueryFreeSpace(const std::string& path) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return -1.0;
  return static_cast<double>(info.f_bfree) * static_cast<double>(info.f_frsize);
}

namespace {

// The system's text for an error number; strerror's buffer may be shared between threads.
std::string ErrorText(int code) {
  char buffer[256];
  return strerror_r(code, buffer, sizeof buffer);
}

// The file a path names once every symbolic link on the way is followed, whether or not that
// file exists yet; nothing for a loop or a chain too long to follow.
std::optional<std::filesystem::path> FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) return path;
    const std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) return std::nullopt;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return std::nullopt;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error) {
  const auto fail = [&](const std::string& what, int code) {
    if (error) *error = what + ": " + ErrorText(code);
    return false;
  };
  // A link is followed: the file it names is replaced in its own folder, and the link stays.
  const std::optional<std::filesystem::path> followed = FollowLinks(path);
  if (!followed) return fail("cannot write " + path, ELOOP);
  const std::filesystem::path target = *followed;
  // Only a regular file (or nothing) is replaced. Renaming over a device or a pipe (-o /dev/null
  // run as root) would leave a plain file in its place. A file its owner made read-only, or one
  // this user may not write, is refused as a failed write would be. The new file keeps the old
  // one's permission bits.
  mode_t mode = 0;
  struct stat existing {};
  if (stat(target.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return fail("cannot write " + path, EISDIR);
    if (!S_ISREG(existing.st_mode)) {
      if (error) *error = "cannot write " + path + ": not a regular file";
      return false;
    }
    if ((existing.st_mode & 0222) == 0) return fail("cannot write " + path, EACCES);
    if (access(target.c_str(), W_OK) != 0) return fail("cannot write " + path, errno);
    mode = existing.st_mode & 07777;
  } else {
    // A new file gets the permissions any new file would. The mask can only be read by setting
    // it, so it is read once, before conversions may run side by side.
    static const mode_t mask = [] {
      const mode_t m = umask(0);
      umask(m);
      return m;
    }();
    mode = 0666 & ~mask;
  }
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  // A hidden name beside the target, so the rename stays within one file system. Only the
  // start of a long name goes into it: the target's name may be near the 255-byte limit, and
  // the dot and suffix must still fit. The cut falls between UTF-8 characters.
  std::string name = target.filename().string();
  if (name.size() > kKeptNameBytes) {
    size_t cut = kKeptNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  std::string hidden = ".";
  hidden += name;
  hidden += ".XXXXXX";
  const std::string pattern = (folder / hidden).string();
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back(0);
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return fail("cannot create a file in " + folder.string(), errno);
  // mkstemp makes the file private.
  fchmod(fd, mode);

  size_t done = 0;
  int code = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      code = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (code == 0 && fsync(fd) != 0) code = errno;
  if (close(fd) != 0 && code == 0) code = errno;
  if (code == 0 && std::rename(temporary.data(), target.c_str()) != 0) code = errno;
  if (code != 0) {
    unlink(temporary.data());
    return fail("cannot write " + path, code);
  }
  return true;
}

}  // namespace pelorin
