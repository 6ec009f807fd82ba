// The locks of the platform's own state: a futex word (C++20 atomic wait), as Wine's ntdll builds its
// critical sections. A bus scan sends thousands of requests, and each takes the handle table's, the kernel's,
// the driver's mutex and the HAL's in turn: uncontended, a lock is one atomic exchange in and one out.
#pragma once
#include <atomic>

namespace kvplat {

// Not recursive; meets Lockable, for std::lock_guard.
class Lock {
 public:
  bool try_lock() {
    int expected = 0;
    return state_.compare_exchange_strong(expected, 1, std::memory_order_acquire);
  }
  void lock() {
    if (try_lock()) return;
    // 2: held, with waiters perhaps; whoever takes it this way leaves it at 2, so its unlock wakes one.
    while (state_.exchange(2, std::memory_order_acquire) != 0) state_.wait(2, std::memory_order_relaxed);
  }
  void unlock() {
    if (state_.exchange(0, std::memory_order_release) == 2) state_.notify_one();
  }

 private:
  std::atomic<int> state_{0};  // 0 free, 1 held, 2 held and perhaps waited for
};

// Taken again by the thread that holds it, as the kernel's mutex objects are.
class RecursiveLock {
 public:
  void lock() {
    if (owner_.load(std::memory_order_relaxed) == Self()) {
      ++depth_;
      return;
    }
    lock_.lock();
    owner_.store(Self(), std::memory_order_relaxed);
    depth_ = 1;
  }
  void unlock() {
    if (--depth_ != 0) return;
    owner_.store(nullptr, std::memory_order_relaxed);
    lock_.unlock();
  }

 private:
  static const void *Self() {
    static thread_local const char tag = 0;
    return &tag;
  }
  Lock lock_;
  std::atomic<const void *> owner_{nullptr};
  unsigned depth_ = 0;
};

}  // namespace kvplat
