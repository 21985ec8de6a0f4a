#include "kernelcad/core/bare_thread.h"

#include <utility>

namespace kernelcad {

BareThread::BareThread(std::function<void()> work) : work_(std::move(work)) {
  started_ = running_ = pthread_create(&thread_, nullptr, &BareThread::run, this) == 0;
}

void BareThread::join() {
  if (std::exchange(running_, false)) pthread_join(thread_, nullptr);
}

void* BareThread::run(void* self) {
  static_cast<BareThread*>(self)->work_();
  return nullptr;
}

}  // namespace kernelcad
