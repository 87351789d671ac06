#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "engine/adpcm_encoder.h"

namespace pelorin {

// Asked before the codes of a clip's frames up to (not including) `end` are made, when those
// frames are still being made elsewhere: true once they are there, false if they never will be.
using FramesReady = std::function<bool(int32_t end)>;

// The ADPCM data of a clip of one or two channels, adpcmBytes long. Mono: the codes, two a byte,
// low nibble first. Stereo: byte n holds frame n, the left code in the low nibble and the right
// one in the high nibble. The clip is `frames` frames long; those after the frames held are
// silence. Nothing when `ready` said no. May throw std::bad_alloc.
std::optional<std::vector<uint8_t>> EncodeClipCodes(std::span<const int16_t> held, int channels,
                                                    int32_t frames, size_t adpcmBytes,
                                                    AdpcmQuality quality,
                                                    const FramesReady& ready = {});

}  // namespace pelorin
