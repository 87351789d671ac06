// Where the time of one conversion goes: each stage of the command line's work on one input
// file, timed on its own, the median of several runs.
//
//   build/bench/stage-benchmark FILE [RUNS]
//
// Stages: reading the file whole, loading it (parsing, 16-bit samples, mixing down as it reads,
// as a conversion does), mixing down (nothing left to do then), converting the rate to
// 8000 Hz, encoding the file image, and writing it (atomically, into the temporary folder).
// Then how much a second thread gives on a burst of work as short as a stage: the rate
// conversion splits in two, and a virtual machine may take milliseconds to run its second
// processor.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/audio_engine.h"
#include "kivra/content_info.h"
#include "pipeline/conversion.h"
#include "pipeline/file_system.h"
#include "pipeline/input_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A chain of multiply-adds no compiler can shorten, about 2.5 ms of one processor.
void Burst(double& sink) {
  double x = 1.0;
  for (int i = 0; i < 1500000; ++i) x = x * 1.0000001 + 1e-9;
  sink += x;
}

// Two bursts one after the other, then on two threads at once; milliseconds each.
std::pair<double, double> BurstTimes() {
  double sinks[2] = {0.0, 0.0};
  const Clock::time_point start = Clock::now();
  Burst(sinks[0]);
  Burst(sinks[1]);
  const Clock::time_point middle = Clock::now();
  std::thread other([&sinks] { Burst(sinks[1]); });
  Burst(sinks[0]);
  other.join();
  const Clock::time_point end = Clock::now();
  if (sinks[0] == sinks[1] + 1.0) std::printf(" ");  // keeps the work
  return {Milliseconds(middle - start), Milliseconds(end - middle)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: stage-benchmark FILE [RUNS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  const std::optional<pelorin::InputKind> kind = pelorin::InputKindFromName(path);
  if (!kind) {
    std::fprintf(stderr, "stage-benchmark: %s is not a .wav or .aif file\n", path.c_str());
    return 1;
  }
  const std::string target =
      (std::filesystem::temp_directory_path() / "pelorin-stage-benchmark.mmf").string();
  const char* names[] = {"read", "load", "mix down", "rate", "encode", "write"};
  std::vector<double> times[6];
  for (int run = 0; run < runs; ++run) {
    Clock::time_point t = Clock::now();
    const auto lap = [&](int stage) {
      const Clock::time_point now = Clock::now();
      times[stage].push_back(Milliseconds(now - t));
      t = now;
    };
    const std::optional<std::vector<uint8_t>> image = pelorin::ReadWholeFile(path);
    lap(0);
    if (!image) {
      std::fprintf(stderr, "stage-benchmark: cannot read %s\n", path.c_str());
      return 1;
    }
    pelorin::AudioEngine engine;
    // As a conversion loads: mixed down as it is read.
    if (engine.LoadMono(*kind == pelorin::InputKind::kAiff ? 1 : 0, image->data(),
                        static_cast<int32_t>(image->size())) != pelorin::kOk) {
      std::fprintf(stderr, "stage-benchmark: %s does not load\n", path.c_str());
      return 1;
    }
    lap(1);
    engine.MixDown(0);
    lap(2);
    engine.TrimFrames(pelorin::FramesWorthConverting(engine.Format(), 0, pelorin::kConversionTaps));
    engine.ConvertRate(8000, pelorin::kConversionTaps);
    lap(3);
    pelorin::ContentInfo info;
    info.textCode = 2;
    std::vector<uint8_t> file;
    engine.EncodeKivra(0, 0, &info, file);
    lap(4);
    pelorin::WriteFileAtomically(target, file, nullptr);
    lap(5);
  }
  std::filesystem::remove(target);
  double total = 0;
  std::printf("stage      median ms (of %d runs)\n", runs);
  for (int stage = 0; stage < 6; ++stage) {
    const double m = Median(times[stage]);
    total += m;
    std::printf("%-10s %8.2f\n", names[stage], m);
  }
  std::printf("%-10s %8.2f\n", "total", total);

  std::vector<double> one;
  std::vector<double> two;
  for (int run = 0; run < runs; ++run) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the processors fall idle
    const auto [sequential, parallel] = BurstTimes();
    one.push_back(sequential);
    two.push_back(parallel);
  }
  std::printf("two bursts of work: %.2f ms one after the other, %.2f ms on two threads at once\n",
              Median(one), Median(two));
  return 0;
}
