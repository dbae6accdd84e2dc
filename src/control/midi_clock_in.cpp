// MIDI clock in: the queue from the input path and the tempo line fitted on the audio thread.
#include "control/midi_clock_in.h"

namespace {
constexpr uint32_t kTimingClock = 0xF8;
constexpr uint32_t kStart = 0xFA;
constexpr uint32_t kContinue = 0xFB;
constexpr uint32_t kStop = 0xFC;
constexpr uint32_t kSongPosition = 0xF2;
constexpr int kTicksPerSixteenth = 6;
}  // namespace

bool MidiClockIn::IsClockMessage(uint32_t message) noexcept {
  const uint32_t status = message & 0xFF;
  return status == kTimingClock || status == kStart || status == kContinue || status == kStop ||
         status == kSongPosition;
}

bool MidiClockIn::Receive(uint32_t message, int64_t timeNs) noexcept {
  if (!IsClockMessage(message)) return false;
  if (!queue_.push(Event{message, timeNs})) dropped_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void MidiClockIn::Take(const Event& event) noexcept {
  switch (event.message & 0xFF) {
    case kTimingClock:
      Tick(event.timeNs);
      break;
    case kStart:
      // The song starts at the next tick, from its beginning.
      nextSongTick_ = 0;
      armed_ = true;
      jumpPending_ = true;
      rolling_ = false;
      break;
    case kContinue:
      // It goes on from where it stopped (or from where a Song Position put it); the loops
      // have been playing meanwhile, so they are put back on its bar.
      armed_ = true;
      jumpPending_ = true;
      rolling_ = false;
      break;
    case kStop:
      rolling_ = false;
      armed_ = false;
      break;
    case kSongPosition: {
      const int64_t sixteenths = ((event.message >> 8) & 0x7F) | ((event.message >> 16) & 0x7F) << 7;
      nextSongTick_ = sixteenths * kTicksPerSixteenth;
      jumpPending_ = true;
      break;
    }
    default:
      break;
  }
}

void MidiClockIn::Tick(int64_t timeNs) noexcept {
  if (count_ > 0) {
    const double gap = static_cast<double>(timeNs - times_[newest_]) * 1e-9;
    // A tick long after the last one (the clock paused) or before it (a confused stamp)
    // begins a new line: the old ticks say nothing about the tempo now.
    // The old period goes with them, or a clock that came back much slower would be
    // measured against it and begin a new line on every tick, never to be followed again.
    if (gap < 0.0 || (period_ > 0.0 && gap > 3.0 * period_)) {
      count_ = 0;
      ticksSeen_ = 0;
      period_ = 0.0;
    }
  }
  newest_ = (newest_ + 1) % kWindow;
  times_[newest_] = timeNs;
  if (count_ < kWindow) ++count_;
  if (ticksSeen_ < kLockTicks) ++ticksSeen_;
  Refit();

  if (armed_) {
    armed_ = false;
    rolling_ = true;
  }
  if (rolling_) {
    if (jumpPending_) {
      jumpPending_ = false;
      ++jumps_;
    }
    songTick_ = nextSongTick_;
    nextSongTick_ = songTick_ + 1;
  }
}

void MidiClockIn::Refit() noexcept {
  if (count_ < 2) {
    fitOffset_ = 0.0;
    return;
  }
  // x: tick number with the newest at 0; y: seconds relative to the newest arrival.
  const int n = count_;
  const double meanX = -(n - 1) * 0.5;
  double meanY = 0.0;
  for (int k = 0; k < n; ++k) {
    const int index = (newest_ - k + kWindow) % kWindow;
    meanY += static_cast<double>(times_[index] - times_[newest_]) * 1e-9;
  }
  meanY /= n;
  double sxy = 0.0;
  for (int k = 0; k < n; ++k) {
    const int index = (newest_ - k + kWindow) % kWindow;
    const double x = -k - meanX;
    sxy += x * (static_cast<double>(times_[index] - times_[newest_]) * 1e-9 - meanY);
  }
  const double sxx = n * (static_cast<double>(n) * n - 1.0) / 12.0;
  const double slope = sxy / sxx;
  if (!(slope > 0.0)) return;  // keeps the last good line
  period_ = slope;
  fitOffset_ = meanY - slope * meanX;  // the line at x = 0

  if (ticksSeen_ >= kLockTicks) {
    const double bpm = 60.0 / (kTicksPerBeat * period_);
    const bool inRange = bpm >= kMinBpm && bpm <= kMaxBpm;
    if (!inRange && inRange_) {
      outOfRangeBpm_.store(bpm, std::memory_order_relaxed);
      outOfRange_.fetch_add(1, std::memory_order_relaxed);
    }
    inRange_ = inRange;
  }
}

void MidiClockIn::Forget() noexcept {
  count_ = 0;
  ticksSeen_ = 0;
  rolling_ = false;
  armed_ = false;
  // Ticks that come back without a Start or Continue give a tempo but no position.
  jumpPending_ = true;
}

void MidiClockIn::Read(const SyncBlock& block, SyncReading* reading) noexcept {
  Event event;
  while (queue_.pop(event)) Take(event);

  if (count_ > 0 && period_ > 0.0) {
    const double since = static_cast<double>(block.timeNs - times_[newest_]) * 1e-9;
    if (since > kSilentBeats * kTicksPerBeat * period_) {
      if (followed_) losses_.fetch_add(1, std::memory_order_relaxed);
      Forget();
    }
  }
  const bool following = ticksSeen_ >= kLockTicks && period_ > 0.0 && inRange_;
  followed_ = following;
  if (following) lastBpm_ = 60.0 / (kTicksPerBeat * period_);

  reading->following = following;
  reading->rolling = following && rolling_;
  reading->bpm = lastBpm_;
  reading->beatsPerBar = 0;  // a MIDI clock has no bars of its own
  reading->jumps = jumps_;
  if (following && rolling_) {
    // Ticks since the newest one, on the fitted line, at the block's first frame.
    const double since = static_cast<double>(block.timeNs - times_[newest_]) * 1e-9 - fitOffset_;
    reading->beat = (static_cast<double>(songTick_) + since / period_) / kTicksPerBeat;
  } else {
    reading->beat = static_cast<double>(nextSongTick_) / kTicksPerBeat;
  }
}
