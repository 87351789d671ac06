#include "pipeline/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error) {
  const auto fail = [&](const std::string& what, int code) {
    if (error) *error = what + ": " + std::strerror(code);
    return false;
  };
  // Only a regular file (or nothing) is replaced. Renaming over a device, a pipe or a link to
  // one (-o /dev/null run as root) would leave a plain file in its place.
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode)) return fail("cannot write " + path, EISDIR);
    if (error) *error = "cannot write " + path + ": not a regular file";
    return false;
  }
  const std::filesystem::path target(path);
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

  // mkstemp makes the file private; give it the permissions a new file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);

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
  if (code == 0 && std::rename(temporary.data(), path.c_str()) != 0) code = errno;
  if (code != 0) {
    unlink(temporary.data());
    return fail("cannot write " + path, code);
  }
  return true;
}

}  // namespace pelorin
