// Following an external tempo source on the audio thread: waiting starts, phase lock and
// the published reading.
#include "engine/sync_follow.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/audio.h"
#include "engine/metronome_gate.h"
#include "engine/stream_pieces.h"
#include "engine/transport.h"

namespace {

static_assert(NUM_TRACKS <= 16, "one drift filter a slot");

// The smoothed phase error moves 1/128 of the way to each callback's measurement (about
// 0.7 s at 256 frames), averaging out a MIDI clock's tick jitter before any of it reaches
// the loops. Correction begins once the smoothed error reaches kSlewFrom frames and goes on
// until it is under one frame: the loops are not nudged back and forth by noise.
constexpr double kDriftGain = 1.0 / 128.0;
constexpr double kSlewFrom = 8.0;
// A loop whose length lies further than this from a whole number of the source's bars
// plays at its own tempo: it is reported, not bent.
constexpr double kLockTolerance = 0.01;

inline bool IsRunning(int32_t state) { return state != Stopped && state != Paused; }
inline bool IsRecordingState(int32_t state) { return state == Recording || state == Inserting; }

int64_t SteadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

// The steady clock read in a callback jitters with the scheduler; the frames say how far
// the stream has moved, so the time follows them and the clock only pulls it in slowly. A
// jump of the clock (a stalled stream, or callbacks far ahead of it) is taken as it is,
// but a block's time never goes back before the last block's: a burst of callbacks once
// threw it back by tens of milliseconds.
int64_t SyncFollow_BlockTime(const SyncFollow& s, uint64_t frame, unsigned long frames, double sampleRate,
                             int64_t* lastTimeNs, uint32_t* lastFrames) {
  if (SyncClockFn clock = s.clock) return clock(s.clockUser, frame, sampleRate);
  int64_t now = SteadyNowNs();
  if (*lastFrames > 0 && sampleRate > 0) {
    const int64_t predicted = *lastTimeNs + static_cast<int64_t>(*lastFrames * 1e9 / sampleRate);
    const int64_t error = now - predicted;
    if (error > -20000000 && error < 20000000) now = predicted + error / 32;
    now = std::max(now, *lastTimeNs + 1);
  }
  *lastTimeNs = now;
  *lastFrames = static_cast<uint32_t>(frames);
  return now;
}

namespace {

// x modulo span in [0, span). A truncating cast rather than fmod or floor: this runs for
// every track on every callback, and without SSE4.1 both are calls into libm.
double Wrap(double x, double span) {
  const double q = x / span;
  auto whole = static_cast<int64_t>(q);
  if (static_cast<double>(whole) > q) --whole;  // toward minus infinity
  double r = x - static_cast<double>(whole) * span;
  if (r < 0) r += span;
  if (r >= span) r -= span;
  return r;
}

// Frames from the block's first frame to the next bar (or beat) at or after `beat`.
int64_t FramesToBoundary(double beat, double target, double framesPerBeat) {
  if (target <= beat) return 0;
  return std::max<int64_t>(0, std::llround((target - beat) * framesPerBeat));
}

double NextBoundary(double beat, double unit) {
  const double n = std::ceil(beat / unit - 1e-9);
  return n * unit;
}

// Where track `t` belongs at `beat`, in frames, or a negative value when its length is
// not a whole number of the source's bars (it then keeps its own time).
double TargetPosition(LoopTrack& t, double beat, double anchor, double framesPerBeat, int beatsPerBar) {
  const double length = t.length;
  const double barFrames = framesPerBeat * beatsPerBar;
  if (length <= 0 || barFrames <= 0) return -1;
  const double bars = static_cast<double>(static_cast<int64_t>(length / barFrames + 0.5));  // both positive
  if (bars < 1 || std::fabs(length - bars * barFrames) > kLockTolerance * length) return -1;
  const double loopBeats = bars * beatsPerBar;
  return Wrap(beat - anchor, loopBeats) / loopBeats * length;
}

// A move of the head from `from` by `d` frames that passes no frame where something
// happens (the loop start; each beat of the click loop) and stays inside the loop.
bool QuietMove(int32_t from, int32_t d, int32_t length, int32_t eventEvery) {
  const int64_t to = static_cast<int64_t>(from) + d;
  if (to <= 0 || to >= length || from <= 0) return false;
  const int64_t lo = std::min<int64_t>(from, to), hi = std::max<int64_t>(from, to);
  if (eventEvery > 0 && lo / eventEvery != hi / eventEvery) return false;
  return !(eventEvery > 0 && hi % eventEvery == 0);
}

void LockPhase(AudioEngine* e, SyncFollow& s, double beat, double framesPerBeat, int beatsPerBar, bool hard) {
  const int32_t state = e->state.load();
  if (!IsRunning(state)) return;
  const int recordTrack = Transport_RecordTrack(e);
  const bool countoff = Metronome_CountoffRunning(e, state);
  uint64_t slewed = 0;
  for (int i = 0; i < NUM_TRACKS; ++i) {
    LoopTrack& t = e->tracks[i];
    // A muted or silent track's head moves all the same and is kept in step; one that
    // plays at another rate or inside a selection, or that a count-off holds, is left be.
    const bool held = countoff && i != e->metronomeTrack;
    if (!t.inUse || held || t.rate != 1.0 || t.loopSelection || t.resync || t.pNewBuffer.load()) {
      s.drift[i] = 0;
      continue;
    }
    // A take being recorded keeps its head: a skipped frame would be a hole in it.
    if (i == recordTrack && IsRecordingState(state) && !hard) {
      s.drift[i] = 0;
      continue;
    }
    const int32_t length = t.length;
    const double target = TargetPosition(t, beat, s.anchorBeat, framesPerBeat, beatsPerBar);
    if (target < 0 || length <= 0) {
      s.drift[i] = 0;
      continue;
    }
    if (hard) {
      const auto position = std::clamp(static_cast<int32_t>(target), 0, length - 1);
      t.position = position;
      t.exactPosition = position;
      t.lastPosition = -1;  // the frame it lands on is a new one
      s.drift[i] = 0;
      s.slewing[i] = false;
      continue;
    }
    double error = target - t.exactPosition;
    if (error > length * 0.5) error -= length;
    if (error < -length * 0.5) error += length;
    s.drift[i] += (error - s.drift[i]) * kDriftGain;
    const double size = std::fabs(s.drift[i]);
    if (size >= kSlewFrom) s.slewing[i] = true;
    if (size < 1.0) s.slewing[i] = false;
    if (!s.slewing[i]) continue;
    const auto d = static_cast<int32_t>(std::clamp<double>(std::round(s.drift[i]), -kMaxSlewFrames, kMaxSlewFrames));
    const int32_t position = t.position;
    const int32_t eventEvery = i == e->metronomeTrack ? e->framesPerBeat.load() : 0;
    if (!QuietMove(position, d, length, eventEvery)) continue;  // the next callback then
    t.position = position + d;
    t.exactPosition = t.exactPosition + d;
    t.lastPosition = t.lastPosition + d;
    s.drift[i] -= d;
    slewed += static_cast<uint64_t>(d < 0 ? -d : d);
  }
  if (slewed) s.slewedFrames = s.slewedFrames + slewed;
}

}  // namespace

void SyncFollow_Attach(AudioEngine* e, SyncSource* source) {
  if (!e) return;
  SyncFollow& s = e->sync;
  SyncFollow_Detach(e);
  s.frame = 0;
  s.lastFrames = 0;
  s.haveJumps = false;
  s.wasLockable = false;
  s.anchorBeat = 0;
  for (double& d : s.drift) d = 0;
  for (bool& b : s.slewing) b = false;
  s.source.store(source, std::memory_order_release);
}

void SyncFollow_Detach(AudioEngine* e) {
  if (!e) return;
  SyncFollow& s = e->sync;
  if (!s.source.exchange(nullptr)) return;
  SyncFollow_Cancel(e);
  s.following = 0;
  s.rolling = 0;
  Audio_WaitForCallbackCycle();
}

void SyncFollow_UseClock(AudioEngine* e, SyncClockFn clock, void* user) {
  e->sync.clockUser = user;
  e->sync.clock = clock;
}

namespace {
bool Deferring(const AudioEngine* e) {
  const SyncFollow& s = e->sync;
  return s.source.load() && s.following && s.rolling && e->callbackRunning.load();
}
}  // namespace

bool SyncFollow_DeferState(AudioEngine* e, int32_t state) {
  if (!e || !Deferring(e)) return false;
  e->sync.pendingState.store(state);
  return true;
}

bool SyncFollow_DeferCut(AudioEngine* e, int track) {
  if (!e || !Deferring(e)) return false;
  e->sync.pendingCut.store(track);
  return true;
}

void SyncFollow_Cancel(AudioEngine* e) {
  if (!e) return;
  e->sync.pendingState.store(-1);
  e->sync.pendingCut.store(-1);
}

bool SyncFollow_Waiting(const AudioEngine* e) {
  return e && (e->sync.pendingState.load() >= 0 || e->sync.pendingCut.load() >= 0);
}

void SyncFollow_Process(AudioEngine* e, const float* in, float* out, unsigned long frames) {
  SyncFollow& s = e->sync;
  SyncSource* source = s.source.load(std::memory_order_acquire);
  const double sampleRate = e->sampleRate;
  SyncBlock block;
  block.outputLatencyNs = s.outputLatencyNs;
  block.timeNs = SyncFollow_BlockTime(s, s.frame, frames, sampleRate, &s.lastTimeNs, &s.lastFrames) +
                 block.outputLatencyNs;
  block.frame = s.frame;
  block.frames = static_cast<uint32_t>(frames);
  block.sampleRate = sampleRate;
  SyncReading r;
  if (source) source->Read(block, &r);

  const int engineBeats = e->metronomeBeats;
  const int beatsPerBar = r.beatsPerBar > 0 ? r.beatsPerBar : (engineBeats > 0 ? engineBeats : 4);
  const bool lockable = r.following && r.rolling && r.bpm > 0 && sampleRate > 0;
  s.following = r.following ? 1 : 0;
  s.rolling = lockable ? 1 : 0;
  if (r.following) s.bpm = r.bpm;
  s.beat = r.beat;
  s.beatsPerBar = beatsPerBar;
  s.blockFrame = s.frame;

  // Where the waiting start and cut happen in this block (kNever: not in it).
  constexpr unsigned long kNever = ~0ul;
  unsigned long stateAt = kNever, cutAt = kNever;
  const int32_t pendingState = s.pendingState.load();
  const int32_t pendingCut = s.pendingCut.load();
  double boundary = 0;
  if (lockable) {
    const double framesPerBeat = sampleRate * 60.0 / r.bpm;
    // The source started or jumped: its bar 1 is the loop start again, at once. A source
    // that begins to roll (or is followed again after being lost) is met where it stands.
    const bool jumped = s.haveJumps && r.jumps != s.lastJumps;
    if (jumped) s.anchorBeat = 0;
    const bool resync = jumped || !s.wasLockable;
    if (resync) s.resyncs = s.resyncs + 1;
    s.lastJumps = r.jumps;
    s.haveJumps = true;
    LockPhase(e, s, r.beat, framesPerBeat, beatsPerBar, resync);

    if (pendingState >= 0 || pendingCut >= 0) {
      const double unit = s.startOnBeat ? 1.0 : beatsPerBar;
      boundary = NextBoundary(r.beat, unit);
      const int64_t k = FramesToBoundary(r.beat, boundary, framesPerBeat);
      if (k < static_cast<int64_t>(frames)) {
        if (pendingState >= 0) stateAt = static_cast<unsigned long>(k);
        if (pendingCut >= 0) cutAt = static_cast<unsigned long>(k);
      }
    }
  } else {
    // Nothing to wait for: whatever was waiting starts now rather than never.
    if (pendingState >= 0) stateAt = 0;
    if (pendingCut >= 0) cutAt = 0;
    s.haveJumps = s.haveJumps && r.following;
  }
  s.wasLockable = lockable;

  unsigned long done = 0;
  while (done < frames) {
    const unsigned long next = std::min({frames, stateAt, cutAt});
    if (next > done) {
      Audio_ProcessFrames(e, in + 2 * done, out + 2 * done, next - done, done);
      done = next;
    }
    if (done == stateAt) {
      int32_t waiting = pendingState;
      if (s.pendingState.compare_exchange_strong(waiting, -1)) {
        int32_t current = e->state.load();
        // A Stop or Pause that came in meanwhile wins: it cancelled the start first.
        if (current != pendingState && e->state.compare_exchange_strong(current, pendingState)) {
          if (!IsRunning(current)) s.anchorBeat = lockable ? boundary : 0;
          s.startedAtFrame = s.frame + done;
          s.startsTaken = s.startsTaken + 1;
        }
      }
      stateAt = kNever;
    }
    if (done == cutAt) {
      int32_t waiting = pendingCut;
      if (s.pendingCut.compare_exchange_strong(waiting, -1)) {
        e->pendingCutTrack = pendingCut;
        s.startedAtFrame = s.frame + done;
        s.startsTaken = s.startsTaken + 1;
      }
      cutAt = kNever;
    }
  }
  s.frame += frames;
}
