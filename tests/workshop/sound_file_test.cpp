#include "workshop/sound_file.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <tuple>

#include "support/sound_files.h"

namespace pelorin {
namespace {

using test::TempDir;
using test::WriteSoundFile;

constexpr int kOgg = SF_FORMAT_OGG;
constexpr int kMp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;

double Tone(int64_t frame, int rate) {
  return 0.5 * std::sin(2 * M_PI * 997.0 * frame / rate);
}

std::vector<float> ReadAll(SoundFile& file) {
  std::vector<float> out;
  file.ReadMono(0, std::numeric_limits<int64_t>::max(), out);
  return out;
}

double RmsDb(const std::vector<float>& s) {
  double sum = 0;
  for (float v : s) sum += double(v) * v;
  return 10 * std::log10(sum / double(s.size()) / (32768.0 * 32768.0));
}

constexpr double kExact = 0.001, kLossy = 0.25;  // dB

// A tone at half of full scale (-9.03 dB RMS) in every format: its length, level and words, and
// the same samples from the file's bytes as from its path. Lossy codecs trim their encoder delay
// and padding by their headers, so every length is exact; their level stays within 0.25 dB
// (measured: Vorbis +0.05, Opus -0.06, MP3 -0.01).
TEST(SoundFileTest, ReadsEveryFormatAtItsLengthAndLevel) {
  const struct {
    const char* name;
    int format, channels, rate;
    const char* words;
    int bits;
    double toleranceDb;
    int soundChannel = -1;  // -1: every channel holds the tone
  } cases[] = {
      {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, "FLAC, 16-bit", 16, kExact},
      {"b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 48000, "FLAC, 24-bit", 24, kExact},
      {"c.ogg", kOgg | SF_FORMAT_VORBIS, 2, 44100, "Ogg Vorbis", 0, kLossy},
      {"d.opus", kOgg | SF_FORMAT_OPUS, 2, 48000, "Ogg Opus", 0, kLossy},
      {"e.mp3", kMp3, 2, 44100, "MP3", 0, kLossy},
      {"f.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100, "WAV, 24-bit integer", 24, kExact},
      {"g.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 8000, "WAV, 32-bit integer", 32, kExact},
      {"h.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050, "WAV, 32-bit float", 0, kExact},
      {"i.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 2, 44100, "WAV (extensible), 32-bit float", 0,
       kExact},
      {"j.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 44100, "AIFF, 24-bit integer", 24, kExact},
      {"k.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1, 44100, "AIFF-C, 32-bit float", 0, kExact},
      {"l.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 2, 44100, "CAF, 16-bit integer", 16, kExact},
      {"m.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_24, 2, 44100, "CAF, ALAC, 24-bit", 24, kExact},
      {"n.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 2, 44100, "W64, 32-bit float", 0, kExact},
      {"o.au", SF_FORMAT_AU | SF_FORMAT_ULAW, 1, 8000, "AU, 8-bit mu-law", 0, 0.1},
      // One sounding channel of six: a sixth of the level (-15.56 dB).
      {"p.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6, 96000, "WAV, 16-bit integer", 16, kExact, 2},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t frames = c.rate / 2 + 123;
    ASSERT_TRUE(
        WriteSoundFile(dir / c.name, c.format, c.channels, c.rate, frames, [&](int64_t f, int ch) {
          return c.soundChannel < 0 || ch == c.soundChannel ? Tone(f, c.rate) : 0.0;
        }));
    std::string why;
    auto file = SoundFile::Open(dir / c.name, &why);
    ASSERT_TRUE(file) << why;
    const SoundFileInfo& info = file->Info();
    EXPECT_EQ(info.format, c.words);
    EXPECT_EQ(std::tuple(info.channels, info.sampleRate, info.frames, info.bitsPerSample),
              std::tuple(c.channels, c.rate, frames, c.bits));
    const std::vector<float> samples = ReadAll(*file);
    EXPECT_EQ(int64_t(samples.size()), frames);
    const double expected = 20 * std::log10(0.5 / std::sqrt(2.0) / (c.soundChannel < 0 ? 1 : 6));
    EXPECT_NEAR(RmsDb(samples), expected, c.toleranceDb);
    EXPECT_FALSE(file->Damaged());

    const std::vector<uint8_t> image = test::ReadBytes(dir / c.name);
    auto fromImage = SoundFile::Open(image, &why);
    ASSERT_TRUE(fromImage) << why;
    EXPECT_EQ(ReadAll(*fromImage), samples);
  }
}

// Integer PCM of every depth comes out exactly in the 16-bit scale (value / 2^(bits-16)).
TEST(SoundFileTest, DecodesIntegerSamplesExactly) {
  const int cases[][2] = {
      {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8},   {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24},  {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32},
      {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16}, {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 24},
      {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24}, {SF_FORMAT_CAF | SF_FORMAT_ALAC_24, 24}};
  TempDir dir;
  for (const auto& [format, bits] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << format);
    const double full = std::ldexp(1.0, bits - 1);
    const std::vector<double> values = {-full, -1, 0, 1, 77, full - 1, std::floor(full * 0.3)};
    ASSERT_TRUE(WriteSoundFile(dir / "x", format, 1, 44100, int64_t(values.size()),
                               [&](int64_t f, int) { return values[f] / full; }));
    auto file = SoundFile::Open(dir / "x", nullptr);
    ASSERT_TRUE(file);
    const std::vector<float> got = ReadAll(*file);
    ASSERT_EQ(got.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(got[i], float(values[i] * 32768.0 / full)) << "value " << values[i];
    }
  }
}

// Channels are averaged; float data beyond full scale is kept, NaN and infinities are tamed.
TEST(SoundFileTest, MixesChannelsAndKeepsFloatsBeyondFullScale) {
  TempDir dir;
  const double left[] = {1001 / 32768.0, 1.5, -2.0, NAN, INFINITY, 1e300};
  const double right[] = {-3000 / 32768.0, 1.5, 0.0, 0.0, 0.0, 1e300};
  const std::vector<float> expected = {-999.5f, 49152.0f, -32768.0f, 0.0f, FLT_MAX, FLT_MAX};
  ASSERT_TRUE(WriteSoundFile(dir / "d.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, 8000, 6,
                             [&](int64_t f, int ch) { return (ch ? right : left)[f]; }));
  auto file = SoundFile::Open(dir / "d.wav", nullptr);
  ASSERT_TRUE(file);
  EXPECT_EQ(ReadAll(*file), expected);
}

// A read from any frame gives what a read of the whole file gives there, whether the format
// seeks exactly (PCM, FLAC, ALAC) or is decoded from the start (MP3, Vorbis, Opus); also within
// the last Vorbis page, where libsndfile's own seek lands wrong.
TEST(SoundFileTest, ReadsFromAnyFrameAsFromTheStart) {
  const int cases[][2] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100},
                          {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100},
                          {SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 44100},
                          {kOgg | SF_FORMAT_VORBIS, 44100},
                          {kOgg | SF_FORMAT_OPUS, 48000},
                          {kMp3, 44100},
                          {kMp3, 22050}};
  TempDir dir;
  for (const auto& [format, rate] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << format << std::dec << " at " << rate);
    const int64_t frames = 3 * rate + 321;
    ASSERT_TRUE(WriteSoundFile(dir / "x", format, 2, rate, frames, [&](int64_t f, int ch) {
      return Tone(f, rate) * (1 + 0.4 * std::sin(f * 0.0007 + ch));
    }));
    auto file = SoundFile::Open(dir / "x", nullptr);
    ASSERT_TRUE(file);
    const std::vector<float> whole = ReadAll(*file);
    ASSERT_EQ(int64_t(whole.size()), frames);
    const int64_t reads[][2] = {{100000, 5000}, {7, 300},    {frames - 900, 2000},
                                {50000, 4096},  {54096, 10}, {frames - 20000, 1000},
                                {1, 1},         {frames, 10}};
    for (const auto& [first, count] : reads) {
      std::vector<float> part;
      const int64_t n = file->ReadMono(first, count, part);
      const int64_t expected = std::clamp<int64_t>(frames - first, 0, count);
      ASSERT_EQ(n, expected) << "at " << first;
      EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + first)) << "at " << first;
    }
    EXPECT_FALSE(file->Damaged());
  }
}

// What is no sound file, or holds no sound, is refused with a reason.
TEST(SoundFileTest, RefusesFilesWithoutSound) {
  TempDir dir;
  std::vector<uint8_t> garbage(5000), tagOnly = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 37 + 11);
  tagOnly.resize(30);
  ASSERT_TRUE(WriteSoundFile(dir / "h", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 0, {}));
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  } cases[] = {{"garbage.wav", garbage, "not a sound file"},
               {"empty.flac", {}, "empty"},
               {"tag.mp3", tagOnly, "not a sound file"},
               {"zeros.mp3", std::vector<uint8_t>(16), "not a sound file"},
               {"header.wav", test::ReadBytes(dir / "h"), "no sound"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test::WriteBytes(dir / c.name, c.bytes));
    std::string why, whyImage;
    EXPECT_FALSE(SoundFile::Open(dir / c.name, &why));
    EXPECT_FALSE(SoundFile::Open(c.bytes, &whyImage));
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    EXPECT_NE(whyImage.find(c.reason), std::string::npos) << whyImage;
  }
  std::string why;
  EXPECT_FALSE(SoundFile::Open(dir / "missing.wav", &why));
  EXPECT_EQ(why, "no such file");
  EXPECT_FALSE(SoundFile::Open(dir / "", &why));
  EXPECT_EQ(why, "a folder, not a sound file");
}

// Damage mid-stream: what decodes before it comes out as in the intact file, and Damaged()
// says the rest was lost. Streams whose length is only estimated or not stated at all are read
// to their end without being called damaged.
TEST(SoundFileTest, ReadsWhatDecodesFromDamagedStreams) {
  constexpr int64_t kFrames = 441000;
  const auto garbageMid = [](std::vector<uint8_t>& b) {
    for (size_t i = 0; i < 3000; ++i) b[b.size() / 2 + i] = uint8_t(i * 131 + 7);
  };
  const auto cutMid = [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); };
  // STREAMINFO's 36-bit sample count, 0 for "unknown".
  const auto unstated = [](std::vector<uint8_t>& b) {
    b[21] &= 0xf0;
    std::fill(b.begin() + 22, b.begin() + 26, 0);
  };
  // Drops the first frame, which holds the length header; its size from its bit rate.
  const auto noLengthHeader = [](std::vector<uint8_t>& b) {
    const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    b.erase(b.begin(), b.begin() + 144000 * kbps[b[2] >> 4] / 44100 + ((b[2] >> 1) & 1));
  };
  int cbr = SF_BITRATE_MODE_CONSTANT;
  const struct {
    const char* name;
    int format;
    std::function<void(std::vector<uint8_t>&)> harm;
    bool damaged;
  } cases[] = {
      {"garbage.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, garbageMid, true},
      {"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, cutMid, true},
      {"unstated.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, unstated, false},
      // Only the decoder's error tells here: the length counted at opening ends at the damage.
      {"unstated-garbage.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
       [&](std::vector<uint8_t>& b) { unstated(b), garbageMid(b); }, true},
      {"garbage.ogg", kOgg | SF_FORMAT_VORBIS, garbageMid, true},
      {"cut.mp3", kMp3, cutMid, true},
      {"estimated.mp3", kMp3, noLengthHeader, false},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string intact = dir / (std::string("intact-") + c.name);
    ASSERT_TRUE(WriteSoundFile(
        intact, c.format, 2, 44100, kFrames, [](int64_t f, int) { return Tone(f, 44100); },
        [&](SNDFILE* f) {
          if (c.format == kMp3) sf_command(f, SFC_SET_BITRATE_MODE, &cbr, sizeof cbr);
        }));
    std::vector<uint8_t> bytes = test::ReadBytes(intact);
    c.harm(bytes);
    auto file = SoundFile::Open(bytes, nullptr);
    ASSERT_TRUE(file);
    const std::vector<float> got = ReadAll(*file);
    EXPECT_EQ(file->Damaged(), c.damaged);
    EXPECT_GT(got.size(), 0u);
    // Damaged: well short of the intact length. Otherwise read to the stated or counted end, or
    // near an estimated one.
    EXPECT_LE(int64_t(got.size()), c.damaged ? kFrames * 3 / 4 : file->Info().frames);
    if (!c.damaged) {
      EXPECT_NEAR(double(got.size()), double(file->Info().frames), 2304);
    }
    // A broken Vorbis page is skipped and decoding goes on, so only the part before it matches.
    const std::vector<float> reference = ReadAll(*SoundFile::Open(intact, nullptr));
    if (c.name != std::string("estimated.mp3")) {
      EXPECT_TRUE(std::equal(got.begin(), got.begin() + got.size() / 4, reference.begin()));
    }
  }
}

}  // namespace
}  // namespace pelorin
