#pragma once

#include <cstdint>

namespace pelorin {

// Results of engine operations: 0 (or a byte count) on success, negative on failure.
enum ResultCode : int32_t {
  kOk = 0,
  kFailed = -1,         // generic failure
  kTooShort = -993,     // play time of 20 ms or less
  kBadChannels = -994,  // more than 2 channels
  kBadBits = -995,      // bits per sample neither 8 nor 16
  kBadRate = -996,      // sample rate outside 4000..48000
  kBadFormat = -997,    // not a file the reader accepts
  kBadArgument = -998,  // missing destination, nothing held, bad variant or reserved value
  kNoWriter = -1000,    // the writer object could not be made
};

}  // namespace pelorin
