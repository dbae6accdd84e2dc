#pragma once
// The engine's side of following an external tempo source (sync_source.h): once per
// callback it reads the source at the block's first frame and from that reading
// - starts a Record, Play or Set Loop that waits for the source's next bar (or beat) on
//   the very frame the bar begins, splitting the block there;
// - keeps the loops phase-locked to the source (its bar 1, or the bar a take began on, is
//   the loop start), slewing away drift by at most kMaxSlewFrames a callback and putting
//   the loops back at once only on the source's Start or jump;
// - publishes the followed tempo and beat for the user interface.
// With no source attached the callback takes none of these paths: Internal runs exactly as
// it always has.
#include <atomic>
#include <cstdint>

#include "engine/relaxed.h"
#include "engine/sync_source.h"

struct AudioEngine;

// Steady-clock time in nanoseconds of the block beginning at stream frame `frame` (before
// output latency). Tests and renders give a synthetic clock; the program the real one.
using SyncClockFn = int64_t (*)(void* user, uint64_t frame, double sampleRate);

inline constexpr int kMaxSlewFrames = 2;

struct SyncFollow {
  // ---- Set on the user-interface thread ----
  std::atomic<SyncSource*> source{nullptr};
  Relaxed<SyncClockFn> clock{nullptr};
  Relaxed<void*> clockUser{nullptr};
  Relaxed<int64_t> outputLatencyNs{0};  // from the block's start to its first frame heard
  Relaxed<uint8_t> startOnBeat{0};      // waiting starts take the next beat, not the next bar

  // A transport state (Recording, Playing) or a Set Loop track waiting for the next bar;
  // -1: none. The user-interface thread arms and cancels them, the callback takes them.
  std::atomic<int32_t> pendingState{-1};
  std::atomic<int32_t> pendingCut{-1};

  // ---- Published by the audio thread (read anywhere) ----
  Relaxed<uint8_t> following{0};
  Relaxed<uint8_t> rolling{0};
  Relaxed<double> bpm{120.0};
  Relaxed<double> beat{0.0};           // at the first frame of the last callback
  Relaxed<int32_t> beatsPerBar{4};     // the bar the starts and the phase lock use
  Relaxed<uint64_t> blockFrame{0};     // stream frame of the last callback's first frame
  Relaxed<uint64_t> startedAtFrame{0}; // stream frame on which the last waiting start began
  Relaxed<uint32_t> startsTaken{0};    // waiting starts and cuts the callback has carried out
  Relaxed<uint32_t> resyncs{0};        // times the loops were put back on the source's bar
  Relaxed<uint64_t> slewedFrames{0};   // frames of drift corrected, all tracks together

  // ---- Audio thread only ----
  uint64_t frame = 0;          // stream frames since the source was attached
  int64_t lastTimeNs = 0;      // smoothed block time of the last callback
  uint32_t lastFrames = 0;
  uint32_t lastJumps = 0;
  bool haveJumps = false;
  bool wasLockable = false;   // the last callback could lock to the source
  double anchorBeat = 0.0;     // the source beat that is every loop's start
  double drift[16] = {};       // per track slot: smoothed phase error in frames
  bool slewing[16] = {};       // per track slot: drift is being corrected
};

// ---- User-interface thread ----

// Follows `source` from the next callback (null: stop following). Detaching waits out a
// callback that may still be reading the old source; the caller may then destroy it.
void SyncFollow_Attach(AudioEngine* engine, SyncSource* source);
void SyncFollow_Detach(AudioEngine* engine);
// Tests and renders: the block time comes from `clock` instead of the steady clock.
void SyncFollow_UseClock(AudioEngine* engine, SyncClockFn clock, void* user);

// True when a start of `state` must wait for the source's next bar: it is then armed and
// the callback carries it out. False when nothing is followed (the caller starts now).
bool SyncFollow_DeferState(AudioEngine* engine, int32_t state);
// The same for a Set Loop cut of `track`.
bool SyncFollow_DeferCut(AudioEngine* engine, int track);
// Drops whatever waits (Stop and Pause).
void SyncFollow_Cancel(AudioEngine* engine);
// Something waits for the next bar.
bool SyncFollow_Waiting(const AudioEngine* engine);

// ---- Audio thread ----

// Steady-clock time of the block beginning at stream frame `frame` of `frames` frames, before
// output latency: the test clock when one is given, else the steady clock smoothed along
// the frames (the last time and block size kept in *lastTimeNs and *lastFrames).
int64_t SyncFollow_BlockTime(const SyncFollow& follow, uint64_t frame, unsigned long frames, double sampleRate,
                             int64_t* lastTimeNs, uint32_t* lastFrames);

// The whole callback while a source is attached: reads it, carries out waiting starts on
// their frame, locks the loops' phase and renders the block.
void SyncFollow_Process(AudioEngine* engine, const float* input, float* output, unsigned long frames);
