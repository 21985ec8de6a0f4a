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
  // Starts `work`; when no thread can be had, started() is false and nothing runs.
  explicit BareThread(std::function<void()> work);
  ~BareThread() { join(); }
  BareThread(const BareThread&) = delete;
  BareThread& operator=(const BareThread&) = delete;

  bool started() const { return started_; }
  // Waits for `work` to end; at once when it has, or never started.
  void join();

 private:
  static void* run(void* self);

  std::function<void()> work_;
  pthread_t thread_{};
  bool started_ = false;
  bool running_ = false;
};

}  // namespace kernelcad
