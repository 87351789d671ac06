#pragma once

#include <thread>
#include <vector>

namespace pelorin {

// The processors the calling thread may run on, dealt out among threads that work side by
// side, so that each keeps to its own share while the work lasts. Some virtual machines'
// schedulers keep a new thread on its starter's processor for a while, and two threads with a
// few milliseconds of work each then take turns on one processor; kept apart, they run at once.
// Nothing is held back where there are not two threads and two processors.
class ProcessorShares {
 public:
  // Keeps the calling thread to one share while it lives, then gives the thread back the
  // processors it had.
  class Stay {
   public:
    Stay(const Stay&) = delete;
    Stay& operator=(const Stay&) = delete;
    ~Stay();

   private:
    friend class ProcessorShares;
    Stay(const ProcessorShares& shares, int index);
    std::vector<int> before_;  // the thread's processors before, empty when nothing was changed
  };

  // The calling thread's processors, the one it is on first, to be shared among `threads`.
  explicit ProcessorShares(int threads);

  // The share of thread `index` (0 to threads - 1): every threads-th processor from the
  // index-th on, or one processor when there are fewer processors than threads.
  std::vector<int> Share(int index) const;

  [[nodiscard]] Stay Enter(int index) const { return Stay(*this, index); }

  // Keeps a thread the caller has just started to share `index` for the rest of its life. Set
  // from here, it moves at once; set by itself, it would first wait for a turn on the
  // processor it was started on.
  void Send(std::thread::native_handle_type thread, int index) const;

 private:
  std::vector<int> processors_;
  int threads_;
};

}  // namespace pelorin
