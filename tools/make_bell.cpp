// Synthesizes the bundled sample samples/bell.wav: a struck bell, 2 s of 16-bit stereo at
// 44100 Hz. There is no randomness and every sample is rounded explicitly, so a given build
// writes the same bytes on every run and the committed sample can be checked against it. To
// regenerate it, from the repository root:
//
//   build/tools/make-bell samples/bell.wav

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "audiofile/wav_image_writer.h"

namespace {

constexpr int32_t kRate = 44100;
constexpr int kChannels = 2;
constexpr int32_t kFrames = 2 * kRate;
constexpr double kStrikeFrequency = 523.25;  // the prime partial
constexpr double kAttackSeconds = 0.006;     // a mallet rather than a click
constexpr double kFadeSeconds = 0.4;
constexpr double kPeakDbfs = -3.0;
constexpr double kGoldenAngle = 2.0 * std::numbers::pi / (std::numbers::phi * std::numbers::phi);

struct Partial {
  double ratio;      // frequency relative to the prime; bells are inharmonic
  double amplitude;  // at the strike
  double decay;      // seconds to fall by 1/e; higher partials die sooner
  double spread;     // left/right balance, -1..1
};

// A minor-third bell: hum, prime, tierce, quint, nominal and the bright upper partials.
constexpr Partial kPartials[] = {
    {0.500, 0.40, 1.00, -0.10}, {1.000, 1.00, 0.80, 0.05},  {1.194, 0.55, 0.65, 0.15},
    {1.506, 0.22, 0.50, -0.20}, {2.000, 0.60, 0.45, 0.10},  {2.514, 0.28, 0.32, -0.15},
    {2.662, 0.22, 0.28, 0.20},  {3.011, 0.16, 0.22, -0.05}, {4.166, 0.10, 0.15, 0.25},
    {5.433, 0.06, 0.11, -0.25}, {6.796, 0.04, 0.08, 0.10},
};

// Each partial of a real bell is a slightly split, unequal pair; the two halves beat slowly
// without ever cancelling. The right channel is split a little wider than the left so the two
// sides drift against each other.
constexpr double kBeatHz[kChannels] = {1.1, 1.6};

double Envelope(double t) {
  double gain = 1.0;
  if (t < kAttackSeconds) {
    gain = 0.5 - 0.5 * std::cos(std::numbers::pi * t / kAttackSeconds);
  }
  const double fadeStart = double(kFrames - 1) / kRate - kFadeSeconds;
  if (t > fadeStart) {
    const double x = std::min(1.0, (t - fadeStart) / kFadeSeconds);
    gain *= 0.5 + 0.5 * std::cos(std::numbers::pi * x);
  }
  return gain;
}

double BellSample(int channel, double t) {
  const double side = channel == 0 ? -1.0 : 1.0;
  double sum = 0.0;
  int index = 0;
  for (const Partial& p : kPartials) {
    const double f = kStrikeFrequency * p.ratio;
    const double gain = p.amplitude * (1.0 + 0.5 * p.spread * side) * std::exp(-t / p.decay);
    const double halfBeat = 0.5 * kBeatHz[channel];
    // Spread starting phases keep the partials from piling up into one sharp peak at the strike.
    const double phase = kGoldenAngle * index + 0.4 * channel;
    const double w = 2.0 * std::numbers::pi * t;
    sum += 0.65 * gain * std::sin(w * (f - halfBeat) + phase);
    sum += 0.35 * gain * std::sin(w * (f + halfBeat) + phase);
    ++index;
  }
  return sum * Envelope(t);
}

std::vector<int16_t> SynthesizeBell() {
  std::vector<double> mix(size_t(kFrames) * kChannels);
  double peak = 0.0;
  for (int32_t n = 0; n < kFrames; ++n) {
    const double t = double(n) / kRate;
    for (int c = 0; c < kChannels; ++c) {
      const double v = BellSample(c, t);
      mix[size_t(n) * kChannels + c] = v;
      peak = std::max(peak, std::abs(v));
    }
  }

  const double scale = std::pow(10.0, kPeakDbfs / 20.0) * 32767.0 / peak;
  std::vector<int16_t> samples(mix.size());
  for (size_t i = 0; i < mix.size(); ++i) {
    const long q = std::lround(mix[i] * scale);
    samples[i] = int16_t(std::clamp(q, -32768L, 32767L));
  }
  return samples;
}

bool WriteFileReplacing(const std::filesystem::path& target, const std::vector<uint8_t>& bytes,
                        std::string& error) {
  // Written beside the target and renamed over it, so a failed run leaves no partial file.
  std::filesystem::path temp = target;
  temp += ".make-bell-tmp";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    if (!file) {
      error = "cannot create " + temp.string() + ": " + std::strerror(errno);
      return false;
    }
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
      error = "cannot write " + temp.string() + ": " + std::strerror(errno);
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    error = "cannot replace " + target.string() + ": " + ec.message();
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  return true;
}

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: make-bell OUTPUT.wav\n"
               "Writes a synthesized bell: 2 seconds, 16-bit stereo, 44100 Hz.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    PrintUsage(stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '\0') {
    PrintUsage(stderr);
    return 1;
  }

  const std::vector<int16_t> samples = SynthesizeBell();
  pelorin::WavImageHeader header;
  header.channels = kChannels;
  header.bitsPerSample = 16;
  header.sampleRate = kRate;
  header.byteCount = int32_t(samples.size() * sizeof(int16_t));
  std::vector<uint8_t> image;
  pelorin::WriteWavImage(header, samples, image);
  if (image.size() != 44 + size_t(header.byteCount)) {
    std::fprintf(stderr, "make-bell: the WAV writer produced %zu bytes, expected %zu\n",
                 image.size(), 44 + size_t(header.byteCount));
    return 1;
  }

  std::string error;
  if (!WriteFileReplacing(argv[1], image, error)) {
    std::fprintf(stderr, "make-bell: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
