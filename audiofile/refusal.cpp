#include "audiofile/refusal.h"

namespace pelorin {

std::string_view CategoryName(RefusalCategory category) {
  switch (category) {
    case RefusalCategory::kNone:
      return "";
    case RefusalCategory::kContainer:
      return "container";
    case RefusalCategory::kEncoding:
      return "encoding";
    case RefusalCategory::kRate:
      return "rate";
    case RefusalCategory::kChannels:
      return "channels";
    case RefusalCategory::kDuration:
      return "duration";
    case RefusalCategory::kSize:
      return "size";
    case RefusalCategory::kMemory:
      return "memory";
  }
  return "";
}

std::string Describe(const Refusal& refusal) {
  if (refusal.Empty()) return "";
  if (refusal.offset < 0) return refusal.text;
  return "offset " + std::to_string(refusal.offset) + ": " + refusal.text;
}

}  // namespace pelorin
