#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin {

// What kind of property of a file led to its refusal.
enum class RefusalCategory {
  kNone,
  kContainer,  // the chunk structure: ids, sizes, chunks missing or overrunning
  kEncoding,   // how samples are stored: format tag, bits per sample, block align
  kRate,
  kChannels,
  kDuration,  // too little sound
  kSize,      // more sound than the program can hold
  kMemory,    // not enough memory left to hold it
};

// Why a file was refused, for people: the category, the byte offset in the file of what was
// refused (-1 when it is no single place) and a short sentence that names the value and what
// would be accepted. Result codes stay what they are; this only explains them.
struct Refusal {
  RefusalCategory category = RefusalCategory::kNone;
  int64_t offset = -1;
  std::string text;

  bool Empty() const { return category == RefusalCategory::kNone; }
};

// "container", "encoding", "rate", "channels", "duration", "size", "memory"; "" for none.
std::string_view CategoryName(RefusalCategory category);

// "offset 34: 24 bits per sample; 8 or 16 are supported", or the text alone without an
// offset; "" for no refusal.
std::string Describe(const Refusal& refusal);

// Where the fields of a source's format stand in its file, so that a refusal can point at
// the one it is about; -1 when unknown.
struct FieldOffsets {
  int64_t channels = -1;
  int64_t sampleRate = -1;
  int64_t bitsPerSample = -1;
  int64_t frameCount = -1;  // the field the frame count comes from (WAV: the "data" size)
};

}  // namespace pelorin
