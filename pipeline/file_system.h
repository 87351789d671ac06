#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pelorin {

// The free bytes of the file system that holds path (all free blocks, not only those this
// user may use), or -1.0 when it cannot be told.
double QueryFreeSpace(const std::string& path);

// Writes bytes to path whole or not at all: a temporary file in the same folder, flushed to
// disk and renamed over path. A symbolic link at path is followed and the file it names is
// replaced in its own folder; the link stays. Only a regular file (or nothing) is replaced: a
// folder, device or pipe is refused, and so is a file without write permission. The new file
// keeps the old one's permission bits (a new one gets the umask's); a hard link to the old file
// keeps the old content. On failure the old file is untouched, no temporary file remains, and
// *error (when given) says why.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error);

}  // namespace pelorin
