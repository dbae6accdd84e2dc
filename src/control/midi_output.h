#pragma once
// MIDI output, written in one order by one thread.
//
// Messages for the output ports come from two threads: the audio thread (timing clock,
// metronome notes) and the user-interface thread (Start, Continue, Stop). Neither writes
// to the MIDI layer itself. Each side pushes fixed-size messages onto its own
// single-producer queue and numbers them from one shared counter; a dedicated writer
// thread takes them in number order and writes them one by one, so bytes on one port
// never interleave or change places, and a message that happens after another (a clock
// after the Start that started the transport, the Stop after the last clock) is written
// after it.
//
// The audio side never waits, locks, allocates or enters the kernel: a full queue drops
// the message and counts it. The writer runs from MidiOutput_Start to MidiOutput_Stop
// (the port table starts it once the output streams are open and stops it before they
// close), so every stream it writes to stays open while it runs.
#include <chrono>
#include <cstdint>

#include "control/midi_backend.h"

// Room in each queue. The audio thread queues at most a few messages per buffer (a clock
// every few hundred frames at the fastest tempo, one metronome note per beat); the writer
// empties its queue within about a millisecond, so this is many seconds of slack.
inline constexpr size_t kMidiAudioQueueCapacity = 1024;
inline constexpr size_t kMidiUiQueueCapacity = 256;

struct MidiOutMessage {
  uint64_t sequence = 0;  // the shared order of both queues
  int64_t queuedAt = 0;   // steady clock, nanoseconds: when it was queued
  int64_t dueAt = 0;      // not written before this time (steady clock, nanoseconds)
  int32_t port = 0;      // position in the streams the writer was started with
  uint32_t message = 0;  // status, data1, data2 as the MIDI layer packs them
};

struct MidiOutputStats {
  uint64_t written = 0;       // messages handed to the MIDI layer
  uint64_t dropped = 0;       // refused because a queue was full
  int64_t maxDelayNs = 0;     // longest time from queueing to writing
  int64_t totalDelayNs = 0;   // sum of those times (mean = total / written)
};

inline constexpr int kMidiOutputStreams = 16;

// User-interface thread. Starts the writer on `backend` with the output streams by
// position (null: no stream there; the writer keeps its own copy, so a message names a
// position, never a stream that may have closed). Messages left over from an earlier
// writer are discarded. A running writer is stopped first.
void MidiOutput_Start(MidiBackend* backend, const MidiStream (&streams)[kMidiOutputStreams]);
// User-interface thread. Writes what was queued before the call (waiting at most 1 s),
// then stops and joins the writer. Does nothing when no writer runs.
void MidiOutput_Stop();

// How far ahead of its due time the audio side queues a message: the writer looks for
// audio messages every millisecond, so each is in its hands before it is due and goes
// out on time, not when the next look happens to come.
inline constexpr int64_t kMidiScheduleAheadNs = 2'000'000;

// Audio thread only (one producer at a time). Queues one message, due kMidiScheduleAheadNs
// plus `delayNs` from now (the frame it falls on within the callback's buffer, as time);
// false when it was not queued (no writer, or the queue is full: dropped and counted).
// Wait-free.
bool MidiOutput_QueueFromAudio(int32_t port, uint32_t message, int64_t delayNs = 0);
// Any thread but the audio thread: the same through the user-interface queue, whose
// producers share a lock with each other and with the writer's wake-up, never with the
// audio thread. Never waits for the writer: a full queue drops and counts.
bool MidiOutput_Queue(int32_t port, uint32_t message);

// User-interface thread. Waits until every message queued before the call has been
// written; false when `timeout` passed first or no writer runs.
bool MidiOutput_Flush(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

// Safe from any thread. Totals since the program started.
MidiOutputStats MidiOutput_Stats();
