// How long AudioEngine::ConvertRate takes on 60 seconds of mono sound converted to 8000 Hz,
// from 44100 Hz (a rate pair with a coefficient table) and from 22254 Hz (one without: the
// coefficients are computed once per phase and cached). The clip is loaded again before every
// run, outside the timed part.
//
// Run on a Release build:
//
//   build/bench/resample-benchmark
//
// For JSON as well, add --benchmark_out=FILE --benchmark_out_format=json.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audiofile/wav_image_writer.h"
#include "engine/audio_engine.h"

namespace {

constexpr int32_t kSeconds = 60;
constexpr int32_t kTargetRate = 8000;
constexpr int32_t kTaps = 256;

// A tone plus noise from a fixed generator: the same image every run, nothing a converter
// could shortcut.
std::vector<uint8_t> MakeImage(int32_t rate) {
  std::vector<int16_t> samples(size_t(kSeconds) * size_t(rate));
  uint32_t state = 0x2545F491u;
  for (size_t i = 0; i < samples.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    const double tone = 12000.0 * std::sin(double(i) * 0.031);
    const double noise = double(int16_t(uint16_t(state >> 16))) / 4.0;
    samples[i] = int16_t(std::lround(tone + noise));
  }
  pelorin::WavImageHeader header;
  header.channels = 1;
  header.bitsPerSample = 16;
  header.sampleRate = rate;
  header.byteCount = int32_t(samples.size() * sizeof(int16_t));
  std::vector<uint8_t> image;
  pelorin::WriteWavImage(header, samples, image);
  return image;
}

void BenchConvertRate(benchmark::State& state, int32_t sourceRate) {
  const std::vector<uint8_t> image = MakeImage(sourceRate);
  const int32_t expectedFrames = kSeconds * kTargetRate;
  for (auto _ : state) {
    state.PauseTiming();
    pelorin::AudioEngine engine;
    if (engine.Load(0, image.data(), int32_t(image.size())) != pelorin::kOk) {
      state.SkipWithError("Load failed");
      break;
    }
    state.ResumeTiming();
    const int32_t rc = engine.ConvertRate(kTargetRate, kTaps);
    if (rc != pelorin::kOk || engine.Format().frameCount != expectedFrames) {
      state.SkipWithError("ConvertRate failed or gave the wrong length");
      break;
    }
    benchmark::DoNotOptimize(engine.Samples().data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * expectedFrames);
}

}  // namespace

BENCHMARK_CAPTURE(BenchConvertRate, Mono44100To8000, 44100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BenchConvertRate, Mono22254To8000, 22254)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
