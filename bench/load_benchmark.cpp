// How long AudioEngine::Load takes on a 10-minute 44.1 kHz 16-bit stereo WAV held in memory,
// against a floor measured in the same run: copying the image and turning its bytes into
// samples in a plain loop, which any loader has to do at least. The target is a Load median
// of at most twice the floor's median; the last line of output says whether it was met, and
// the exit status is 1 when it was not.
//
// Run on a Release build:
//
//   build/bench/load-benchmark
//
// Output is always the console table (it carries the verdict); for JSON as well, add
// --benchmark_out=FILE --benchmark_out_format=json.
//
// Before timing anything, the loaded samples are compared with the ones the image was made
// from, so a fast but wrong Load cannot pass.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "audiofile/wav_image_writer.h"
#include "engine/audio_engine.h"

namespace {

constexpr int32_t kRate = 44100;
constexpr uint16_t kChannels = 2;
constexpr int32_t kFrames = 10 * 60 * kRate;
constexpr size_t kHeaderBytes = 44;
constexpr double kTargetRatio = 2.0;

// Full-range noise from a fixed linear congruential generator: the same image every run, and
// nothing a loader could shortcut.
std::vector<int16_t> MakeSamples() {
  std::vector<int16_t> samples(size_t(kFrames) * kChannels);
  uint32_t state = 0x2545F491u;
  for (int16_t& s : samples) {
    state = state * 1664525u + 1013904223u;
    s = int16_t(uint16_t(state >> 16));
  }
  return samples;
}

std::vector<int16_t> FloorDecode(const std::vector<uint8_t>& image) {
  const std::vector<uint8_t> copy(image.begin(), image.end());
  const size_t count = (copy.size() - kHeaderBytes) / 2;
  std::vector<int16_t> samples(count);
  const uint8_t* bytes = copy.data() + kHeaderBytes;
  for (size_t i = 0; i < count; ++i) {
    samples[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  }
  return samples;
}

bool CheckLoad(const std::vector<uint8_t>& image, const std::vector<int16_t>& expected) {
  pelorin::AudioEngine engine;
  const int32_t rc = engine.Load(0, image.data(), int32_t(image.size()));
  if (rc != pelorin::kOk) {
    std::fprintf(stderr, "load-benchmark: Load failed with %d\n", int(rc));
    return false;
  }
  const pelorin::PcmFormat& f = engine.Format();
  if (f.channels != kChannels || f.bitsPerSample != 16 || f.sampleRate != kRate ||
      f.frameCount != kFrames) {
    std::fprintf(stderr,
                 "load-benchmark: Load reported %u channels, %u bits, %d Hz, %d frames; "
                 "expected %u, 16, %d, %d\n",
                 unsigned(f.channels), unsigned(f.bitsPerSample), int(f.sampleRate),
                 int(f.frameCount), unsigned(kChannels), int(kRate), int(kFrames));
    return false;
  }
  if (engine.Samples() != expected) {
    std::fprintf(stderr, "load-benchmark: Load returned different samples from the image's\n");
    return false;
  }
  if (FloorDecode(image) != expected) {
    std::fprintf(stderr, "load-benchmark: the floor's decoding is wrong\n");
    return false;
  }
  return true;
}

void BenchLoad(benchmark::State& state, const std::vector<uint8_t>& image) {
  for (auto _ : state) {
    pelorin::AudioEngine engine;
    const int32_t rc = engine.Load(0, image.data(), int32_t(image.size()));
    if (rc != pelorin::kOk) {
      state.SkipWithError("Load failed");
      break;
    }
    benchmark::DoNotOptimize(engine.Samples().data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}

void BenchFloor(benchmark::State& state, const std::vector<uint8_t>& image) {
  for (auto _ : state) {
    std::vector<int16_t> samples = FloorDecode(image);
    benchmark::DoNotOptimize(samples.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}

// The usual console output, plus the medians kept for the verdict.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  // Plain text: the table is meant to be pasted into reports.
  MedianReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
          !run.error_occurred) {
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::vector<uint8_t> image;
  {
    const std::vector<int16_t> samples = MakeSamples();
    pelorin::WavImageHeader header;
    header.channels = kChannels;
    header.bitsPerSample = 16;
    header.sampleRate = kRate;
    header.byteCount = int32_t(samples.size() * sizeof(int16_t));
    pelorin::WriteWavImage(header, samples, image);
    if (image.size() != kHeaderBytes + size_t(header.byteCount)) {
      std::fprintf(stderr, "load-benchmark: the WAV writer produced %zu bytes, expected %zu\n",
                   image.size(), kHeaderBytes + size_t(header.byteCount));
      return 1;
    }
    if (!CheckLoad(image, samples)) return 1;
  }

  const auto configure = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9)->ReportAggregatesOnly(true);
  };
  configure(benchmark::RegisterBenchmark(
      "Load", [&image](benchmark::State& state) { BenchLoad(state, image); }));
  configure(benchmark::RegisterBenchmark(
      "Floor", [&image](benchmark::State& state) { BenchFloor(state, image); }));

  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto load = reporter.medians.find("Load");
  const auto floor = reporter.medians.find("Floor");
  if (load == reporter.medians.end() || floor == reporter.medians.end() || floor->second <= 0) {
    return 0;  // filtered down to one benchmark: nothing to compare
  }
  const double ratio = load->second / floor->second;
  const bool met = ratio <= kTargetRatio;
  std::printf(
      "Load median %.1f ms, floor median %.1f ms: %.2fx the floor (target at most %.0fx): %s\n",
      load->second, floor->second, ratio, kTargetRatio, met ? "met" : "MISSED");
  return met ? 0 : 1;
}
