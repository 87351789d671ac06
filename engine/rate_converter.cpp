#include "engine/rate_converter.h"

#include <new>

namespace pelorin {

RateConverter::RateConverter(SampleSource& source, ResamplerOptions options) {
  try {
    switch (source.Format().channels) {
      case 1:
        left_ = std::make_unique<MonoResampler>(&source, options);
        format_ = left_->Format();
        break;
      case 2:
        stereo_ = true;
        // The two channels have one ratio: they share their coefficients.
        if (options.sharedRows == nullptr) options.sharedRows = std::make_shared<CoefficientRows>();
        splitter_ = std::make_unique<ChannelSplitter>(source);
        left_ = std::make_unique<MonoResampler>(&splitter_->Left(), options);
        right_ = std::make_unique<MonoResampler>(&splitter_->Right(), options);
        merger_ = std::make_unique<StereoMerger>(*left_, *right_);
        format_ = merger_->Format();
        break;
      default:
        break;
    }
  } catch (const std::bad_alloc&) {
    left_.reset();  // Setup fails without it
  }
}

int32_t RateConverter::Setup(int32_t targetRate, int32_t taps, int32_t tablePhaseLimit,
                             int32_t tableSizeLimit) {
  bool ready =
      left_ != nullptr && left_->Setup(targetRate, taps, tablePhaseLimit, tableSizeLimit) == 0;
  if (ready && stereo_) {
    ready = right_ != nullptr && merger_ != nullptr &&
            right_->Setup(targetRate, taps, tablePhaseLimit, tableSizeLimit) == 0;
  }
  if (!ready) {
    format_.channels = 0;
    return -1;
  }
  const SourceFormat& resampled = left_->Format();
  const int64_t dataBytes = int64_t{format_.channels} * resampled.frameCount * 2;
  if (dataBytes > INT32_MAX) {
    format_.channels = 0;
    return -1;
  }
  format_.sampleRate = resampled.sampleRate;
  format_.frameCount = resampled.frameCount;
  format_.dataBytes = static_cast<int32_t>(dataBytes);
  format_.dataOffset = 0;
  return 0;
}

int32_t RateConverter::Read(int16_t* dst, int32_t frames) {
  if (stereo_) return merger_ != nullptr ? merger_->Read(dst, frames) : -1;
  return left_ != nullptr ? left_->Read(dst, frames) : -1;
}

}  // namespace pelorin
