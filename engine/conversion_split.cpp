#include "engine/conversion_split.h"

#include <algorithm>
#include <numeric>

namespace pelorin {

std::optional<ConversionSplit> PlanConversionSplit(int32_t frames, int32_t sourceRate,
                                                   int32_t targetRate, int32_t taps,
                                                   int32_t headPermille) {
  if (sourceRate <= 0 || targetRate <= 0 || taps < 2) return std::nullopt;
  if (int64_t{frames} < int64_t{kMinSplitSeconds} * sourceRate) return std::nullopt;
  const int64_t n = taps & ~1;
  const int64_t divisor = std::gcd(sourceRate, targetRate);
  const int64_t m = sourceRate / divisor;
  const int64_t l = targetRate / divisor;
  const int64_t outputs = (int64_t{frames} * l + m - 1) / m;
  if (outputs > INT32_MAX / 2) return std::nullopt;  // the converter refuses it
  const int64_t split = outputs * std::clamp(headPermille, 1, 999) / 1000;
  // The second chain starts at least N frames before the split output's instant, in units
  // of 1 / L frame, so no output it keeps reaches a frame before its start.
  const int64_t reach = split * m - n * l;
  const int64_t start = reach < 0 ? 0 : reach / (m * l) * m;
  if (start <= 0) return std::nullopt;
  ConversionSplit plan;
  plan.splitOutput = static_cast<int32_t>(split);
  plan.tailStart = static_cast<int32_t>(start);
  plan.tailSkip = static_cast<int32_t>(split - start / m * l);
  return plan;
}

}  // namespace pelorin
