#pragma once

#include <pthread.h>

#include <functional>

namespace kernelcad {

// A function run on a thread of its own that allocates nothing, to share work of the thread that
// starts it. Not a std::thread: its bookkeeping is freed on the new thread, which makes glibc
// give that thread a heap, and that changes which heap each thread started later gets. The
// suggested points then took a heap without the first frame's freed memory: 62 MB more at the
// peak of a 1M-vertex scan, in every start. So `work` must not allocate either.
class BareThread {
 public:
  // Starts `work` on its thread.
  explicit BareThread(std::function<void()> work);
  // Waits for a thread still running; work that never had one is dropped.
  ~BareThread();
  BareThread(const BareThread&) = delete;
  BareThread& operator=(const BareThread&) = delete;

  // Waits for `work` to end. When no thread could be had, `work` runs here, now: it is done
  // either way once this returns.
  void join();
  // Whether `work` runs on a thread of its own and has not been joined.
  bool running() const { return running_; }

 private:
  static void* run(void* self);

  std::function<void()> work_;
  pthread_t thread_{};
  bool running_ = false;  // on its thread, not yet joined
  bool pending_ = false;  // to be run by join(): no thread could be had
};

}  // namespace kernelcad
