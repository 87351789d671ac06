#include "pipeline/date_stamp.h"

#include <ctime>

namespace pelorin {

int FormatDateStamp(char* buffer, int capacity) {
  if (buffer == nullptr || capacity < 0) return -1;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) return -1;
  const size_t written = std::strftime(buffer, static_cast<size_t>(capacity), "%Y%m%d", &local);
  return written == 0 ? -1 : static_cast<int>(written);
}

}  // namespace pelorin
