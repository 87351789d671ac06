// Where the time of one conversion goes: each stage of the command line's work on one input
// file, timed on its own, the median of several runs.
//
//   build/bench/stage-benchmark FILE [RUNS]
//
// Stages: opening the file, reading and loading it a buffer at a time (parsing, 16-bit samples,
// mixing down as it reads, as a conversion does), mixing down (nothing left to do then),
// converting the rate to 8000 Hz, encoding the file image, and writing it (atomically, into
// the temporary folder); then the rate and encode stages as a conversion runs them, the codes
// made while the second thread still converts. Then how much a second thread gives on a burst of
// work as short as a stage, as the split rate conversion has: a virtual machine's scheduler may
// keep a new thread on its starter's processor for milliseconds, unless each is kept to a processor
// of its own.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audiofile/file_stream.h"
#include "engine/audio_engine.h"
#include "engine/processor_shares.h"
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

// Two bursts on two threads at once, each kept to its own processors or not; milliseconds.
double TwoThreads(bool kept) {
  double sinks[2] = {0.0, 0.0};
  const pelorin::ProcessorShares shares(kept ? 2 : 1);
  const Clock::time_point start = Clock::now();
  {
    const pelorin::ProcessorShares::Stay stay = shares.Enter(0);
    std::thread other([&sinks] { Burst(sinks[1]); });
    shares.Send(other.native_handle(), 1);
    Burst(sinks[0]);
    other.join();
  }
  const Clock::time_point end = Clock::now();
  if (sinks[0] == sinks[1] + 1.0) std::printf(" ");  // keeps the work
  return Milliseconds(end - start);
}

// Two bursts one after the other; milliseconds.
double OneThread() {
  double sinks[2] = {0.0, 0.0};
  const Clock::time_point start = Clock::now();
  Burst(sinks[0]);
  Burst(sinks[1]);
  const Clock::time_point end = Clock::now();
  if (sinks[0] == sinks[1] + 1.0) std::printf(" ");
  return Milliseconds(end - start);
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
  const char* names[] = {"open", "read+load", "mix down", "rate", "encode", "write"};
  std::vector<double> times[7];
  for (int run = 0; run < runs; ++run) {
    Clock::time_point t = Clock::now();
    const auto lap = [&](int stage) {
      const Clock::time_point now = Clock::now();
      times[stage].push_back(Milliseconds(now - t));
      t = now;
    };
    const std::unique_ptr<pelorin::FileStream> stream = pelorin::FileStream::Open(path);
    lap(0);
    if (!stream) {
      std::fprintf(stderr, "stage-benchmark: cannot read %s\n", path.c_str());
      return 1;
    }
    pelorin::AudioEngine engine;
    // As a conversion loads: read a buffer at a time and mixed down as it is read.
    if (engine.LoadMono(*kind == pelorin::InputKind::kAiff ? 1 : 0, *stream) != pelorin::kOk) {
      std::fprintf(stderr, "stage-benchmark: %s does not load\n", path.c_str());
      return 1;
    }
    lap(1);
    engine.MixDown(0);
    lap(2);
    engine.TrimFrames(pelorin::FramesWorthConverting(engine.Format(), 0, pelorin::kConversionTaps));
    pelorin::AudioEngine along = engine;  // for the two stages as a conversion runs them
    t = Clock::now();
    engine.ConvertRate(8000, pelorin::kConversionTaps);
    lap(3);
    pelorin::ContentInfo info;
    info.textCode = 2;
    std::vector<uint8_t> file;
    engine.EncodeKivra(0, 0, &info, file);
    lap(4);
    pelorin::WriteFileAtomically(target, file, nullptr);
    lap(5);
    // A conversion makes the codes while the second thread still converts the clip's end.
    along.ConvertRate(8000, pelorin::kConversionTaps, pelorin::AdpcmQuality::kStandard);
    along.EncodeKivra(0, 0, &info, file);
    lap(6);
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
  std::printf("rate and encode as a conversion runs them, the codes made along: %.2f ms\n",
              Median(times[6]));

  std::vector<double> one;
  std::vector<double> two;
  std::vector<double> kept;
  for (int run = 0; run < runs; ++run) {
    // The processors fall idle before each.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    one.push_back(OneThread());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    two.push_back(TwoThreads(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kept.push_back(TwoThreads(true));
  }
  std::printf(
      "two bursts of work: %.2f ms one after the other, %.2f ms on two threads at once, "
      "%.2f ms on two threads each kept to its own processor\n",
      Median(one), Median(two), Median(kept));
  return 0;
}
