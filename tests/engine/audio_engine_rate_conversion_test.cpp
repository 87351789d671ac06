#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

#include "audiofile/memory_stream.h"
#include "audiofile/wav_reader.h"
#include "engine/audio_engine.h"
#include "engine/clip_source.h"
#include "engine/conversion_split.h"
#include "engine/rate_converter.h"
#include "support/image_builder.h"
#include "support/reference_resampler.h"

namespace pelorin {
namespace {

using namespace test;

void LoadClip(AudioEngine& engine, uint32_t channels, uint32_t rate,
              const std::vector<int16_t>& samples) {
  const Bytes image = WavImage(channels, rate, 16, Pcm16LE(samples));
  ASSERT_EQ(engine.Load(0, image.data(), int32_t(image.size())), kOk);
}

// The whole clip an engine holds: the samples held, then silence to the frame count.
std::vector<int16_t> WholeClip(const AudioEngine& engine) {
  std::vector<int16_t> clip = engine.Samples();
  clip.resize(size_t(engine.Format().frameCount) * engine.Format().channels, 0);
  return clip;
}

// Checks a converted clip against the plain sum: format and samples.
void ExpectConverted(const AudioEngine& engine, uint16_t channels, int32_t from, int32_t to,
                     const std::vector<int16_t>& source) {
  const std::vector<int16_t> expected = channels == 2
                                            ? ReferenceResampleStereo(source, from, to, 256)
                                            : ReferenceResample(source, from, to, 256);
  const PcmFormat& f = engine.Format();
  EXPECT_EQ(f.sampleRate, to);
  EXPECT_EQ(f.channels, channels);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.blockAlign, 2 * channels);
  EXPECT_EQ(size_t(f.frameCount) * channels, expected.size());
  EXPECT_EQ(f.byteCount, 2 * int32_t(expected.size()));
  EXPECT_LE(engine.Samples().size(), expected.size());
  EXPECT_EQ(WholeClip(engine), expected);
}

TEST(ConvertRate, ToTheCurrentRateChangesNothing) {
  AudioEngine engine;
  const std::vector<int16_t> samples = TestSignal(800);
  LoadClip(engine, 1, 8000, samples);
  EXPECT_EQ(engine.ConvertRate(8000, 256), kOk);
  EXPECT_EQ(engine.Samples(), samples);
  EXPECT_EQ(engine.Format().frameCount, 800);
  EXPECT_EQ(engine.Format().sampleRate, 8000);
}

TEST(ConvertRate, MonoHalvingHalvesTheFrames) {
  AudioEngine engine;
  const std::vector<int16_t> samples = TestSignal(2000);
  LoadClip(engine, 1, 8000, samples);
  ASSERT_EQ(engine.ConvertRate(4000, 256), kOk);
  EXPECT_EQ(engine.Format().frameCount, 1000);
  EXPECT_EQ(engine.Format().byteCount, 2000);
  EXPECT_EQ(engine.Format().sampleRate, 4000);
  ExpectConverted(engine, 1, 8000, 4000, samples);
}

TEST(ConvertRate, StereoStaysStereo) {
  AudioEngine engine;
  const std::vector<int16_t> samples = TestSignal(2 * 1000);
  LoadClip(engine, 2, 22050, samples);
  ASSERT_EQ(engine.ConvertRate(8000, 256), kOk);
  EXPECT_EQ(engine.Format().channels, 2);
  EXPECT_EQ(engine.Format().blockAlign, 4);
  EXPECT_EQ(engine.Format().frameCount, 363);
  ExpectConverted(engine, 2, 22050, 8000, samples);
}

TEST(ConvertRate, RefusedArgumentsLeaveTheClipUntouched) {
  struct Case {
    int32_t target;
    int32_t taps;
  };
  for (const Case& c :
       {Case{0, 256}, Case{-4000, 256}, Case{1000001, 256}, Case{4000, 1}, Case{4000, -256}}) {
    AudioEngine engine;
    const std::vector<int16_t> samples = TestSignal(2 * 400);
    LoadClip(engine, 2, 8000, samples);
    EXPECT_EQ(engine.ConvertRate(c.target, c.taps), kFailed) << c.target << " " << c.taps;
    EXPECT_EQ(engine.Samples(), samples);
    EXPECT_EQ(engine.Format().sampleRate, 8000);
    EXPECT_EQ(engine.Format().frameCount, 400);
    EXPECT_EQ(engine.Format().byteCount, 1600);
  }
  AudioEngine empty;
  EXPECT_EQ(empty.ConvertRate(8000, 256), kFailed);
}

TEST(ConvertRate, EveryRateClassMatchesThePlainSum) {
  const int32_t rates[] = {4000,  8000,  11025, 11127, 16000, 22050,
                           22254, 32000, 44100, 47999, 48000};
  for (int32_t from : rates) {
    for (int32_t to : {4000, 8000}) {
      if (from == to) continue;
      SCOPED_TRACE(testing::Message() << from << " -> " << to);
      const std::vector<int16_t> mono = TestSignal(size_t(from) / 25, uint32_t(from));
      AudioEngine engine;
      LoadClip(engine, 1, uint32_t(from), mono);
      ASSERT_EQ(engine.ConvertRate(to, 256), kOk);
      ExpectConverted(engine, 1, from, to, mono);
    }
  }
  for (int32_t from : {11025, 22254, 44100, 47999}) {
    SCOPED_TRACE(testing::Message() << "stereo " << from);
    const std::vector<int16_t> stereo = TestSignal(2 * (size_t(from) / 40), 3);
    AudioEngine engine;
    LoadClip(engine, 2, uint32_t(from), stereo);
    ASSERT_EQ(engine.ConvertRate(8000, 256), kOk);
    ExpectConverted(engine, 2, from, 8000, stereo);
  }
}

TEST(ConvertRate, TwoSecondsOfStereoMixedDownAsTheWorkflowDoes) {
  // 88200 frames at 44100 Hz become 16000 frames at 8000 Hz.
  AudioEngine engine;
  LoadClip(engine, 2, 44100, std::vector<int16_t>(2 * 88200, 1000));
  ASSERT_EQ(engine.MixDown(0), kOk);
  ASSERT_EQ(engine.ConvertRate(8000, 256), kOk);
  EXPECT_EQ(engine.Format().frameCount, 16000);
  EXPECT_EQ(engine.Format().byteCount, 32000);
  ASSERT_EQ(engine.Samples().size(), 16000u);
  EXPECT_EQ(engine.Samples()[8000], 1000);
}

TEST(ConvertRate, ConversionToAFewFramesGivesThemAll) {
  // 100 frames at 4000 Hz to 10 Hz: one output frame of two samples.
  AudioEngine engine;
  const std::vector<int16_t> samples = TestSignal(2 * 100);
  LoadClip(engine, 2, 4000, samples);
  ASSERT_EQ(engine.ConvertRate(10, 256), kOk);
  EXPECT_EQ(engine.Format().frameCount, 1);
  ExpectConverted(engine, 2, 4000, 10, samples);
}

// The conversion by one chain over a WAV image of the engine's whole clip, read in one call:
// what ConvertRate must give, however it shares the work and whatever it leaves out as silence.
struct SingleChain {
  std::vector<int16_t> samples;
  SourceFormat format;
};

SingleChain ConvertInOneChain(const AudioEngine& engine, int32_t targetRate) {
  Bytes image;
  EXPECT_EQ(engine.WriteWavImage(image), kOk);
  MemoryStream stream(image.data(), int32_t(image.size()));
  WavReader reader(stream);
  RateConverter converter(reader);
  EXPECT_EQ(converter.Setup(targetRate, 256, 640, 81920), 0);
  SingleChain out;
  out.format = converter.Format();
  out.samples.assign(size_t(out.format.frameCount) * out.format.channels, 0);
  EXPECT_EQ(converter.Read(out.samples.data(), out.format.frameCount), out.format.frameCount);
  return out;
}

void ExpectSameAsOneChain(AudioEngine& engine, int32_t targetRate) {
  const SingleChain expected = ConvertInOneChain(engine, targetRate);
  ASSERT_EQ(engine.ConvertRate(targetRate, 256), kOk);
  const PcmFormat& f = engine.Format();
  EXPECT_EQ(f.sampleRate, expected.format.sampleRate);
  EXPECT_EQ(f.channels, expected.format.channels);
  EXPECT_EQ(f.bitsPerSample, expected.format.bitsPerSample);
  EXPECT_EQ(f.blockAlign, expected.format.blockAlign);
  EXPECT_EQ(f.byteCount, expected.format.dataBytes);
  EXPECT_EQ(f.frameCount, expected.format.frameCount);
  const std::vector<int16_t> clip = WholeClip(engine);
  ASSERT_EQ(clip.size(), expected.samples.size());
  // Compared as a whole, then the first difference, so that a failure says where.
  if (clip != expected.samples) {
    const auto mismatch = std::mismatch(clip.begin(), clip.end(), expected.samples.begin());
    ADD_FAILURE() << "first difference at sample " << (mismatch.first - clip.begin()) << " of "
                  << expected.samples.size();
  }
}

TEST(ConversionSplit, OnlyLongClipsWithAStartFarEnoughBack) {
  EXPECT_FALSE(PlanConversionSplit(2 * 44100 - 1, 44100, 8000, 256));
  EXPECT_TRUE(PlanConversionSplit(2 * 44100, 44100, 8000, 256));
  EXPECT_FALSE(PlanConversionSplit(10 * 44100, 44100, 8000, 1));
  EXPECT_FALSE(PlanConversionSplit(10 * 44100, 0, 8000, 256));
  // M = 44101: the only multiple of M before the middle of 2 s is 0, the clip's own start.
  EXPECT_FALSE(PlanConversionSplit(2 * 44101, 44101, 8000, 256));
  EXPECT_TRUE(PlanConversionSplit(3 * 44101, 44101, 8000, 256));

  struct Case {
    int32_t frames, from, to, taps;
  };
  for (const Case& c : {Case{88200, 44100, 8000, 256}, Case{600 * 44100 + 3, 44100, 8000, 256},
                        Case{2 * 22254 + 1, 22254, 8000, 256}, Case{96001, 48000, 4000, 64},
                        Case{16000, 8000, 4000, 257}, Case{30 * 47999, 47999, 8000, 256}}) {
    SCOPED_TRACE(testing::Message() << c.frames << " frames " << c.from << " -> " << c.to);
    const std::optional<ConversionSplit> plan = PlanConversionSplit(c.frames, c.from, c.to, c.taps);
    ASSERT_TRUE(plan);
    const int64_t divisor = std::gcd(c.from, c.to);
    const int64_t m = c.from / divisor, l = c.to / divisor, n = c.taps & ~1;
    const int64_t outputs = (int64_t{c.frames} * l + m - 1) / m;
    EXPECT_EQ(plan->splitOutput, outputs / 2);
    // Same phases: the second chain starts on a multiple of M ...
    EXPECT_GT(plan->tailStart, 0);
    EXPECT_EQ(plan->tailStart % m, 0);
    // ... at least N frames before the instant of the first output it keeps ...
    EXPECT_LE(int64_t{plan->tailStart} * l, int64_t{plan->splitOutput} * m - n * l);
    // ... which is its own output number tailSkip.
    EXPECT_EQ(int64_t{plan->tailSkip} * m, int64_t{plan->splitOutput} * m - plan->tailStart * l);
  }
}

TEST(ClipSource, ReadsAsTheReaderOfTheClipsImage) {
  const std::vector<int16_t> samples = TestSignal(2 * 1000);
  for (uint16_t channels : {1, 2}) {
    SCOPED_TRACE(channels);
    const int32_t frames = 2000 / channels;
    const Bytes image = WavImage(channels, 22050, 16, Pcm16LE(samples));
    MemoryStream stream(image.data(), int32_t(image.size()));
    WavReader reader(stream);
    ClipSource clip(samples, channels, 22050, 0, frames);
    EXPECT_EQ(std::memcmp(&clip.Format(), &reader.Format(), sizeof(SourceFormat)), 0);
    // Reads of odd sizes, the last one past the end, then reads at the end.
    for (int32_t chunk : {0, 1, 333, 900, 900, 5}) {
      std::vector<int16_t> a(size_t(chunk) * channels + 1, 7), b(a);
      const int32_t got = reader.Read(a.data(), chunk);
      EXPECT_EQ(clip.Read(b.data(), chunk), got) << chunk;
      EXPECT_EQ(a, b) << chunk;
    }
    EXPECT_EQ(clip.SeekFrame(-1), reader.SeekFrame(-1));
    EXPECT_EQ(clip.SeekFrame(frames - 3), reader.SeekFrame(frames - 3));
    std::vector<int16_t> a(8), b(8);
    EXPECT_EQ(clip.Read(b.data(), 4), reader.Read(a.data(), 4));
    EXPECT_EQ(a, b);
    EXPECT_EQ(clip.Rewind(), reader.Rewind());
    EXPECT_EQ(clip.Read(b.data(), 4), reader.Read(a.data(), 4));
    EXPECT_EQ(a, b);
  }
}

TEST(ClipSource, RunOfFramesAndSamplesNotHeld) {
  const std::vector<int16_t> samples = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  // Frames 3 to 6 of a stereo clip whose last frame is only half held and whose format counts
  // one more frame besides.
  ClipSource run(samples, 2, 8000, 3, 3);
  EXPECT_EQ(run.Format().frameCount, 3);
  EXPECT_EQ(run.Format().dataBytes, 12);
  EXPECT_EQ(run.Format().dataOffset, 44);
  std::vector<int16_t> out(10, -1);
  EXPECT_EQ(run.Read(out.data(), 5), 3);
  EXPECT_EQ(out, (std::vector<int16_t>{7, 8, 9, 0, 0, 0, -1, -1, -1, -1}));
  EXPECT_EQ(run.Read(out.data(), 5), 0);

  EXPECT_EQ(ClipSource(samples, 3, 8000, 0, 3).Format().channels, 0);
  EXPECT_EQ(ClipSource(samples, 1, 8000, -1, 3).Format().channels, 0);
  ClipSource tooLong(samples, 2, 8000, 0, INT32_MAX / 4 + 1);
  EXPECT_EQ(tooLong.Format().channels, 0);
  EXPECT_EQ(tooLong.Read(out.data(), 1), -1);
}

TEST(ConvertRate, LongClipsOnTwoThreadsMatchOneChain) {
  struct Pair {
    int32_t from, to;
  };
  // With a table; without a table but with cached coefficients (L = 4000); L = 320; L = 1;
  // exact halving.
  for (const Pair& p : {Pair{44100, 8000}, Pair{22254, 8000}, Pair{11025, 8000}, Pair{48000, 4000},
                        Pair{8000, 4000}}) {
    const int32_t threshold = kMinSplitSeconds * p.from;
    for (uint16_t channels : {1, 2}) {
      for (int32_t frames : {threshold - 1, threshold, threshold + 1, threshold + p.from + 7}) {
        SCOPED_TRACE(testing::Message() << p.from << " -> " << p.to << ", " << channels
                                        << " channels, " << frames << " frames");
        EXPECT_EQ(PlanConversionSplit(frames, p.from, p.to, 256).has_value(), frames >= threshold);
        AudioEngine engine;
        LoadClip(engine, channels, uint32_t(p.from),
                 TestSignal(size_t(frames) * channels, uint32_t(frames)));
        ExpectSameAsOneChain(engine, p.to);
      }
    }
  }
}

// The codes made while a clip converts are the ones EncodeKivra makes afterwards: for both
// encoders, with and without the coefficient table, where the split comes early or late; and
// a stereo clip, whose codes are not made along, encodes as before.
TEST(ConvertRate, CodesMadeAlongAreTheCodesMadeAfter) {
  struct Case {
    int32_t from;
    uint16_t channels;
    int32_t frames;
  };
  for (const Case& c : {Case{44100, 1, 2 * 44100}, Case{44100, 1, 7 * 44100 + 7},
                        Case{22254, 1, 3 * 22254 + 1}, Case{44100, 2, 3 * 44100}}) {
    for (const AdpcmQuality quality : {AdpcmQuality::kStandard, AdpcmQuality::kHigh}) {
      SCOPED_TRACE(testing::Message() << c.from << " Hz, " << c.channels << " channels, "
                                      << c.frames << " frames, quality " << int(quality));
      const std::vector<int16_t> clip = TestSignal(size_t(c.frames) * c.channels, 3);
      std::vector<uint8_t> images[2];
      for (int along = 0; along < 2; ++along) {
        AudioEngine engine;
        LoadClip(engine, c.channels, uint32_t(c.from), clip);
        ASSERT_EQ(engine.ConvertRate(8000, 256, along ? std::optional(quality) : std::nullopt),
                  kOk);
        ContentInfo info;
        ASSERT_GT(engine.EncodeKivra(1, 0, &info, images[along], quality), 0);
      }
      EXPECT_EQ(images[0], images[1]);
    }
  }
}

TEST(ConvertRate, TwoThreadsMatchThePlainSum) {
  // Mixed down as the workflow does, and compared with the sum written out plainly.
  AudioEngine engine;
  const std::vector<int16_t> stereo = TestSignal(2 * 88211, 5);
  LoadClip(engine, 2, 44100, stereo);
  ASSERT_EQ(engine.MixDown(0), kOk);
  const std::vector<int16_t> mono(engine.Samples());
  ASSERT_TRUE(PlanConversionSplit(88211, 44100, 8000, 256));
  ASSERT_EQ(engine.ConvertRate(8000, 256), kOk);
  ExpectConverted(engine, 1, 44100, 8000, mono);
}

TEST(ConvertRate, SamplesLostInAFailedLoadConvertAsSilence) {
  // The format of the earlier clip stays while its samples are gone: the image, and the
  // conversion, have silence where they were.
  AudioEngine engine;
  LoadClip(engine, 2, 22050, TestSignal(2 * 3 * 22050));
  const Bytes refused = WavImage(1, 3999, 16, Pcm16LE(TestSignal(4000)));
  ASSERT_EQ(engine.Load(0, refused.data(), int32_t(refused.size())), kBadRate);
  ASSERT_TRUE(engine.Samples().empty());
  ExpectSameAsOneChain(engine, 8000);
  EXPECT_EQ(std::count(engine.Samples().begin(), engine.Samples().end(), 0),
            long(engine.Samples().size()));
}

}  // namespace
}  // namespace pelorin
