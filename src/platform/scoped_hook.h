#pragma once

namespace platform {

// The pattern of the test scripts that stand in for a dialog or the desktop: while an object of
// a class T derived from ScopedHook<T> lives, it is the active one of its kind; they nest, and
// the innermost answers.
template <class T>
class ScopedHook {
 public:
  ScopedHook(const ScopedHook&) = delete;
  ScopedHook& operator=(const ScopedHook&) = delete;

  // The innermost living script, or null when none lives.
  static T* active() { return active_; }

 protected:
  ScopedHook() : previous_(active_) { active_ = static_cast<T*>(this); }
  ~ScopedHook() { active_ = previous_; }

 private:
  static inline T* active_ = nullptr;
  T* previous_;
};

}  // namespace platform
