#pragma once
// A field shared between the user-interface thread and the audio thread.
//
// The engine's settings are single values written by one thread and read by the other
// at its next buffer; a stale read for one buffer is harmless. Relaxed atomics give
// exactly that with plain loads and stores on x86-64, and keep such fields out of the
// reach of the compiler's assumption that nothing else changes them (and of
// ThreadSanitizer's race reports).
#include <atomic>

template <class T>
class Relaxed {
 public:
  constexpr Relaxed(T value = T{}) noexcept : v_(value) {}
  Relaxed(const Relaxed& other) noexcept : v_(other.load()) {}
  Relaxed& operator=(const Relaxed& other) noexcept {
    store(other.load());
    return *this;
  }

  T load() const noexcept { return v_.load(std::memory_order_relaxed); }
  void store(T value) noexcept { v_.store(value, std::memory_order_relaxed); }

  operator T() const noexcept { return load(); }
  Relaxed& operator=(T value) noexcept {
    store(value);
    return *this;
  }
  Relaxed& operator+=(T d) noexcept {
    store(load() + d);
    return *this;
  }
  Relaxed& operator-=(T d) noexcept {
    store(load() - d);
    return *this;
  }

 private:
  std::atomic<T> v_;
};
