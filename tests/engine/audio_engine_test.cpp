#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audiofile/memory_stream.h"
#include "audiofile/wav_reader.h"
#include "engine/audio_engine.h"
#include "kivra/content_info.h"
#include "support/image_builder.h"

namespace pelorin {
namespace {

using namespace test;

Bytes MonoWav(uint32_t rate, uint32_t frames, uint32_t bits = 16, uint32_t channels = 1) {
  return WavImage(channels, rate, bits, Bytes(size_t(frames) * channels * ((bits + 7) / 8)));
}

int32_t LoadWav(AudioEngine& engine, const Bytes& image) {
  return engine.Load(0, image.data(), int32_t(image.size()));
}

TEST(AudioEngineLoad, ResultCodesInCheckOrder) {
  // The code, and the reason's category, the offset it names and a part of its sentence; a WAV
  // file's channels stand at 22, its rate at 24, its bits at 34, its data size at 40.
  struct Case {
    const char* what;
    Bytes image;
    int isAiff;
    int32_t expected;
    RefusalCategory category;
    int64_t offset;
    const char* text;
  };
  using enum RefusalCategory;
  const Case cases[] = {
      {"empty image", {}, 0, kBadFormat, kContainer, 0, "not a WAV file"},
      {"WAV passed as AIFF", MonoWav(8000, 800), 1, kBadFormat, kContainer, 0, "not an AIFF"},
      {"3999 Hz", MonoWav(3999, 800), 0, kBadRate, kRate, 24,
       "3999 Hz; 4000 to 48000 Hz are supported"},
      {"4000 Hz", MonoWav(4000, 800), 0, kOk, kNone, -1, ""},
      {"48000 Hz", MonoWav(48000, 4800), 0, kOk, kNone, -1, ""},
      {"48001 Hz", MonoWav(48001, 4800), 0, kBadRate, kRate, 24, "48001 Hz"},
      {"3 channels, 24 bits", MonoWav(8000, 800, 24, 3), 0, kBadBits, kEncoding, 34,
       "24 bits per sample; 8 or 16 are supported"},
      {"0 Hz, 24 bits", MonoWav(0, 800, 24), 0, kBadRate, kRate, 24, "0 Hz"},
      {"3 channels", MonoWav(8000, 800, 16, 3), 0, kBadChannels, kChannels, 22,
       "3 channels; 1 or 2 are supported"},
      {"exactly 20 ms", MonoWav(8000, 160), 0, kTooShort, kDuration, 40,
       "160 frames at 8000 Hz play 20 ms; more than 20 ms are needed"},
      {"22 ms", MonoWav(8000, 176), 0, kOk, kNone, -1, ""},
      {"AIFF", AiffImage(2, 8000, 16, Bytes(800)), 1, kOk, kNone, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AudioEngine engine;
    EXPECT_EQ(engine.Load(c.isAiff, c.image.data(), int32_t(c.image.size())), c.expected);
    EXPECT_EQ(engine.LoadRefusal().category, c.category);
    EXPECT_EQ(engine.LoadRefusal().offset, c.offset);
    EXPECT_NE(engine.LoadRefusal().text.find(c.text), std::string::npos)
        << engine.LoadRefusal().text;
  }
}

TEST(AudioEngineLoad, EightBitInputIsHeldAs16Bit) {
  AudioEngine engine;
  ASSERT_EQ(LoadWav(engine, WavImage(2, 8000, 8, Bytes(400, 0xFF))), kOk);
  const PcmFormat& f = engine.Format();
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.frameCount, 200);
  EXPECT_EQ(f.byteCount, 800);
  EXPECT_EQ(engine.Samples(), std::vector<int16_t>(400, 32512));
}

TEST(AudioEngineLoad, FailedLoadKeepsThePreviousFormat) {
  AudioEngine engine;
  ASSERT_EQ(LoadWav(engine, MonoWav(8000, 800)), kOk);
  EXPECT_EQ(LoadWav(engine, MonoWav(3999, 800)), kBadRate);
  EXPECT_EQ(engine.Format().sampleRate, 8000);
  EXPECT_TRUE(engine.Samples().empty());
  // With the samples gone, the later steps must not read what is not there.
  EXPECT_EQ(engine.MixDown(0), kOk);
  Bytes image;
  EXPECT_EQ(engine.WriteWavImage(image), kOk);
  EXPECT_EQ(image.size(), 44u + 1600u);
}

TEST(AudioEngineLoad, SoundsTooLargeFor32BitCountsAreRefused) {
  // 8-bit stereo data of more than 1 GiB would need more than 2 GiB as 16-bit samples. The
  // header alone says so; the data need not be there (an AIFF form may overrun its image).
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("COMM", CommBody(2, 0x20000000u, 8, Extended80(8000))));
  Bytes ssnd = ChunkBE("SSND", SsndBody({}));
  const uint32_t ssndSize = 8 + 0x40000000u;
  for (int i = 0; i < 4; ++i) ssnd[4 + i] = uint8_t(ssndSize >> (24 - 8 * i));
  Append(form, ssnd);
  Bytes image = ChunkBE("FORM", form);
  const uint32_t formSize = uint32_t(form.size()) + 0x40000000u;
  for (int i = 0; i < 4; ++i) image[4 + i] = uint8_t(formSize >> (24 - 8 * i));
  AudioEngine engine;
  EXPECT_EQ(engine.Load(1, image.data(), int32_t(image.size())), kBadFormat);
}

// An AIFF image with a FORM and SSND sized for `frames` stereo 16-bit frames at 8000 Hz that
// holds only `sound`.
Bytes CutStereoAiff(uint32_t frames, const Bytes& sound) {
  Bytes form;
  PutTag(form, "AIFF");
  Append(form, ChunkBE("COMM", CommBody(2, frames, 16, Extended80(8000))));
  Append(form, ChunkBE("SSND", SsndBody(sound), 8 + int64_t{frames} * 4));
  return ChunkBE("FORM", form, int64_t(form.size()) - int64_t(sound.size()) + int64_t{frames} * 4);
}

// A file that declares more frames than it holds is the whole declared clip, its missing
// frames silence that is never stored: every step gives what it gives for the same clip with
// the silence written out.
TEST(AudioEngineLoad, MissingFramesAreSilenceThatTakesNoMemory) {
  const uint32_t frames = 8000 * 20;
  Bytes sound;
  uint32_t noise = 7;
  for (int i = 0; i < 2 * 1001; ++i) {
    noise = noise * 1664525u + 1013904223u;
    PutU16BE(sound, uint16_t(noise >> 16));
  }
  sound.resize(sound.size() - 2);  // the last frame has its left sample only
  Bytes whole = sound;
  whole.resize(size_t{frames} * 4, 0);

  ContentInfo info;
  info.textCode = 2;
  Bytes files[2];
  for (int cut = 0; cut < 2; ++cut) {
    SCOPED_TRACE(cut ? "cut" : "whole");
    const Bytes image = CutStereoAiff(frames, cut ? sound : whole);
    AudioEngine engine;
    ASSERT_EQ(engine.Load(1, image.data(), int32_t(image.size())), kOk);
    EXPECT_EQ(engine.Format().frameCount, int32_t(frames));
    EXPECT_EQ(engine.Format().byteCount, int32_t(frames * 4));
    if (cut) {
      ASSERT_EQ(engine.Samples().size(), 2u * 1001);
      EXPECT_EQ(engine.Samples()[2000], int16_t(sound[4000] << 8 | sound[4001]));
      EXPECT_EQ(engine.Samples()[2001], 0);
    }
    ASSERT_EQ(engine.MixDown(0), kOk);
    ASSERT_EQ(engine.ConvertRate(4000, 256), kOk);
    EXPECT_EQ(engine.Format().frameCount, int32_t(frames / 2));
    if (cut) {
      EXPECT_LT(engine.Samples().size(), 1000u);
    }
    ASSERT_GT(engine.EncodeKivra(1, 0, &info, files[cut]), 40000);
  }
  EXPECT_EQ(files[0], files[1]);
}

// Loading mixed down is loading, then MixDown(0): the same samples, format and results, for
// 8- and 16-bit stereo, a file cut in the middle of a frame, mono, and a refused file.
TEST(AudioEngineLoad, LoadMonoIsLoadThenMixDown) {
  std::vector<int16_t> samples;
  for (int i = 0; i < 2 * 5000; ++i) samples.push_back(int16_t(i * 7919 % 65536 - 32768));
  Bytes cut;
  for (int16_t v : samples) PutU16BE(cut, uint16_t(v));
  cut.resize(cut.size() - 2);  // the last frame has its left sample only
  const struct {
    const char* what;
    Bytes image;
    int isAiff;
  } cases[] = {
      {"16-bit stereo", WavImage(2, 22050, 16, Pcm16LE(samples)), 0},
      {"8-bit stereo", WavImage(2, 8000, 8, Bytes(9001, 0x9C)), 0},
      {"cut stereo AIFF", CutStereoAiff(8000 * 3, cut), 1},
      {"mono", WavImage(1, 8000, 16, Pcm16LE(samples)), 0},
      {"refused", WavImage(2, 3999, 16, Pcm16LE(samples)), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AudioEngine whole;
    AudioEngine mixed;
    const int32_t code = whole.Load(c.isAiff, c.image.data(), int32_t(c.image.size()));
    EXPECT_EQ(mixed.LoadMono(c.isAiff, c.image.data(), int32_t(c.image.size())), code);
    if (code != kOk) continue;
    ASSERT_EQ(whole.MixDown(0), kOk);
    uint8_t a[20], b[20];
    whole.GetFormat(a);
    mixed.GetFormat(b);
    EXPECT_EQ(std::memcmp(a, b, 20), 0);
    EXPECT_EQ(mixed.Samples(), whole.Samples());
  }
}

TEST(AudioEngineMixDown, AveragesOrPicksAChannel) {
  const Bytes stereo =
      WavImage(2, 8000, 16, Pcm16LE({-1, -1, 3, 3, -3, -3, -32768, -32768, 100, -7}));
  struct Case {
    int mode;
    std::vector<int16_t> expected;
  };
  const Case cases[] = {{0, {0, 2, -2, -32768, 47}},  // each half truncates toward zero
                        {1, {-1, 3, -3, -32768, 100}},
                        {2, {-1, 3, -3, -32768, -7}}};
  for (const Case& c : cases) {
    AudioEngine engine;
    // Too short to load as it is; repeat the frames to pass the play-time check.
    Bytes image = stereo;
    Bytes data(image.begin() + 44, image.end());
    for (int i = 0; i < 40; ++i) Append(data, Bytes(image.begin() + 44, image.end()));
    image = WavImage(2, 8000, 16, data);
    ASSERT_EQ(LoadWav(engine, image), kOk);
    ASSERT_EQ(engine.MixDown(c.mode), kOk);
    const PcmFormat& f = engine.Format();
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.blockAlign, 2);
    EXPECT_EQ(f.frameCount, 205);
    EXPECT_EQ(f.byteCount, 410);
    ASSERT_EQ(engine.Samples().size(), 205u);
    EXPECT_EQ(std::vector<int16_t>(engine.Samples().begin(), engine.Samples().begin() + 5),
              c.expected)
        << c.mode;
  }
}

TEST(AudioEngineMixDown, LongClipsFrameByFrame) {
  // Lengths around the multiples of the block MixDown works in: every frame lands in its own
  // place, read before any result overwrote it.
  for (uint32_t frames : {201u, 2047u, 2048u, 2049u, 3 * 2048u + 5u, 100000u}) {
    std::vector<int16_t> samples(2 * size_t(frames));
    uint32_t state = frames;
    for (int16_t& s : samples) {
      state = state * 1664525u + 1013904223u;
      s = int16_t(uint16_t(state >> 16));
    }
    const Bytes image = WavImage(2, 8000, 16, Pcm16LE(samples));
    for (int mode : {0, 1, 2}) {
      std::vector<int16_t> expected(frames);
      for (size_t k = 0; k < frames; ++k) {
        const int32_t left = samples[2 * k], right = samples[2 * k + 1];
        expected[k] = int16_t(mode == 0 ? left / 2 + right / 2 : mode == 1 ? left : right);
      }
      AudioEngine engine;
      ASSERT_EQ(LoadWav(engine, image), kOk);
      ASSERT_EQ(engine.MixDown(mode), kOk);
      EXPECT_EQ(engine.Samples(), expected) << frames << " frames, mode " << mode;
    }
  }
}

TEST(AudioEngineMixDown, RefusesUnknownModesAndLeavesMonoAlone) {
  AudioEngine engine;
  ASSERT_EQ(LoadWav(engine, MonoWav(8000, 800, 16, 2)), kOk);
  EXPECT_EQ(engine.MixDown(3), kFailed);
  EXPECT_EQ(engine.Format().channels, 2);
  EXPECT_EQ(engine.Samples().size(), 1600u);
  ASSERT_EQ(engine.MixDown(0), kOk);
  EXPECT_EQ(engine.MixDown(7), kOk);
  EXPECT_EQ(engine.Format().channels, 1);
}

TEST(AudioEngine, GetFormatCopiesTheLittleEndianBlock) {
  AudioEngine engine;
  EXPECT_EQ(engine.GetFormat(nullptr), kBadArgument);
  ASSERT_EQ(LoadWav(engine, MonoWav(44100, 88200, 16, 2)), kOk);
  uint8_t block[20];
  ASSERT_EQ(engine.GetFormat(block), kOk);
  const uint8_t expected[20] = {2, 0, 16,   0,    4,    0, 0,    0,    0x44, 0xAC,
                                0, 0, 0x20, 0x62, 0x05, 0, 0x88, 0x58, 0x01, 0};
  EXPECT_EQ(std::memcmp(block, expected, 20), 0);
}

TEST(AudioEngine, WavImageRoundTripsTheClip) {
  AudioEngine engine;
  std::vector<int16_t> samples(900);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 73 - 30000);
  ASSERT_EQ(LoadWav(engine, WavImage(2, 11025, 16, Pcm16LE(samples))), kOk);
  Bytes image;
  ASSERT_EQ(engine.WriteWavImage(image), kOk);
  EXPECT_EQ(image.size(), 44u + 1800u);
  AudioEngine again;
  ASSERT_EQ(LoadWav(again, image), kOk);
  EXPECT_EQ(again.Samples(), samples);
  EXPECT_EQ(again.Format().sampleRate, 11025);
  engine.Release();
  EXPECT_TRUE(engine.Samples().empty());
}

// Only a loaded clip is encoded, and only with arguments the writers know; a refusal leaves
// the output as it was.
TEST(AudioEngine, EncodeKivraNeedsALoadedClip) {
  AudioEngine engine;
  Bytes out{1, 2, 3};
  EXPECT_EQ(engine.EncodeKivra(0, 0, nullptr, out), kBadArgument);
  ASSERT_EQ(LoadWav(engine, MonoWav(8000, 800)), kOk);
  EXPECT_EQ(engine.EncodeKivra(0, 1, nullptr, out), kBadArgument);
  EXPECT_EQ(engine.EncodeKivra(3, 0, nullptr, out), kBadArgument);
  EXPECT_EQ(out, (Bytes{1, 2, 3}));
  const int32_t length = engine.EncodeKivra(0, 0, nullptr, out);
  EXPECT_EQ(size_t(length), out.size());
  engine.Release();
  EXPECT_EQ(engine.EncodeKivra(0, 0, nullptr, out), kBadArgument);
  ASSERT_EQ(LoadWav(engine, MonoWav(8000, 800)), kOk);
  ASSERT_EQ(LoadWav(engine, MonoWav(3999, 800)), kBadRate);
  EXPECT_EQ(engine.EncodeKivra(0, 0, nullptr, out), kBadArgument);
}

}  // namespace
}  // namespace pelorin
