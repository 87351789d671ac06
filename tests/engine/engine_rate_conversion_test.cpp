#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/audio_engine.h"
#include "engine/reference_resampler.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using namespace test;

void LoadClip(AudioEngine& engine, uint32_t channels, uint32_t rate,
              const std::vector<int16_t>& samples) {
  const Bytes image = WavImage(channels, rate, 16, Pcm16LE(samples));
  ASSERT_EQ(engine.Load(0, image.data(), int32_t(image.size())), kOk);
}

// The buffer ConvertRate leaves: rounded from the byte count, so about twice the samples.
size_t BufferLength(int32_t from, int32_t to, int32_t byteCount) {
  return size_t(double(to) / double(from) * double(byteCount) + 0.5);
}

// Checks a converted clip against the plain sum: format, samples, and zeros after them.
void ExpectConverted(const AudioEngine& engine, uint16_t channels, int32_t from, int32_t to,
                     const std::vector<int16_t>& source, int32_t oldByteCount) {
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
  const std::vector<int16_t>& held = engine.Samples();
  ASSERT_EQ(held.size(), BufferLength(from, to, oldByteCount));
  ASSERT_GE(held.size(), expected.size());
  EXPECT_EQ(std::vector<int16_t>(held.begin(), held.begin() + long(expected.size())), expected);
  EXPECT_EQ(std::count(held.begin() + long(expected.size()), held.end(), 0),
            long(held.size() - expected.size()));
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

TEST(ConvertRate, MonoHalvingLeavesTrailingZeros) {
  AudioEngine engine;
  const std::vector<int16_t> samples = TestSignal(2000);
  LoadClip(engine, 1, 8000, samples);
  ASSERT_EQ(engine.ConvertRate(4000, 256), kOk);
  EXPECT_EQ(engine.Format().frameCount, 1000);
  EXPECT_EQ(engine.Format().byteCount, 2000);
  EXPECT_EQ(engine.Format().sampleRate, 4000);
  EXPECT_EQ(engine.Samples().size(), 2000u);
  ExpectConverted(engine, 1, 8000, 4000, samples, 4000);
}

TEST(ConvertRate, StereoStaysStereo) {
  AudioEngine engine;
  const std::vector<int16_t> samples = TestSignal(2 * 1000);
  LoadClip(engine, 2, 22050, samples);
  ASSERT_EQ(engine.ConvertRate(8000, 256), kOk);
  EXPECT_EQ(engine.Format().channels, 2);
  EXPECT_EQ(engine.Format().blockAlign, 4);
  EXPECT_EQ(engine.Format().frameCount, 363);
  ExpectConverted(engine, 2, 22050, 8000, samples, 4000);
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
      ExpectConverted(engine, 1, from, to, mono, 2 * int32_t(mono.size()));
    }
  }
  for (int32_t from : {11025, 22254, 44100, 47999}) {
    SCOPED_TRACE(testing::Message() << "stereo " << from);
    const std::vector<int16_t> stereo = TestSignal(2 * (size_t(from) / 40), 3);
    AudioEngine engine;
    LoadClip(engine, 2, uint32_t(from), stereo);
    ASSERT_EQ(engine.ConvertRate(8000, 256), kOk);
    ExpectConverted(engine, 2, from, 8000, stereo, 2 * int32_t(stereo.size()));
  }
}

TEST(ConvertRate, TwoSecondsOfStereoMixedDownAsTheWorkflowDoes) {
  // 88200 frames at 44100 Hz become 16000 frames at 8000 Hz in a buffer of 32000 samples.
  AudioEngine engine;
  LoadClip(engine, 2, 44100, std::vector<int16_t>(2 * 88200, 1000));
  ASSERT_EQ(engine.MixDown(0), kOk);
  ASSERT_EQ(engine.ConvertRate(8000, 256), kOk);
  EXPECT_EQ(engine.Format().frameCount, 16000);
  EXPECT_EQ(engine.Format().byteCount, 32000);
  ASSERT_EQ(engine.Samples().size(), 32000u);
  EXPECT_EQ(engine.Samples()[8000], 1000);
  EXPECT_EQ(engine.Samples()[16000], 0);
}

TEST(ConvertRate, StereoReadStaysInsideABufferSmallerThanTheOutput) {
  // 100 frames at 4000 Hz to 10 Hz: one output frame (two samples), but a buffer of one
  // element. The frame is not read rather than written past the buffer.
  AudioEngine engine;
  LoadClip(engine, 2, 4000, TestSignal(2 * 100));
  ASSERT_EQ(engine.ConvertRate(10, 256), kOk);
  EXPECT_EQ(engine.Format().frameCount, 1);
  EXPECT_EQ(engine.Samples(), std::vector<int16_t>(1, 0));
}

}  // namespace
}  // namespace pelorin
