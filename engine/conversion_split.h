#pragma once

#include <cstdint>
#include <optional>

namespace pelorin {

// How a long clip's rate conversion is shared between two converter chains. Output j of a
// conversion is the filter at input time j x M / L (M / L the reduced rate ratio), summed
// over the source frames within N / 2 of that instant. A chain started at a source frame s0
// that is a multiple of M puts the same outputs at the same phases, shifted by s0 x L / M:
// they equal the whole clip's wherever the frames before s0 lie outside the filter's reach.
struct ConversionSplit {
  int32_t splitOutput = 0;  // outputs before this one come from the chain over the whole clip
  int32_t tailStart = 0;    // the second chain's first source frame, a multiple of M
  int32_t tailSkip = 0;     // outputs of the second chain before splitOutput
};

// Clips shorter than this many seconds are not worth a second thread.
inline constexpr int32_t kMinSplitSeconds = 2;

// The split for a clip of the given frames, the first chain taking headPermille thousandths of
// the outputs (half by default), or nothing when the clip is too short, the arguments would be
// refused by the converter, or no multiple of M lies far enough before the split output.
std::optional<ConversionSplit> PlanConversionSplit(int32_t frames, int32_t sourceRate,
                                                   int32_t targetRate, int32_t taps,
                                                   int32_t headPermille = 500);

}  // namespace pelorin
