// Files written by sox, read back through ReadWholeFile and AudioEngine::Load, with every sample
// compared against sox's own decoding of the same file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/audio_engine.h"
#include "pipeline/input_file.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool HaveSox() {
  return std::system("command -v sox >/dev/null 2>&1") == 0;
}

// -V1: errors only; clipping warnings from dithered test tones are expected noise.
bool Sox(const std::string& args) {
  return std::system(("sox -V1 " + args).c_str()) == 0;
}

// Synthesises `frames` frames with the rate and channel count given to the input side, so that
// sox does not resample and the frame count is exactly what was asked for. Each channel gets a
// different wave, so swapped channels show.
bool SoxTone(const std::string& path, const std::string& rate, int bits, int channels, int frames) {
  std::string waves;
  for (int c = 0; c < channels; ++c) waves += c % 2 ? " square 300" : " sine 440";
  return Sox("-r " + rate + " -c " + std::to_string(channels) + " -n -b " + std::to_string(bits) +
             " " + Quote(path) + " synth " + std::to_string(frames) + "s" + waves);
}

class TempDir {
 public:
  TempDir() {
    std::string name = (fs::temp_directory_path() / "pelorin-files-XXXXXX").string();
    if (mkdtemp(name.data())) path_ = name;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  bool ok() const { return !path_.empty(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

struct Loaded {
  int32_t code = -1;
  PcmFormat format;
  std::vector<int16_t> samples;
};

Loaded LoadImage(const std::string& path, const std::vector<uint8_t>& image) {
  const std::optional<InputKind> kind = InputKindFromName(path);
  Loaded r;
  if (!kind) {
    ADD_FAILURE() << "no input kind for " << path;
    return r;
  }
  AudioEngine engine;
  r.code = engine.Load(*kind == InputKind::kAiff, image.data(), int32_t(image.size()));
  r.format = engine.Format();
  r.samples = engine.Samples();
  return r;
}

Loaded LoadFile(const std::string& path) {
  const std::optional<std::vector<uint8_t>> image = ReadWholeFile(path);
  if (!image) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return LoadImage(path, *image);
}

// sox's decoding of a file as signed 16-bit little-endian samples.
std::optional<std::vector<int16_t>> SoxSamples(const std::string& path, const std::string& raw) {
  if (!Sox("-D " + Quote(path) + " -t raw -e signed -b 16 -L " + Quote(raw))) return std::nullopt;
  const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(raw);
  if (!bytes) return std::nullopt;
  std::vector<int16_t> samples(bytes->size() / 2);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = int16_t(uint16_t((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8)));
  return samples;
}

class RealFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveSox()) GTEST_SKIP() << "sox is not on PATH; install sox to run the real-file tests";
    ASSERT_TRUE(dir_.ok());
  }
  TempDir dir_;
};

using MatrixParam = std::tuple<std::string, int, int, int>;  // extension, bits, channels, rate

class RealFileMatrix : public RealFileTest, public ::testing::WithParamInterface<MatrixParam> {};

TEST_P(RealFileMatrix, DecodesEverySampleAsSoxDoes) {
  const auto& [ext, bits, channels, rate] = GetParam();
  const int frames = rate / 5 + 1;  // odd, so 8-bit mono data ends with a pad byte
  const std::string file = dir_ / ("tone." + ext);
  ASSERT_TRUE(SoxTone(file, std::to_string(rate), bits, channels, frames));
  const std::optional<std::vector<int16_t>> expected = SoxSamples(file, dir_ / "tone.raw");
  ASSERT_TRUE(expected);
  ASSERT_EQ(expected->size(), size_t(frames * channels));
  if (bits == 8) {
    // The reference is only independent if sox widens 8-bit samples by the same plain shift.
    EXPECT_TRUE(
        std::all_of(expected->begin(), expected->end(), [](int16_t s) { return (s & 0xFF) == 0; }));
  }

  const Loaded got = LoadFile(file);
  ASSERT_EQ(got.code, 0);
  EXPECT_EQ(got.format.channels, channels);
  EXPECT_EQ(got.format.bitsPerSample, 16);
  EXPECT_EQ(got.format.blockAlign, 2 * channels);
  EXPECT_EQ(got.format.sampleRate, rate);
  EXPECT_EQ(got.format.frameCount, frames);
  EXPECT_EQ(got.format.byteCount, 2 * channels * frames);
  ASSERT_EQ(got.samples.size(), expected->size());
  const auto diff = std::mismatch(got.samples.begin(), got.samples.end(), expected->begin());
  EXPECT_TRUE(diff.first == got.samples.end())
      << "sample " << (diff.first - got.samples.begin()) << ": got " << *diff.first
      << ", sox reads " << *diff.second;
}

INSTANTIATE_TEST_SUITE_P(SoxFiles, RealFileMatrix,
                         ::testing::Combine(::testing::Values("wav", "aif"),
                                            ::testing::Values(8, 16), ::testing::Values(1, 2),
                                            ::testing::Values(4000, 8000, 11025, 22050, 44100,
                                                              48000)),
                         [](const ::testing::TestParamInfo<MatrixParam>& info) {
                           return std::get<0>(info.param) + "_" +
                                  std::to_string(std::get<1>(info.param)) + "bit_" +
                                  std::to_string(std::get<2>(info.param)) + "ch_" +
                                  std::to_string(std::get<3>(info.param));
                         });

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The FORM image with its "COMM" and "SSND" chunks swapped; empty if either is missing.
std::vector<uint8_t> SwapCommAndSsnd(const std::vector<uint8_t>& image) {
  struct Chunk {
    size_t begin, end;
  };
  std::vector<Chunk> chunks;
  std::optional<size_t> comm, ssnd;
  for (size_t pos = 12; pos + 8 <= image.size();) {
    const uint32_t size = BigEndian32(&image[pos + 4]);
    const size_t end = std::min(image.size(), pos + 8 + size + (size & 1));
    const std::string id(image.begin() + long(pos), image.begin() + long(pos) + 4);
    if (id == "COMM") comm = chunks.size();
    if (id == "SSND") ssnd = chunks.size();
    chunks.push_back({pos, end});
    pos = end;
  }
  if (!comm || !ssnd) return {};
  std::swap(chunks[*comm], chunks[*ssnd]);
  std::vector<uint8_t> out(image.begin(), image.begin() + 12);
  for (const Chunk& c : chunks)
    out.insert(out.end(), image.begin() + long(c.begin), image.begin() + long(c.end));
  return out;
}

TEST_F(RealFileTest, AiffWithSoundBeforeCommonChunkLoadsLikeTheOriginal) {
  for (int bits : {8, 16}) {
    SCOPED_TRACE(bits);
    const std::string file = dir_ / "order.aif";
    ASSERT_TRUE(SoxTone(file, "11025", bits, 2, 1001));
    const std::optional<std::vector<uint8_t>> image = ReadWholeFile(file);
    ASSERT_TRUE(image);
    const std::vector<uint8_t> swapped = SwapCommAndSsnd(*image);
    ASSERT_EQ(swapped.size(), image->size());
    ASSERT_NE(swapped, *image);

    const Loaded original = LoadImage(file, *image);
    const Loaded reordered = LoadImage(file, swapped);
    ASSERT_EQ(original.code, 0);
    ASSERT_EQ(reordered.code, 0);
    EXPECT_EQ(reordered.format.channels, original.format.channels);
    EXPECT_EQ(reordered.format.sampleRate, original.format.sampleRate);
    EXPECT_EQ(reordered.format.frameCount, original.format.frameCount);
    EXPECT_EQ(reordered.format.byteCount, original.format.byteCount);
    EXPECT_TRUE(reordered.samples == original.samples);
  }
}

struct LimitCase {
  const char* name;
  const char* ext;
  const char* rate;
  int bits;
  int channels;
  int frames;
  int32_t code;
  int32_t loadedRate;  // when the code is 0
};

class RealFileLimits : public RealFileTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RealFileLimits, GiveTheRightCode) {
  const LimitCase& c = GetParam();
  const std::string file = dir_ / (std::string("limit.") + c.ext);
  ASSERT_TRUE(SoxTone(file, c.rate, c.bits, c.channels, c.frames));
  const Loaded got = LoadFile(file);
  EXPECT_EQ(got.code, c.code);
  if (c.code == 0) {
    EXPECT_EQ(got.format.sampleRate, c.loadedRate);
    EXPECT_EQ(got.format.frameCount, c.frames);
  }
}

INSTANTIATE_TEST_SUITE_P(
    SoxFiles, RealFileLimits,
    ::testing::Values(LimitCase{"Rate3999Wav", "wav", "3999", 16, 1, 800, -996, 0},
                      LimitCase{"Rate3999Aif", "aif", "3999", 16, 1, 800, -996, 0},
                      LimitCase{"Rate48001Wav", "wav", "48001", 16, 1, 4800, -996, 0},
                      LimitCase{"Rate48001Aif", "aif", "48001", 16, 1, 4800, -996, 0},
                      // Fractional rates are truncated toward zero before the range check.
                      LimitCase{"Rate8000Point5Aif", "aif", "8000.5", 16, 1, 800, 0, 8000},
                      LimitCase{"Rate48000Point9Aif", "aif", "48000.9", 16, 1, 4800, 0, 48000},
                      LimitCase{"Rate3999Point9Aif", "aif", "3999.9", 16, 1, 800, -996, 0},
                      LimitCase{"Bits24Aif", "aif", "8000", 24, 1, 800, -995, 0},
                      LimitCase{"Bits32Aif", "aif", "8000", 32, 1, 800, -995, 0},
                      LimitCase{"Channels3Aif", "aif", "8000", 16, 3, 800, -994, 0},
                      LimitCase{"Exactly20msWav", "wav", "8000", 16, 1, 160, -993, 0},
                      LimitCase{"Exactly20msAif", "aif", "8000", 8, 2, 160, -993, 0},
                      LimitCase{"Just21msWav", "wav", "8000", 8, 1, 168, 0, 8000}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelorin
