#pragma once
// An external tempo source the engine can follow (MIDI clock in, JACK transport, Ableton
// Link, ...), seen through one small interface that every source implements the same way.
//
// The engine asks the source once per callback, before it renders a frame, where the
// source stands at the first frame of that callback. Everything the engine does while
// following (where a bar starts, when a waiting Record or Play begins, how far a loop has
// drifted, where the clicks fall) is decided from that one reading; the panel, the
// metronome and OSC read what the callback decided, never the source itself.
//
// Thread contract:
// - Read runs on the audio thread only, once per callback. It must be wait-free: no lock,
//   no allocation, no blocking or system call (a vDSO clock read is fine). Whatever the
//   source learns on other threads (a MIDI input thread, a network thread) reaches Read
//   through atomics or a fixed-size single-producer queue that Read drains.
// - The engine holds the source by pointer (SyncFollow_Attach). The owner keeps it alive
//   until SyncFollow_Detach has returned, which waits out a callback that may still be
//   reading it.
#include <cstdint>

// Where the callback's first frame stands in time.
struct SyncBlock {
  // Steady-clock time (std::chrono::steady_clock, CLOCK_MONOTONIC, in nanoseconds) at
  // which the block's first frame is heard. A source whose own clock differs (Link's host
  // clock, JACK's frame time) maps it or uses its own equivalent.
  int64_t timeNs = 0;
  // Frames since the stream started, at the first frame (monotonic, wraps never in practice).
  uint64_t frame = 0;
  // Of timeNs, the output latency: a source whose position belongs to the period being
  // processed rather than to the moment it is heard (JACK's transport) takes it off.
  int64_t outputLatencyNs = 0;
  uint32_t frames = 0;       // frames in this callback
  double sampleRate = 48000.0;
};

// What the source says about the block's first frame.
struct SyncReading {
  // The source is there and its tempo is known: the engine follows it. False when there
  // is no source, it has no tempo yet, it went silent, or its tempo is out of range; the
  // engine then keeps its own tempo and never stops the music.
  bool following = false;
  // The source's transport runs: its beat advances and bars come round. A source that
  // gives a tempo while stopped (a MIDI clock between Stop and Start) is following but
  // not rolling.
  bool rolling = false;
  double bpm = 120.0;  // the source's tempo
  // The source's position in beats since its bar 1 (beat 0.0 is the first beat of bar 1),
  // at the block's first frame. Advances by bpm / 60 a second while rolling.
  double beat = 0.0;
  int32_t beatsPerBar = 4;  // bars are this many beats; 0 or less: the engine's own
  // Counts the source's Starts and position jumps (a Song Position Pointer, a relocate):
  // each change tells the engine to put the loops back on the source's bar at once rather
  // than slewing towards it.
  uint32_t jumps = 0;
};

class SyncSource {
 public:
  virtual ~SyncSource() = default;
  // Audio thread only (see the thread contract above). Fills *reading for the block.
  virtual void Read(const SyncBlock& block, SyncReading* reading) noexcept = 0;
};
