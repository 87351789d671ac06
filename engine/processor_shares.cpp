#include "engine/processor_shares.h"

#include <algorithm>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace pelorin {
namespace {

#if defined(__linux__)
std::vector<int> CallingThreadProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> processors;
  if (pthread_getaffinity_np(pthread_self(), sizeof set, &set) != 0) return processors;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) processors.push_back(cpu);
  }
  return processors;
}

bool KeepThreadTo(pthread_t thread, const std::vector<int>& processors) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (const int cpu : processors) CPU_SET(cpu, &set);
  return pthread_setaffinity_np(thread, sizeof set, &set) == 0;
}
#endif

}  // namespace

ProcessorShares::ProcessorShares(int threads) : threads_(std::max(threads, 1)) {
#if defined(__linux__)
  if (threads_ < 2) return;
  processors_ = CallingThreadProcessors();
  if (processors_.size() < 2) {
    processors_.clear();
    return;
  }
  // The thread that deals the shares keeps the processor it is on, and what it has in cache.
  const auto here = std::find(processors_.begin(), processors_.end(), sched_getcpu());
  if (here != processors_.end()) std::rotate(processors_.begin(), here, processors_.end());
#endif
}

std::vector<int> ProcessorShares::Share(int index) const {
  std::vector<int> share;
  if (processors_.empty() || index < 0) return share;
  const int count = static_cast<int>(processors_.size());
  if (count < threads_) {
    share.push_back(processors_[index % count]);
    return share;
  }
  for (int i = index % threads_; i < count; i += threads_) share.push_back(processors_[i]);
  return share;
}

void ProcessorShares::Send([[maybe_unused]] std::thread::native_handle_type thread,
                           [[maybe_unused]] int index) const {
#if defined(__linux__)
  const std::vector<int> share = Share(index);
  if (!share.empty()) KeepThreadTo(thread, share);
#endif
}

ProcessorShares::Stay::Stay([[maybe_unused]] const ProcessorShares& shares,
                            [[maybe_unused]] int index) {
#if defined(__linux__)
  const std::vector<int> share = shares.Share(index);
  if (share.empty()) return;
  std::vector<int> before = CallingThreadProcessors();
  if (!before.empty() && KeepThreadTo(pthread_self(), share)) before_ = std::move(before);
#endif
}

ProcessorShares::Stay::~Stay() {
#if defined(__linux__)
  if (!before_.empty()) KeepThreadTo(pthread_self(), before_);
#endif
}

}  // namespace pelorin
