#pragma once
// Fixed-capacity single-producer single-consumer queue: one thread pushes, one pops,
// neither waits nor allocates. Used for hand-offs from the audio thread.
#include <array>
#include <atomic>
#include <cstddef>

template <class T, size_t Capacity>
class SpscQueue {
  static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

 public:
  // Producer side. False when full: the caller keeps the item and tries again later.
  bool push(const T& item) noexcept {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) == Capacity) return false;
    slots_[head & (Capacity - 1)] = item;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

  // Consumer side. False when empty.
  bool pop(T& item) noexcept {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    item = slots_[tail & (Capacity - 1)];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Producer side: room for `n` more items?
  bool has_room(size_t n) const noexcept {
    return Capacity - (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire)) >= n;
  }

 private:
  std::array<T, Capacity> slots_{};
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
};
