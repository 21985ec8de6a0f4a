#include "kernelcad/core/bare_thread.h"

#include <utility>

namespace kernelcad {

BareThread::BareThread(std::function<void()> work) : work_(std::move(work)) {
  running_ = pthread_create(&thread_, nullptr, &BareThread::run, this) == 0;
  pending_ = !running_;
}

BareThread::~BareThread() {
  if (running_) pthread_join(thread_, nullptr);
}

void BareThread::join() {
  if (std::exchange(running_, false)) pthread_join(thread_, nullptr);
  if (std::exchange(pending_, false)) work_();
}

void* BareThread::run(void* self) {
  static_cast<BareThread*>(self)->work_();
  return nullptr;
}

}  // namespace kernelcad
