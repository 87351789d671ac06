// How long AudioEngine::ConvertRate takes on 60 seconds of mono sound converted to 8000 Hz,
// from 44100 Hz (a rate pair with a coefficient table) and from 22254 Hz (one without: the
// coefficients are computed once per phase and cached), with the default kernel (run with
// PELORIN_KERNEL=portable for the other). The clip is loaded again before every run, outside
// the timed part. OneChain times the same work on one thread with each kernel of the
// resampler, coefficients included, and counts its multiply-adds per second.
//
// Run on a Release build:
//
//   build/bench/resample-benchmark
//
// For JSON as well, add --benchmark_out=FILE --benchmark_out_format=json. The AVX2 runs are
// skipped on a processor without it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audiofile/wav_image_writer.h"
#include "engine/audio_engine.h"
#include "engine/clip_source.h"
#include "engine/mono_resampler.h"
#include "engine/resample_kernel.h"

namespace {

constexpr int32_t kSeconds = 60;
constexpr int32_t kTargetRate = 8000;
constexpr int32_t kTaps = 256;
// The engine's limits for tabulated coefficients.
constexpr int32_t kTablePhaseLimit = 640;
constexpr int32_t kTableSizeLimit = 81920;

using pelorin::ResampleKernel;

// A tone plus noise from a fixed generator: the same samples every run, nothing a converter
// could shortcut.
std::vector<int16_t> MakeSamples(int32_t rate) {
  std::vector<int16_t> samples(size_t(kSeconds) * size_t(rate));
  uint32_t state = 0x2545F491u;
  for (size_t i = 0; i < samples.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    const double tone = 12000.0 * std::sin(double(i) * 0.031);
    const double noise = double(int16_t(uint16_t(state >> 16))) / 4.0;
    samples[i] = int16_t(std::lround(tone + noise));
  }
  return samples;
}

std::vector<uint8_t> MakeImage(int32_t rate) {
  const std::vector<int16_t> samples = MakeSamples(rate);
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

void BenchOneChain(benchmark::State& state, int32_t sourceRate, ResampleKernel kernel) {
  if (!pelorin::ResampleKernelAvailable(kernel)) {
    state.SkipWithError("this processor lacks the kernel's instructions");
    return;
  }
  const std::vector<int16_t> samples = MakeSamples(sourceRate);
  const int32_t expectedFrames = kSeconds * kTargetRate;
  std::vector<int16_t> out(size_t(expectedFrames) + 1);
  for (auto _ : state) {
    pelorin::ClipSource clip(samples, 1, sourceRate, 0, int32_t(samples.size()));
    pelorin::ResamplerOptions options;
    options.kernel = kernel;
    pelorin::MonoResampler resampler(&clip, options);
    if (resampler.Setup(kTargetRate, kTaps, kTablePhaseLimit, kTableSizeLimit) != 0 ||
        resampler.Read(out.data(), int32_t(out.size())) != expectedFrames) {
      state.SkipWithError("the resampler failed or gave the wrong length");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["multiply_adds"] = benchmark::Counter(
      double(state.iterations()) * expectedFrames * kTaps, benchmark::Counter::kIsRate);
}

}  // namespace

#define PELORIN_RESAMPLE_BENCHMARK(function, name, ...) \
  BENCHMARK_CAPTURE(function, name, __VA_ARGS__)        \
      ->Unit(benchmark::kMillisecond)                   \
      ->UseRealTime()                                   \
      ->Repetitions(5)                                  \
      ->ReportAggregatesOnly(true)

PELORIN_RESAMPLE_BENCHMARK(BenchConvertRate, Mono44100To8000, 44100);
PELORIN_RESAMPLE_BENCHMARK(BenchConvertRate, Mono22254To8000, 22254);
PELORIN_RESAMPLE_BENCHMARK(BenchOneChain, Mono44100To8000Portable, 44100,
                           ResampleKernel::kPortable);
PELORIN_RESAMPLE_BENCHMARK(BenchOneChain, Mono44100To8000Avx2, 44100, ResampleKernel::kAvx2);
PELORIN_RESAMPLE_BENCHMARK(BenchOneChain, Mono22254To8000Portable, 22254,
                           ResampleKernel::kPortable);
PELORIN_RESAMPLE_BENCHMARK(BenchOneChain, Mono22254To8000Avx2, 22254, ResampleKernel::kAvx2);

BENCHMARK_MAIN();
