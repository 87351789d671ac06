#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audiofile/wav_image_writer.h"

namespace pelorin {

// The sound a KIVRA file plays, as a 16-bit PCM WAV image at the file's rate: its ADPCM decoded
// (mono, or stereo for a stereo stream), and the image's header. Nothing, with the reasons (each
// "offset N: what" for a damaged file), when it is damaged or its sound is too long for a WAV
// file; wav is then untouched.
std::optional<WavImageHeader> DecodeKivraToWav(std::span<const uint8_t> kivra,
                                               std::vector<uint8_t>& wav,
                                               std::vector<std::string>& why);

}  // namespace pelorin
