#pragma once

#include <cstdint>
#include <memory>

#include "audiofile/sample_source.h"
#include "engine/channel_splitter.h"
#include "engine/mono_resampler.h"
#include "engine/stereo_merger.h"

namespace pelorin {

// Converts a mono or stereo 16-bit source (not owned) to another rate: one resampler for
// mono; for stereo a splitter, a resampler per channel and a merger. Other channel counts
// build nothing, and Setup then fails.
class RateConverter : public SampleSource {
 public:
  // The options are handed to the resamplers; the two of stereo share their coefficient rows.
  explicit RateConverter(SampleSource& source, ResamplerOptions options = {});

  // 0, or -1 with channels set to 0 when a resampler refuses the arguments.
  int32_t Setup(int32_t targetRate, int32_t taps, int32_t tablePhaseLimit, int32_t tableSizeLimit);

  // Whether the coefficients come from the single-precision table (after Setup).
  bool TableInUse() const { return left_ != nullptr && left_->TableInUse(); }

  // frames counts frames: for stereo dst must hold twice as many samples.
  int32_t Read(int16_t* dst, int32_t frames) override;
  int32_t ReadBytes(uint8_t*, int32_t) override { return -1; }
  int32_t Rewind() override { return -1; }

 private:
  std::unique_ptr<MonoResampler> left_;
  std::unique_ptr<MonoResampler> right_;
  bool stereo_ = false;
  std::unique_ptr<ChannelSplitter> splitter_;
  std::unique_ptr<StereoMerger> merger_;
};

}  // namespace pelorin
