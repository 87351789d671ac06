#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pelorin {

// The free bytes of the file system that holds path (all free blocks, not only those this
// user may use), or -1.0 when it cannot be told.
double QueryFreeSpace(const std::string& path);

// Writes bytes to path whole or not at all: a temporary file in the same folder, flushed to
// disk and renamed over path. Only a regular file at path (or a link to one) is replaced; a
// folder, device or pipe there is refused. On failure the old file at path is untouched, no
// temporary file remains, and *error (when given) says why.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error);

}  // namespace pelorin
