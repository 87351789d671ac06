#pragma once

#include <cstdint>

#include "audiofile/sample_source.h"
#include "pipeline/input_file.h"

namespace pelorin {

// The header of an image as its reader sees it (channels 0 when the reader refuses it), for
// reports that name the file's own properties, such as its bit depth.
SourceFormat ProbeSourceFormat(InputKind kind, const uint8_t* image, int32_t length);

}  // namespace pelorin
