#include "control/midi_input_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

MidiInputWatch::~MidiInputWatch() { Stop(); }

bool MidiInputWatch::Watch(std::vector<int> descriptors, WakeFn wake) {
  std::sort(descriptors.begin(), descriptors.end());
  descriptors.erase(std::unique(descriptors.begin(), descriptors.end()), descriptors.end());
  if (Running() && descriptors == watched_ && wake == wake_) return true;
  Stop();
  if (descriptors.empty()) return true;

  control_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (control_ < 0) return false;
  stop_.store(false);
  rang_.store(false);
  lost_.store(false);
  wakes_.store(0);
  emptyRings_ = 0;
  try {
    thread_ = std::thread(&MidiInputWatch::Run, this, control_, descriptors, wake);
  } catch (const std::system_error&) {
    close(control_);
    control_ = -1;
    return false;
  }
  watched_ = std::move(descriptors);
  wake_ = wake;
  return true;
}

void MidiInputWatch::Stop() {
  if (thread_.joinable()) {
    stop_.store(true, std::memory_order_release);
    Signal();
    thread_.join();
  }
  if (control_ >= 0) close(control_);
  control_ = -1;
  watched_.clear();
  wake_ = nullptr;
  rang_.store(false);
  lost_.store(false);
}

void MidiInputWatch::Rearm(bool readSomething) {
  // Only a watcher that rang waits for this; the check keeps the common case (the poll
  // found the watcher armed) free of a system call.
  if (!rang_.load(std::memory_order_acquire)) return;
  emptyRings_ = readSomething ? 0 : emptyRings_ + 1;
  if (emptyRings_ >= kStuckRings && AnyReadable()) {
    // Left rung: the watcher waits for a re-arm that does not come, and the owner polls.
    lost_.store(true, std::memory_order_release);
    return;
  }
  if (rang_.exchange(false, std::memory_order_acq_rel)) Signal();
}

bool MidiInputWatch::AnyReadable() const {
  std::vector<pollfd> fds;
  for (int fd : watched_) fds.push_back({fd, POLLIN, 0});
  if (poll(fds.data(), fds.size(), 0) <= 0) return false;
  for (const pollfd& p : fds)
    if (p.revents & POLLIN) return true;
  return false;
}

void MidiInputWatch::Signal() {
  const uint64_t one = 1;
  // The counter cannot overflow in practice; a failed write leaves it already non-zero.
  [[maybe_unused]] const ssize_t n = write(control_, &one, sizeof one);
}

void MidiInputWatch::Run(int control, std::vector<int> descriptors, WakeFn wake) {
  // Entry 0 is the control descriptor; the inputs follow. While the watcher has rung,
  // only entry 0 is polled, so a descriptor that stays readable until the reader runs is
  // not seen again and again.
  std::vector<pollfd> fds;
  fds.push_back({control, POLLIN, 0});
  for (int fd : descriptors) fds.push_back({fd, POLLIN, 0});

  for (;;) {
    const bool armed = !rang_.load(std::memory_order_acquire);
    const nfds_t count = armed ? fds.size() : 1;
    for (pollfd& p : fds) p.revents = 0;
    if (poll(fds.data(), count, -1) < 0) {
      if (errno == EINTR) continue;
      // poll itself failing (out of memory for its tables) leaves no way to watch:
      // hand the inputs back to the timer rather than leave them unread.
      lost_.store(true, std::memory_order_release);
      if (wake) wake();
      return;
    }
    if (fds[0].revents) {
      uint64_t value;
      [[maybe_unused]] const ssize_t n = read(control, &value, sizeof value);
      if (stop_.load(std::memory_order_acquire)) return;
      continue;  // re-armed (or a stale signal): look at rang_ again
    }
    if (!armed) continue;
    bool ready = false;
    for (size_t i = 1; i < fds.size(); ++i) {
      const short r = fds[i].revents;
      if (r & (POLLERR | POLLHUP | POLLNVAL)) {
        // A negative descriptor is skipped by poll: this one is never looked at again.
        fds[i].fd = -1;
        lost_.store(true, std::memory_order_release);
        ready = true;  // whatever it still holds is read, and the timer takes over
      } else if (r & POLLIN) {
        ready = true;
      }
    }
    if (!ready) continue;
    rang_.store(true, std::memory_order_release);
    wakes_.fetch_add(1, std::memory_order_relaxed);
    if (wake) wake();
  }
}
