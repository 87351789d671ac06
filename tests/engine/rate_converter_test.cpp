#include "engine/rate_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <numbers>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "audiofile/memory_stream.h"
#include "audiofile/wav_reader.h"
#include "engine/mono_resampler.h"
#include "engine/resample_kernel.h"
#include "engine/sinc_filter.h"
#include "support/image_builder.h"
#include "support/reference_resampler.h"

namespace pelorin {
namespace {

using namespace test;

constexpr int32_t kPhaseLimit = 640;
constexpr int32_t kSizeLimit = 81920;

// A 16-bit WAV image held in memory and read through a WavReader.
class WavSource {
 public:
  WavSource(uint32_t channels, uint32_t rate, const std::vector<int16_t>& samples)
      : image_(WavImage(channels, rate, 16, Pcm16LE(samples))),
        stream_(image_.data(), int32_t(image_.size())),
        reader_(stream_) {}
  WavReader& Reader() { return reader_; }

 private:
  Bytes image_;
  MemoryStream stream_;
  WavReader reader_;
};

// Reads a source to its end in chunks of the given number of frames.
std::vector<int16_t> ReadAll(SampleSource& source, int32_t channels, int32_t chunk) {
  std::vector<int16_t> out;
  std::vector<int16_t> buffer(size_t(chunk) * channels);
  for (;;) {
    const int32_t got = source.Read(buffer.data(), chunk);
    EXPECT_GE(got, 0);
    if (got <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + got * channels);
  }
  return out;
}

std::vector<int16_t> ResampleMono(const std::vector<int16_t>& samples, int32_t from, int32_t to,
                                  int32_t chunk = 100000, int32_t taps = 256,
                                  ResamplerOptions options = {}) {
  WavSource source(1, from, samples);
  MonoResampler resampler(&source.Reader(), options);
  EXPECT_EQ(resampler.Setup(to, taps, kPhaseLimit, kSizeLimit), 0);
  return ReadAll(resampler, 1, chunk);
}

std::vector<int16_t> ResampleStereo(const std::vector<int16_t>& samples, int32_t from, int32_t to,
                                    int32_t chunk = 100000, ResamplerOptions options = {}) {
  WavSource source(2, from, samples);
  RateConverter converter(source.Reader(), options);
  EXPECT_EQ(converter.Setup(to, 256, kPhaseLimit, kSizeLimit), 0);
  return ReadAll(converter, 2, chunk);
}

// Tests that read outputs run once per kernel: each must give the plain sum's bits.
class OnEachKernel : public ::testing::TestWithParam<ResampleKernel> {
 protected:
  void SetUp() override {
    if (!ResampleKernelAvailable(GetParam())) {
      GTEST_SKIP() << "this processor lacks the instructions";
    }
  }
  // Options for this kernel; the cache limit as given.
  ResamplerOptions Options(int64_t cacheLimit = ResamplerOptions().cacheLimit) const {
    ResamplerOptions options;
    options.cacheLimit = cacheLimit;
    options.kernel = GetParam();
    return options;
  }
  std::vector<int16_t> Mono(const std::vector<int16_t>& samples, int32_t from, int32_t to,
                            int32_t chunk = 100000, int32_t taps = 256) const {
    return ResampleMono(samples, from, to, chunk, taps, Options());
  }
  std::vector<int16_t> Stereo(const std::vector<int16_t>& samples, int32_t from, int32_t to,
                              int32_t chunk = 100000,
                              int64_t cacheLimit = ResamplerOptions().cacheLimit) const {
    return ResampleStereo(samples, from, to, chunk, Options(cacheLimit));
  }
};
using MonoResamplerOnEachKernel = OnEachKernel;
using RateConverterOnEachKernel = OnEachKernel;

std::string KernelName(const ::testing::TestParamInfo<ResampleKernel>& info) {
  return info.param == ResampleKernel::kAvx2 ? "avx2" : "portable";
}
INSTANTIATE_TEST_SUITE_P(, MonoResamplerOnEachKernel,
                         ::testing::Values(ResampleKernel::kPortable, ResampleKernel::kAvx2),
                         KernelName);
INSTANTIATE_TEST_SUITE_P(, RateConverterOnEachKernel,
                         ::testing::Values(ResampleKernel::kPortable, ResampleKernel::kAvx2),
                         KernelName);

TEST(SincFilter, FunctionValues) {
  EXPECT_EQ(Sinc(0.0), 1.0);
  EXPECT_EQ(Sinc(9e-11), 1.0);
  EXPECT_EQ(Sinc(-9e-11), 1.0);
  EXPECT_EQ(Sinc(1e-10), std::sin(1e-10) / 1e-10);
  EXPECT_NEAR(Sinc(std::numbers::pi), 0.0, 1e-15);
  EXPECT_NEAR(Sinc(std::numbers::pi / 2), 2 / std::numbers::pi, 1e-15);

  EXPECT_NEAR(BlackmanWindow(0.0), 1.0, 1e-15);
  EXPECT_NEAR(BlackmanWindow(0.5), 0.0, 1e-15);
  EXPECT_NEAR(BlackmanWindow(-0.5), 0.0, 1e-15);
  EXPECT_NEAR(BlackmanWindow(0.2), BlackmanWindow(-0.2), 1e-15);

  // The response interpolates at fc = 0.5 and has unity gain at zero frequency.
  EXPECT_NEAR(ImpulseResponse(0.0, 0.5, 256), 1.0, 1e-15);
  EXPECT_NEAR(ImpulseResponse(3.0, 0.5, 256), 0.0, 1e-15);
  double sum = 0.0;
  for (int k = -128 * 80 + 1; k <= 128 * 80; ++k) sum += ImpulseResponse(k / 80.0, 40.0 / 441, 256);
  EXPECT_NEAR(sum / 80.0, 1.0, 1e-5);
}

TEST_P(MonoResamplerOnEachKernel, ConstantSignalDownAndUp) {
  const std::vector<int16_t> down = Mono(std::vector<int16_t>(2000, 1000), 8000, 4000);
  ASSERT_EQ(down.size(), 1000u);
  EXPECT_EQ(down.front(), 750);  // half of the window lies before the signal
  for (size_t i = 200; i < 800; ++i) ASSERT_EQ(down[i], 1000) << i;

  const std::vector<int16_t> up = Mono(std::vector<int16_t>(2000, 1000), 4000, 8000);
  ASSERT_EQ(up.size(), 4000u);
  EXPECT_EQ(up.front(), 1000);
  EXPECT_EQ(up.back(), 500);  // half a source sample after the end
  for (size_t i = 400; i < 3600; ++i) ASSERT_EQ(up[i], 1000) << i;
}

TEST_P(MonoResamplerOnEachKernel, DoublingKeepsSourceSamplesButMovesNegativesUp) {
  const std::vector<int16_t> source = {0, 1, -1, 1900, -1900, 32767, -32768, 5, -5, 0};
  const std::vector<int16_t> out = Mono(source, 4000, 8000);
  ASSERT_EQ(out.size(), 2 * source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    const int expected = source[i] < 0 ? source[i] + 1 : source[i];
    EXPECT_EQ(out[2 * i], expected) << "source sample " << i;
  }
}

TEST(MonoResampler, TableDependsOnTheReducedRatio) {
  struct Case {
    int32_t from, to, taps;
    bool table;
    int32_t size;
  };
  const Case cases[] = {
      {44100, 8000, 256, true, 10240},
      {11025, 8000, 256, true, 40960},
      {48000, 4000, 256, true, 128},
      {8000, 4000, 256, true, 128},
      {7999, 8000, 256, false, 0},
      {22254, 8000, 256, false, 0},
      {47999, 4000, 256, false, 0},
      {8000, 44100, 256, true, 56448},
      {1, 640, 256, true, 81920},
      {1, 641, 256, false, 0},
      // Under the phase limit but over the size limit.
      {1, 640, 512, false, 0},
  };
  for (const Case& c : cases) {
    WavSource source(1, c.from, std::vector<int16_t>(100));
    MonoResampler resampler(&source.Reader());
    ASSERT_EQ(resampler.Setup(c.to, c.taps, kPhaseLimit, kSizeLimit), 0) << c.from;
    EXPECT_EQ(resampler.TableInUse(), c.table) << c.from << " -> " << c.to;
    EXPECT_EQ(resampler.TableSize(), c.size) << c.from << " -> " << c.to;
  }
}

TEST_P(MonoResamplerOnEachKernel, OutputLengthAndFormat) {
  WavSource source(1, 44100, std::vector<int16_t>(4410, 7));
  MonoResampler resampler(&source.Reader(), Options());
  ASSERT_EQ(resampler.Setup(8000, 256, kPhaseLimit, kSizeLimit), 0);
  EXPECT_EQ(resampler.Format().sampleRate, 8000);
  EXPECT_EQ(resampler.Format().frameCount, 800);
  EXPECT_EQ(resampler.Format().dataBytes, 1600);
  EXPECT_EQ(resampler.Format().dataOffset, 0);
  EXPECT_EQ(ReadAll(resampler, 1, 333).size(), 800u);

  // ceil(S x L / M) for lengths that do not divide evenly.
  for (int frames : {1, 2, 5, 6, 441, 442, 1000}) {
    EXPECT_EQ(Mono(std::vector<int16_t>(size_t(frames), 1), 44100, 8000).size(),
              size_t(std::ceil(frames * 8000.0 / 44100)))
        << frames;
  }
  EXPECT_TRUE(Mono({}, 44100, 8000).empty());
}

TEST_P(MonoResamplerOnEachKernel, ClampsAtPlusAndMinus32767) {
  std::vector<int16_t> square;
  for (int i = 0; i < 4000; ++i) square.push_back((i / 100) % 2 ? -32768 : 32767);
  const std::vector<int16_t> out = Mono(square, 44100, 8000);
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 32767);
  EXPECT_EQ(*std::min_element(out.begin(), out.end()), -32767);
}

TEST_P(MonoResamplerOnEachKernel, ReadOfNothingAndReadsAfterTheEnd) {
  const std::vector<int16_t> signal = TestSignal(3000);
  const std::vector<int16_t> expected = Mono(signal, 22050, 8000);
  WavSource source(1, 22050, signal);
  MonoResampler resampler(&source.Reader(), Options());
  ASSERT_EQ(resampler.Setup(8000, 256, kPhaseLimit, kSizeLimit), 0);
  int16_t sample = 123;
  EXPECT_EQ(resampler.Read(&sample, 0), 0);
  EXPECT_EQ(sample, 123);
  EXPECT_EQ(resampler.Read(nullptr, 1), -1);
  EXPECT_EQ(resampler.Read(&sample, -1), -1);
  EXPECT_EQ(ReadAll(resampler, 1, 7), expected);
  EXPECT_EQ(resampler.Read(&sample, 1), 0);
  EXPECT_EQ(resampler.Read(&sample, 1), 0);
}

TEST(MonoResampler, VectorKernelRoundsEachProductAndSumApart) {
  if (!ResampleKernelAvailable(ResampleKernel::kAvx2)) GTEST_SKIP() << "no AVX2 here";
  // -1998 + 3c is exactly 0.5 once 3c is rounded, just below it when fused into one rounding:
  // a fused multiply-add gives 0 here instead of 1. Slots 0..3 go through the four-slot loop,
  // slot 4 through the one for the rest.
  constexpr double c = 0x1.4d15555555555p+9;
  const double rows[] = {1, c, 1, c, 1, c, 1, c, 1, c};
  std::vector<double> lanes(kLanes, -1998.0);
  lanes.resize(2 * kLanes, 3.0);
  const int32_t starts[] = {0, 0, 0, 0, 0};
  int16_t out[5 * kLanes] = {};
  LaneSums job;
  job.rows = rows;
  job.taps = 2;
  job.lanes = lanes.data();
  job.starts = starts;
  job.count = 5;
  job.stride = 5;
  job.out = out;
  ComputeLaneSumsAvx2(job);
  EXPECT_EQ(RoundSum(-1998.0 + 3.0 * c), 1);
  for (int16_t sample : out) EXPECT_EQ(sample, 1);
}

TEST(RateConverter, SetupFailures) {
  struct Case {
    const char* what;
    uint32_t channels;
    uint32_t rate;
    int32_t target;
    int32_t taps;
  };
  const Case cases[] = {
      {"target 0", 1, 8000, 0, 256},
      {"negative target", 1, 8000, -8000, 256},
      {"target above 1000000", 1, 8000, 1000001, 256},
      {"1 tap", 1, 8000, 4000, 1},
      {"0 taps", 1, 8000, 4000, 0},
      {"negative taps", 2, 8000, 4000, -2},
      {"source rate 0", 1, 0, 8000, 256},
      {"3 channels", 3, 8000, 4000, 256},
      // 48 source samples per output against a history moved by 3 x 4 samples per refill.
      {"ratio beyond the history", 1, 48000, 1000, 4},
  };
  for (const Case& c : cases) {
    WavSource source(c.channels, c.rate, std::vector<int16_t>(300 * c.channels, 5));
    RateConverter converter(source.Reader());
    EXPECT_EQ(converter.Setup(c.target, c.taps, kPhaseLimit, kSizeLimit), -1) << c.what;
    EXPECT_EQ(converter.Format().channels, 0) << c.what;
    int16_t buffer[8] = {};
    EXPECT_EQ(converter.Read(buffer, 2), -1) << c.what;
  }
  // The largest accepted values of the same kinds.
  for (auto [rate, target, taps] : {std::tuple{8000, 1000000, 2}, std::tuple{48000, 1000, 16}}) {
    WavSource source(1, uint32_t(rate), std::vector<int16_t>(300, 5));
    RateConverter converter(source.Reader());
    EXPECT_EQ(converter.Setup(target, taps, kPhaseLimit, kSizeLimit), 0) << target;
  }
}

TEST(MonoResampler, SetupRefusesAMissingOrStereoSourceAndASecondCall) {
  MonoResampler none(nullptr);
  EXPECT_EQ(none.Setup(8000, 256, kPhaseLimit, kSizeLimit), -1);

  WavSource stereo(2, 8000, std::vector<int16_t>(600));
  MonoResampler onStereo(&stereo.Reader());
  EXPECT_EQ(onStereo.Setup(4000, 256, kPhaseLimit, kSizeLimit), -1);

  WavSource mono(1, 8000, std::vector<int16_t>(600));
  MonoResampler twice(&mono.Reader());
  EXPECT_EQ(twice.Setup(4000, 256, kPhaseLimit, kSizeLimit), 0);
  EXPECT_EQ(twice.Setup(4000, 256, kPhaseLimit, kSizeLimit), -1);
}

TEST(RateConverter, FormatAfterSetup) {
  WavSource source(2, 22050, std::vector<int16_t>(2 * 1000));
  RateConverter converter(source.Reader());
  ASSERT_EQ(converter.Setup(8000, 256, kPhaseLimit, kSizeLimit), 0);
  const SourceFormat& f = converter.Format();
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.sampleRate, 8000);
  EXPECT_EQ(f.frameCount, 363);  // ceil(1000 x 8000 / 22050)
  EXPECT_EQ(f.dataBytes, 4 * 363);
  EXPECT_EQ(f.dataOffset, 0);
}

// Rate pairs with and without a coefficient table, up and down, with 256 taps.
struct RatePair {
  int32_t from, to;
};
const RatePair kRatePairs[] = {
    {44100, 8000}, {48000, 4000}, {11025, 8000}, {4000, 8000},  {8000, 44100},
    {22254, 8000}, {7999, 8000},  {11127, 4000}, {47999, 8000}, {8000, 7999},
};

TEST_P(RateConverterOnEachKernel, MonoMatchesThePlainSumBitForBit) {
  for (const RatePair& p : kRatePairs) {
    const std::vector<int16_t> signal = TestSignal(size_t(p.from) / 40);
    const std::vector<int16_t> expected = ReferenceResample(signal, p.from, p.to, 256);
    EXPECT_EQ(Mono(signal, p.from, p.to), expected) << p.from << " -> " << p.to;
    // Reads of odd sizes cut the runs of outputs differently.
    EXPECT_EQ(Mono(signal, p.from, p.to, 13), expected) << p.from << " -> " << p.to;
  }
  // Clips ending at every remainder of the four phases summed together, in each lane of a span
  // and after several spans: 44100 -> 8000 has 80 phases, 640 outputs to a span of 3528
  // samples; 8000 -> 44100 with 512 taps has 441 phases, no table and spans of 640 samples.
  for (int32_t outputs : {1, 2, 3, 4, 5, 6, 7, 81, 243, 402, 563, 639, 640, 641, 1923}) {
    const std::vector<int16_t> clip = TestSignal(size_t(outputs) * 441 / 80, 3);
    EXPECT_EQ(Mono(clip, 44100, 8000, 13), ReferenceResample(clip, 44100, 8000, 256)) << outputs;
  }
  const std::vector<int16_t> clip = TestSignal(700, 4);
  EXPECT_EQ(Mono(clip, 8000, 44100, 100, 512), ReferenceResample(clip, 8000, 44100, 512));
}

TEST_P(RateConverterOnEachKernel, StereoMatchesThePlainSumBitForBit) {
  for (const RatePair& p : kRatePairs) {
    const std::vector<int16_t> signal = TestSignal(2 * (size_t(p.from) / 50), 777);
    const std::vector<int16_t> expected = ReferenceResampleStereo(signal, p.from, p.to, 256);
    EXPECT_EQ(Stereo(signal, p.from, p.to), expected) << p.from << " -> " << p.to;
    EXPECT_EQ(Stereo(signal, p.from, p.to, 29), expected) << p.from << " -> " << p.to;
  }
}

TEST_P(RateConverterOnEachKernel, OtherTapCountsMatchThePlainSum) {
  // Long enough for 22050 -> 8000 to cross spans, where few taps make every sample count.
  const std::vector<int16_t> signal = TestSignal(4000);
  for (int32_t taps : {2, 3, 16, 33, 64}) {
    EXPECT_EQ(Mono(signal, 22050, 8000, 100000, taps), ReferenceResample(signal, 22050, 8000, taps))
        << taps;
    EXPECT_EQ(Mono(signal, 8000, 22254, 100000, taps), ReferenceResample(signal, 8000, 22254, taps))
        << taps;
  }
}

TEST_P(RateConverterOnEachKernel, CachedAndDirectCoefficientsGiveTheSameOutput) {
  for (const RatePair& p : kRatePairs) {
    const std::vector<int16_t> mono = TestSignal(size_t(p.from) / 25, 99);
    WavSource source(1, p.from, mono);
    MonoResampler direct(&source.Reader(), Options(0));
    ASSERT_EQ(direct.Setup(p.to, 256, kPhaseLimit, kSizeLimit), 0);
    EXPECT_FALSE(direct.CacheInUse());
    EXPECT_FALSE(direct.SpansInUse());  // the kernel reads whole rows
    EXPECT_EQ(ReadAll(direct, 1, 1000), Mono(mono, p.from, p.to)) << p.from << " -> " << p.to;

    const std::vector<int16_t> stereo = TestSignal(2 * (size_t(p.from) / 50), 5);
    EXPECT_EQ(Stereo(stereo, p.from, p.to, 1000, 0), Stereo(stereo, p.from, p.to))
        << p.from << " -> " << p.to;
  }
  // The default limit covers every pair of a 4000 or 8000 Hz target.
  WavSource source(1, 47999, std::vector<int16_t>(100));
  MonoResampler cached(&source.Reader(), Options());
  ASSERT_EQ(cached.Setup(8000, 256, kPhaseLimit, kSizeLimit), 0);
  EXPECT_TRUE(cached.CacheInUse());
  EXPECT_EQ(cached.SpansInUse(), GetParam() == ResampleKernel::kAvx2);
}

TEST_P(RateConverterOnEachKernel, ResamplersOfOneRatioShareTheirCoefficientsAcrossThreads) {
  // Both are set up before either reads, so they hold the same rows and fill them together; a
  // third of another ratio given the same rows keeps rows of its own.
  for (const RatePair& p : {RatePair{22254, 8000}, RatePair{44100, 8000}}) {
    const std::vector<int16_t> first = TestSignal(size_t(p.from) / 8, 1);
    const std::vector<int16_t> second = TestSignal(size_t(p.from) / 9, 2);
    WavSource firstSource(1, p.from, first);
    WavSource secondSource(1, p.from, second);
    WavSource otherSource(1, 11025, first);
    ResamplerOptions shared = Options();
    shared.sharedRows = std::make_shared<CoefficientRows>();
    MonoResampler a(&firstSource.Reader(), shared);
    MonoResampler b(&secondSource.Reader(), shared);
    MonoResampler other(&otherSource.Reader(), shared);
    ASSERT_EQ(other.Setup(p.to, 256, kPhaseLimit, kSizeLimit), 0);
    EXPECT_EQ(ReadAll(other, 1, 100), ReferenceResample(first, 11025, p.to, 256));
    ASSERT_EQ(a.Setup(p.to, 256, kPhaseLimit, kSizeLimit), 0);
    ASSERT_EQ(b.Setup(p.to, 256, kPhaseLimit, kSizeLimit), 0);
    std::vector<int16_t> fromA;
    std::thread reader([&] { fromA = ReadAll(a, 1, 61); });
    const std::vector<int16_t> fromB = ReadAll(b, 1, 64);
    reader.join();
    EXPECT_EQ(fromA, ReferenceResample(first, p.from, p.to, 256)) << p.from;
    EXPECT_EQ(fromB, ReferenceResample(second, p.from, p.to, 256)) << p.from;
  }
}

// Without the table, a row and the row of the opposite phase are filled together from shared
// sine values: every coefficient must still be the response at its own offset, bit for bit.
TEST_P(RateConverterOnEachKernel, RowsHoldTheResponseAtEachOffsetBitForBit) {
  constexpr int32_t kTaps = 256;
  for (const RatePair& p : {RatePair{22254, 8000}, RatePair{9001, 4000}}) {
    const int32_t divisor = std::gcd(p.from, p.to);
    const int32_t l = p.to / divisor;
    const int32_t m = p.from / divisor;
    const double cutoff = double(l) * 0.5 / double(m);
    ResamplerOptions options = Options();
    options.sharedRows = std::make_shared<CoefficientRows>();
    // Long enough for every phase to come up.
    ResampleMono(TestSignal(size_t(m) * 2, 3), p.from, p.to, 997, kTaps, options);
    const double* rows = options.sharedRows->Values();
    for (int32_t slot = 0; slot < l; ++slot) {
      const int32_t phase = static_cast<int32_t>(int64_t{slot} * m % l);
      for (int32_t i = 0; i < kTaps; ++i) {
        const int32_t k = -phase - (kTaps / 2 - 1) * l + i * l;
        const double expected =
            k == 0 ? 2.0 * cutoff : ImpulseResponse(double(k) / l, cutoff, kTaps);
        ASSERT_EQ(std::bit_cast<uint64_t>(rows[int64_t{slot} * kTaps + i]),
                  std::bit_cast<uint64_t>(expected))
            << p.from << " slot " << slot << " tap " << i;
      }
    }
  }
}

TEST_P(RateConverterOnEachKernel, IdenticalStereoChannelsGiveIdenticalOutputs) {
  const std::vector<int16_t> mono = TestSignal(2000);
  std::vector<int16_t> stereo;
  for (int16_t s : mono) {
    stereo.push_back(s);
    stereo.push_back(s);
  }
  const std::vector<int16_t> expected = Mono(mono, 11025, 8000);
  const std::vector<int16_t> out = Stereo(stereo, 11025, 8000, 50);
  ASSERT_EQ(out.size(), 2 * expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(out[2 * i], expected[i]) << i;
    ASSERT_EQ(out[2 * i + 1], expected[i]) << i;
  }
}

// Delivers a fixed number of frames of silence, then fails.
class FailingSource : public SampleSource {
 public:
  explicit FailingSource(int32_t frames) : left_(frames) {
    format_.channels = 1;
    format_.bitsPerSample = 16;
    format_.bytesPerSample = 2;
    format_.blockAlign = 2;
    format_.sampleRate = 8000;
    format_.frameCount = 10000;
    format_.dataBytes = 20000;
  }
  int32_t Read(int16_t* dst, int32_t frames) override {
    if (left_ == 0) return -7;
    const int32_t n = std::min(frames, left_);
    std::fill(dst, dst + n, int16_t{0});
    left_ -= n;
    return n;
  }
  int32_t ReadBytes(uint8_t*, int32_t) override { return -1; }
  int32_t Rewind() override { return -1; }

 private:
  int32_t left_;
};

TEST_P(MonoResamplerOnEachKernel, SourceFailureIsReportedAndSticks) {
  FailingSource source(1000);
  MonoResampler resampler(&source, Options());
  ASSERT_EQ(resampler.Setup(4000, 256, kPhaseLimit, kSizeLimit), 0);
  std::vector<int16_t> out(5000);
  EXPECT_EQ(resampler.Read(out.data(), 100), 100);
  EXPECT_EQ(resampler.Read(out.data(), 5000), -7);
  EXPECT_EQ(resampler.Read(out.data(), 1), -1);
}

TEST(ChannelSplitter, RightChannelGetsWhatTheLeftFetched) {
  WavSource source(2, 8000, {1, -1, 2, -2, 3, -3, 4, -4});
  ChannelSplitter splitter(source.Reader());
  EXPECT_EQ(splitter.Left().Format().channels, 1);
  EXPECT_EQ(splitter.Left().Format().blockAlign, 2);
  EXPECT_EQ(splitter.Left().Format().dataBytes, 8);
  int16_t buffer[4] = {};
  EXPECT_EQ(splitter.Right().Read(buffer, 4), 0);  // nothing fetched yet
  EXPECT_EQ(splitter.Left().Read(buffer, 3), 3);
  EXPECT_EQ(std::vector<int16_t>(buffer, buffer + 3), (std::vector<int16_t>{1, 2, 3}));
  EXPECT_EQ(splitter.Right().Read(buffer, 4), 3);
  EXPECT_EQ(std::vector<int16_t>(buffer, buffer + 3), (std::vector<int16_t>{-1, -2, -3}));
  EXPECT_EQ(splitter.Left().Read(buffer, 4), 1);
  EXPECT_EQ(splitter.Right().Read(buffer, 4), 1);
  EXPECT_EQ(buffer[0], -4);
  EXPECT_EQ(splitter.Left().Read(buffer, 4), 0);
  EXPECT_EQ(splitter.ReadChannel(buffer, 2, 1), -1);
}

TEST(StereoMerger, ReadOfNothingGivesNothing) {
  WavSource source(2, 8000, TestSignal(400));
  RateConverter converter(source.Reader());
  ASSERT_EQ(converter.Setup(4000, 256, kPhaseLimit, kSizeLimit), 0);
  int16_t buffer[2] = {};
  EXPECT_EQ(converter.Read(buffer, 0), 0);
  EXPECT_EQ(converter.Read(nullptr, 1), -1);
  EXPECT_EQ(ReadAll(converter, 2, 64).size(), 2u * 100u);
}

}  // namespace
}  // namespace pelorin
