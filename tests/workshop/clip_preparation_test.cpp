// The workshop's edits of a clip: typed times, the selection to the sample, the silence trim,
// fades, the cap's automatic fade, loudness and the 16-bit rounding.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "workshop/clip_edits.h"
#include "workshop/clip_preparation.h"
#include "workshop/loudness.h"

namespace {

using namespace pelorin;

TEST(TypedTimes, ParseAsSecondsOrClocksAndLandOnTheNearestFrame) {
  struct Case {
    const char* text;
    int64_t nanoseconds;
  };
  const Case valid[] = {{"12.5", 12'500'000'000},       {"0", 0},
                        {".25", 250'000'000},           {"1:05.25", 65'250'000'000},
                        {"1:02:03", 3'723'000'000'000}, {"0:00.000000001", 1},
                        {"-1.5", -1'500'000'000},       {"90", 90'000'000'000}};
  for (const Case& c : valid) {
    const std::optional<TypedTime> t = ParseTime(c.text);
    ASSERT_TRUE(t) << c.text;
    EXPECT_EQ(t->nanoseconds, c.nanoseconds) << c.text;
  }
  for (const char* text : {"", "-", ".", "1.", "1:5", "1:60", "1:2:3:4", "1:00:60", "abc", "1e3",
                           "+1", "1.0000000001", "1:-5", " 1", "100001:00:00"})
    EXPECT_FALSE(ParseTime(text)) << text;

  // Half a frame rounds away from zero; long times do not overflow.
  EXPECT_EQ(TypedTime{62'500}.Frames(8000), 1);
  EXPECT_EQ(TypedTime{62'499}.Frames(8000), 0);
  EXPECT_EQ(TypedTime{-62'500}.Frames(8000), -1);
  EXPECT_EQ(ParseTime("99999:59:59")->Frames(192000), int64_t{359999999} * 192000);

  EXPECT_EQ(ClockText(528320, 8000), "1:06.04");
  EXPECT_EQ(ClockText(45 * 44100, 44100), "0:45");
  EXPECT_EQ(ClockText(int64_t{37235} * 4410, 44100), "1:02:03.5");
  EXPECT_EQ(NumberText(212.44, 1), "212.4");
  EXPECT_EQ(NumberText(-16.0, 1, true), "\u221216");
}

// A clip of float samples, as a decoder gives them.
class FloatInput final : public MonoInput {
 public:
  FloatInput(std::vector<float> samples, int32_t rate)
      : samples_(std::move(samples)), rate_(rate) {}
  int32_t Rate() const override { return rate_; }
  int64_t Frames() const override { return static_cast<int64_t>(samples_.size()); }
  int64_t Read(int64_t first, int64_t count, std::vector<float>& out) override {
    const int64_t end = std::min(Frames(), first + count);
    if (first >= end) return 0;
    out.insert(out.end(), samples_.begin() + first, samples_.begin() + end);
    return end - first;
  }

 private:
  std::vector<float> samples_;
  int32_t rate_;
};

ClipChoices Choose(const char* start, const char* length, const char* end = nullptr) {
  ClipChoices c;
  if (start) c.start = ParseTime(start);
  if (length) c.length = ParseTime(length);
  if (end) c.end = ParseTime(end);
  return c;
}

TEST(PrepareClip, SelectsToTheSampleAndPassesSixteenBitSamplesUnchanged) {
  // Every sample different, with silence around the sound: 1 s, 3 s of sound, 1 s.
  std::vector<int16_t> held(5 * 8000, 0);
  for (int i = 8000; i < 32000; ++i) held[size_t(i)] = int16_t(i % 20000 - 10000 + (i % 7));
  HeldInput input(held, 5 * 8000, 8000);
  struct Case {
    ClipChoices choices;
    int64_t first, end;
    const char* range;
  };
  ClipChoices trimmed = Choose("0.5", "1");
  trimmed.trimDbfs = -60.0;
  const Case cases[] = {
      {{}, 0, 40000, "0:00\u20130:05"},
      {Choose("1", "0.5"), 8000, 12000, "0:01\u20130:01.5"},
      {Choose("0.000125", nullptr, "2.5"), 1, 20000, "0:00\u20130:02.5"},
      {Choose("4.5", "10"), 36000, 40000, "0:04.5\u20130:05"},  // cut at the end
      {trimmed, 12000, 20000, "0:01.5\u20130:02.5"},            // counted from the sound
  };
  for (const Case& c : cases) {
    const PreparedClip clip = PrepareClip(input, c.choices, 0);
    ASSERT_EQ(clip.error, "");
    EXPECT_EQ(clip.sampleRate, 8000);
    EXPECT_EQ(clip.samples, std::vector<int16_t>(held.begin() + c.first, held.begin() + c.end));
    EXPECT_EQ(clip.done, std::vector<std::string>{c.range});
  }

  const PreparedClip late = PrepareClip(input, Choose("5", nullptr), 0);
  EXPECT_TRUE(late.usageError);
  EXPECT_EQ(late.error, "--start 0:05 is past the end (0:05)");
  ClipChoices silentPart = Choose(nullptr, nullptr);
  silentPart.trimDbfs = -50.0;
  const std::vector<int16_t> hiss(8000, 3);
  HeldInput silence(hiss, 8000, 8000);
  const PreparedClip silent = PrepareClip(silence, silentPart, 0);
  EXPECT_FALSE(silent.usageError);
  EXPECT_EQ(silent.error, "nothing in it is louder than \u221250 dBFS; there is no sound to keep");
}

// The gains a constant clip came out with.
std::vector<double> Gains(const PreparedClip& clip, double level) {
  std::vector<double> gains;
  for (int16_t s : clip.samples) gains.push_back(s / level);
  return gains;
}

// Whether gains rise from first to last but for the rounding with dither (under 1.5 steps either
// way).
template <class It>
bool Rising(It first, It last, double step) {
  for (It i = first; i != last; ++i) {
    if (i != first && *i < *std::prev(i) - 3 * step) return false;
  }
  return true;
}

TEST(PrepareClip, FadesAreMonotonicAndTheCapEndsWithOne) {
  const std::vector<int16_t> loud(70 * 4000, 20000);
  HeldInput input(loud, int64_t(loud.size()), 4000);

  ClipChoices fades = Choose(nullptr, "2");
  fades.fadeIn = ParseTime("0.5");
  fades.fadeOut = ParseTime("0.25");
  const PreparedClip faded = PrepareClip(input, fades, 66040);
  ASSERT_EQ(faded.error, "");
  EXPECT_TRUE(faded.notes.empty());
  EXPECT_EQ(faded.done,
            (std::vector<std::string>{"0:00\u20130:02", "fade-in 0.5 s", "fade-out 0.25 s"}));
  const std::vector<double> g = Gains(faded, 20000.0);
  ASSERT_EQ(g.size(), 8000u);
  constexpr double kStep = 1.0 / 20000.0;
  EXPECT_TRUE(Rising(g.begin(), g.begin() + 2000, kStep));
  EXPECT_LT(g[0], 0.01);
  EXPECT_GT(g[1999], 0.99);
  EXPECT_TRUE(std::all_of(g.begin() + 2000, g.end() - 1000, [](double x) { return x == 1.0; }));
  EXPECT_TRUE(Rising(g.rbegin(), g.rbegin() + 1000, kStep));
  EXPECT_LT(g.back(), 0.01);

  // 70 s is cut at 66.04 s and ends with a 1-second fade; --fade-out 0 keeps the cut plain.
  const PreparedClip capped = PrepareClip(input, {}, 66040);
  ASSERT_EQ(capped.samples.size(), 264160u);
  EXPECT_EQ(capped.notes, std::vector<std::string>{
                              "70 s; the file holds 0:00\u20131:06.04 (use --start/--length to "
                              "choose the part)"});
  EXPECT_EQ(capped.done, (std::vector<std::string>{"0:00\u20131:06.04", "fade-out 1 s"}));
  const std::vector<double> end = Gains(capped, 20000.0);
  EXPECT_EQ(end[end.size() - 4001], 1.0);
  EXPECT_NEAR(end[end.size() - 2000], 0.5, 0.01);
  EXPECT_TRUE(Rising(end.rbegin(), end.rbegin() + 4000, kStep));

  ClipChoices plain;
  plain.fadeOut = TypedTime{0};
  const PreparedClip cut = PrepareClip(input, plain, 66040);
  EXPECT_EQ(cut.samples, std::vector<int16_t>(264160, 20000));
  EXPECT_EQ(cut.done, std::vector<std::string>{"0:00\u20131:06.04"});
}

std::vector<float> Float(const std::vector<int16_t>& samples) {
  return std::vector<float>(samples.begin(), samples.end());
}

TEST(PrepareClip, NormalizesNoiseAndToneToTheTargetWithoutPassingTheCeiling) {
  constexpr int32_t kRate = 44100;
  std::mt19937 random(7);
  std::normal_distribution<float> gauss(0.0f, 1000.0f);
  std::vector<float> noise(10 * kRate);
  for (float& s : noise) s = gauss(random);
  std::vector<float> tone(10 * kRate);
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] = float(3000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * double(i) / kRate));
  for (const double target : {-16.0, -14.0}) {
    for (const std::vector<float>* clip : {&noise, &tone}) {
      FloatInput input(*clip, kRate);
      ClipChoices loud;
      loud.normalizeLufs = target;
      const PreparedClip done = PrepareClip(input, loud, 0);
      ASSERT_EQ(done.error, "");
      const std::optional<Loudness> measured = MeasureLoudness(Float(done.samples), kRate);
      ASSERT_TRUE(measured && measured->integrated);
      EXPECT_NEAR(*measured->integrated, target, 0.5);
      EXPECT_LE(measured->truePeakDb, -1.0 + 0.05);
    }
  }

  // A tone so peaky that the ceiling, not the target, sets the gain; and silence gets none.
  std::vector<float> clicks(10 * kRate, 0.0f);
  for (size_t i = 0; i < clicks.size(); i += kRate / 10) clicks[i] = 8000.0f;
  FloatInput peaky(clicks, kRate);
  ClipChoices loud;
  loud.normalizeLufs = -16.0;
  const PreparedClip capped = PrepareClip(peaky, loud, 0);
  ASSERT_EQ(capped.done.size(), 2u);
  EXPECT_TRUE(capped.done[1].ends_with("LUFS, true peak \u22121 dBTP")) << capped.done[1];
  FloatInput silence(std::vector<float>(kRate, 0.0f), kRate);
  const PreparedClip quiet = PrepareClip(silence, loud, 0);
  EXPECT_EQ(quiet.done.back(), "silent, not normalized");
  EXPECT_EQ(quiet.notes, std::vector<std::string>{"the part is silent: no gain applied"});
  EXPECT_EQ(quiet.samples, std::vector<int16_t>(kRate, 0));
}

TEST(RoundTo16Bits, DithersOnlyWhatIsNoWholeNumberAndAlwaysTheSame) {
  std::vector<float> deep(20000, 0.25f);
  deep[0] = 7.0f;
  deep[1] = 1e9f;
  deep[2] = -1e9f;
  deep[3] = std::nanf("");
  const std::vector<int16_t> once = RoundTo16Bits(deep);
  EXPECT_EQ(once, RoundTo16Bits(deep));
  EXPECT_EQ(once[0], 7);
  EXPECT_EQ(once[1], 32767);
  EXPECT_EQ(once[2], -32768);
  EXPECT_EQ(once[3], 0);
  // Triangular dither of one step either way around 0.25: -1, 0, 1 (and rarely 2 is not
  // reachable), averaging 0.25.
  double sum = 0;
  for (size_t i = 4; i < once.size(); ++i) {
    EXPECT_TRUE(once[i] >= -1 && once[i] <= 1) << once[i];
    sum += once[i];
  }
  EXPECT_NEAR(sum / double(once.size() - 4), 0.25, 0.02);
}

}  // namespace
