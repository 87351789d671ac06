#include "engine/processor_shares.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace pelorin {
namespace {

std::vector<int> Mine() {
  cpu_set_t set;
  CPU_ZERO(&set);
  sched_getaffinity(0, sizeof set, &set);
  std::vector<int> cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

// The shares of a few thread counts are disjoint and together the thread's processors (or, with
// more threads than processors, one processor each); a Stay keeps the thread to its share and
// gives back the processors it had; a thread sent to a share keeps to it.
TEST(ProcessorShares, SharesPartTheProcessorsAndAStayGivesThemBack) {
  const std::vector<int> all = Mine();
  if (all.size() < 2) GTEST_SKIP() << "one processor: nothing to share";
  for (const int threads : {2, 3, static_cast<int>(all.size()) + 1}) {
    SCOPED_TRACE(threads);
    const ProcessorShares shares(threads);
    std::vector<int> seen;
    for (int t = 0; t < threads; ++t) {
      const std::vector<int> share = shares.Share(t);
      ASSERT_FALSE(share.empty());
      if (threads > static_cast<int>(all.size())) {
        EXPECT_EQ(share.size(), 1u);
        continue;
      }
      seen.insert(seen.end(), share.begin(), share.end());
      {
        const ProcessorShares::Stay stay = shares.Enter(t);
        std::vector<int> now = Mine();
        std::vector<int> wanted = share;
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(now, wanted);
      }
      EXPECT_EQ(Mine(), all);
    }
    if (threads > static_cast<int>(all.size())) continue;
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, all);
  }
  EXPECT_TRUE(ProcessorShares(1).Share(0).empty());

  // A thread sent to a share keeps to it.
  const ProcessorShares two(2);
  std::atomic<bool> sent = false;
  std::vector<int> seen;
  std::thread other([&] {
    sent.wait(false);
    seen = Mine();
  });
  two.Send(other.native_handle(), 1);
  sent = true;
  sent.notify_one();
  other.join();
  std::vector<int> wanted = two.Share(1);
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(seen, wanted);
}

}  // namespace
}  // namespace pelorin
