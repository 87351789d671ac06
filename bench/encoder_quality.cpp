// How much closer to the input the searching ADPCM encoder (AdpcmQuality::kHigh) decodes than
// the standard one, and what it costs. Prints, for synthetic clips at 8000 and 4000 Hz, the
// signal-to-noise ratio of each encoder's output as the project's decoder reproduces it, the
// gain and its average; then the median time of each encoder (and each kernel of the search)
// on 66 seconds of 8000 Hz mono, and of an in-memory conversion (load, mix-down, rate
// conversion, encoding) of 60 seconds of 44.1 kHz stereo to 8000 Hz with each. Compare the
// extra time with a whole `pelorin-cli convert` of such a file, which also reads and writes.
//
// Run on a Release build:
//
//   build/bench/encoder-quality [RUNS]
//
// RUNS (default 7) is how often each time is taken. The clips come from fixed generators, so
// the quality figures are the same in every run; the times are not.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <type_traits>
#include <vector>

#include "audiofile/wav_image_writer.h"
#include "engine/adpcm_decoder.h"
#include "engine/adpcm_encoder.h"
#include "engine/adpcm_search_encoder.h"
#include "engine/audio_engine.h"
#include "kivra/content_info.h"

namespace {

using Samples = std::vector<int16_t>;
using Bytes = std::vector<uint8_t>;
constexpr double kPi = std::numbers::pi;

// Uniform in [-1, 1) from a fixed linear congruential sequence.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed) {}
  double Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return double(int32_t(state_ >> 8) - (1 << 23)) / double(1 << 23);
  }

 private:
  uint32_t state_;
};

int16_t ToSample(double v) {
  return int16_t(std::clamp(std::lround(v), -32768L, 32767L));
}

// Three steady partials whose loudness swells and fades over three seconds.
Samples Tones(int rate, int frames) {
  Samples s;
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    const double swell = 0.6 + 0.4 * std::sin(2 * kPi * 0.3 * t);
    s.push_back(ToSample(swell * (9000 * std::sin(2 * kPi * 440 * t) +
                                  5000 * std::sin(2 * kPi * 659.3 * t) +
                                  2500 * std::sin(2 * kPi * 1318.5 * t))));
  }
  return s;
}

// A four-note chord struck once a second, the notes 30 ms apart, alternating between two
// chords; each note has six harmonics (those below 0.45 of the rate) that die away, the higher
// ones sooner.
Samples PluckedChords(int rate, int frames) {
  const double chords[2][4] = {{130.8, 196.0, 261.6, 329.6}, {110.0, 164.8, 220.0, 277.2}};
  Samples s;
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    const int bar = int(t);
    double v = 0;
    for (int note = 0; note < 4; ++note) {
      const double since = t - bar - 0.03 * note;
      if (since < 0) continue;
      for (int h = 1; h <= 6; ++h) {
        const double f = chords[bar % 2][note] * h;
        if (f > rate * 0.45) break;
        v += 6000.0 / h * std::exp(-since * (2.0 + 1.5 * h)) * std::sin(2 * kPi * f * since);
      }
    }
    s.push_back(ToSample(v));
  }
  return s;
}

// Noise through a resonance whose frequency wanders between 0.2 and 1.2 kHz, in bursts of
// 250 ms that rise and fall, with 120 ms of near silence between them; peak 20000.
Samples SpeechBursts(int rate, int frames) {
  Noise noise(99);
  std::vector<double> v;
  double y1 = 0, y2 = 0, peak = 0;
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    const double f = 500 + 400 * std::sin(2 * kPi * 1.7 * t) + 300 * std::sin(2 * kPi * 0.45 * t);
    const double r = 0.97;
    const double y = noise.Next() + 2 * r * std::cos(2 * kPi * f / rate) * y1 - r * r * y2;
    y2 = y1;
    y1 = y;
    const double phase = std::fmod(t, 0.37);
    const double envelope = phase < 0.25 ? std::sin(kPi * phase / 0.25) : 0.02;
    v.push_back(envelope * y);
    peak = std::max(peak, std::abs(envelope * y));
  }
  Samples s;
  for (double x : v) s.push_back(ToSample(20000 * x / peak));
  return s;
}

// White noise of peak 6000.
Samples WhiteNoise(int frames) {
  Noise noise(7);
  Samples s;
  for (int i = 0; i < frames; ++i) s.push_back(ToSample(6000 * noise.Next()));
  return s;
}

struct Clip {
  const char* name;
  Samples samples;
};

std::vector<Clip> MakeClips(int rate, double seconds) {
  const int frames = int(rate * seconds);
  return {{"tones", Tones(rate, frames)},
          {"plucked chords", PluckedChords(rate, frames)},
          {"speech-like bursts", SpeechBursts(rate, frames)},
          {"noise", WhiteNoise(frames)}};
}

template <class Encoder>
Bytes Encode(const Samples& samples, pelorin::AdpcmSearchEncoder::Kernel kernel =
                                         pelorin::AdpcmSearchEncoder::DefaultKernel()) {
  Encoder encoder;
  encoder.Reset();
  if constexpr (std::is_same_v<Encoder, pelorin::AdpcmSearchEncoder>) encoder.kernel = kernel;
  Bytes codes((samples.size() + 1) / 2);
  encoder.Encode(samples.data(), codes.data(), int32_t(samples.size()));
  return codes;
}

double SnrDb(const Samples& input, const Bytes& codes) {
  const Samples decoded = pelorin::DecodeAdpcm(codes, 1);
  double signal = 0, noise = 0;
  for (size_t i = 0; i < input.size(); ++i) {
    const double e = double(input[i]) - double(decoded[i]);
    signal += double(input[i]) * input[i];
    noise += e * e;
  }
  return 10 * std::log10(signal / noise);
}

template <class F>
double MedianMs(int runs, F&& run) {
  std::vector<double> ms;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    run();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// 60 seconds of 44.1 kHz stereo: chords on the left, speech-like bursts on the right.
Bytes ConversionInput() {
  constexpr int kRate = 44100;
  constexpr int kFrames = 60 * kRate;
  const Samples left = PluckedChords(kRate, kFrames);
  const Samples right = SpeechBursts(kRate, kFrames);
  Samples interleaved;
  for (int i = 0; i < kFrames; ++i) {
    interleaved.push_back(left[size_t(i)]);
    interleaved.push_back(right[size_t(i)]);
  }
  pelorin::WavImageHeader header;
  header.channels = 2;
  header.sampleRate = kRate;
  header.byteCount = int32_t(interleaved.size() * sizeof(int16_t));
  Bytes image;
  pelorin::WriteWavImage(header, interleaved, image);
  return image;
}

// What a conversion with the command line's defaults does to the clip, in memory.
bool Convert(const Bytes& image, pelorin::AdpcmQuality quality) {
  pelorin::AudioEngine engine;
  if (engine.Load(0, image.data(), int32_t(image.size())) != pelorin::kOk) return false;
  engine.MixDown(0);
  if (engine.ConvertRate(8000, 256) != pelorin::kOk) return false;
  pelorin::ContentInfo info;
  info.textCode = 2;
  Bytes out;
  return engine.EncodeKivra(0, 0, &info, out, quality) > 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  using pelorin::AdpcmEncoder;
  using pelorin::AdpcmSearchEncoder;

  std::printf("%-6s %-20s %12s %12s %9s\n", "rate", "clip", "standard dB", "high dB", "gain dB");
  std::vector<double> gains;
  for (int rate : {8000, 4000}) {
    for (const Clip& clip : MakeClips(rate, 10.0)) {
      const double standard = SnrDb(clip.samples, Encode<AdpcmEncoder>(clip.samples));
      const double high = SnrDb(clip.samples, Encode<AdpcmSearchEncoder>(clip.samples));
      std::printf("%-6d %-20s %12.2f %12.2f %+9.2f\n", rate, clip.name, standard, high,
                  high - standard);
      gains.push_back(high - standard);
    }
  }
  double sum = 0;
  for (double g : gains) sum += g;
  std::sort(gains.begin(), gains.end());
  const size_t n = gains.size();
  std::printf("average gain %+.2f dB, median %+.2f dB, least %+.2f dB over %zu clips\n\n",
              sum / double(n), (gains[n / 2 - 1] + gains[n / 2]) / 2, gains.front(), n);

  Samples long8k;
  for (const Clip& clip : MakeClips(8000, 16.5)) {
    long8k.insert(long8k.end(), clip.samples.begin(), clip.samples.end());
  }
  Bytes sink;
  const double encodeStandard = MedianMs(runs, [&] { sink = Encode<AdpcmEncoder>(long8k); });
  std::printf("encoding 66 s of 8000 Hz mono, median of %d runs:\n", runs);
  std::printf("  standard                %8.1f ms (%5.1f ns a sample)\n", encodeStandard,
              encodeStandard * 1e6 / double(long8k.size()));
  using Kernel = AdpcmSearchEncoder::Kernel;
  for (Kernel kernel : {Kernel::kAvx2, Kernel::kPortable}) {
    if (!AdpcmSearchEncoder::KernelAvailable(kernel)) continue;
    const double ms = MedianMs(runs, [&] { sink = Encode<AdpcmSearchEncoder>(long8k, kernel); });
    std::printf("  high, %-8s kernel     %8.1f ms (%5.1f ns a sample)\n",
                kernel == Kernel::kAvx2 ? "AVX2" : "portable", ms,
                ms * 1e6 / double(long8k.size()));
  }

  const Bytes image = ConversionInput();
  bool ok = true;
  const double convertStandard =
      MedianMs(runs, [&] { ok = Convert(image, pelorin::AdpcmQuality::kStandard) && ok; });
  const double convertHigh =
      MedianMs(runs, [&] { ok = Convert(image, pelorin::AdpcmQuality::kHigh) && ok; });
  if (!ok) {
    std::fprintf(stderr, "encoder-quality: a conversion failed\n");
    return 1;
  }
  std::printf(
      "converting 60 s of 44.1 kHz stereo to 8000 Hz in memory (no file reading or writing), "
      "median of %d runs:\n  standard %.1f ms, high %.1f ms (%s kernel): %.1f ms more\n",
      runs, convertStandard, convertHigh,
      AdpcmSearchEncoder::DefaultKernel() == AdpcmSearchEncoder::Kernel::kAvx2 ? "AVX2"
                                                                               : "portable",
      convertHigh - convertStandard);
  return 0;
}
