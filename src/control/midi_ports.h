#pragma once
// The program's MIDI ports: every input and output device the MIDI layer offers (up to
// 16 of each), opened at start-up and closed at shutdown. Inputs are read on the
// user-interface thread and handed to the trigger dispatch; outputs carry timing clock,
// Start/Continue/Stop and metronome notes. Inputs whose MIDI layer offers a wake
// descriptor are watched by a thread of their own (midi_input_watch.h), which wakes the
// drain of posted commands when input arrives; the others are polled on a timer.
//
// Threads: everything runs on the user-interface thread except SendClock and
// SendMetronomeNote, which the engine calls on the audio thread, and the input watcher,
// which touches nothing here but its descriptors and ControlCommands().Wake(). No send writes to the
// MIDI layer itself: each queues its message for the MIDI output thread (midi_output.h),
// which writes the messages of both threads in the order they were sent. The audio side
// thus never waits, locks or enters the kernel, and bytes on one port never interleave.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "control/midi_backend.h"
#include "control/midi_send_settings.h"
#include "engine/audio.h"

inline constexpr int kMaxMidiPorts = 16;

struct MidiPort {
  std::atomic<MidiStream> stream{nullptr};  // the opened device, or none
  int32_t deviceIndex = 0;                  // MIDI layer device index (0-based)
  Relaxed<bool> enabled{false};             // inputs: polled; outputs: opened
  char name[64] = "None";                   // device name, at most 63 characters
};

struct MidiPortTable {
  MidiPort inputs[kMaxMidiPorts];
  MidiPort outputs[kMaxMidiPorts];
  int inputCount = 0;
  int outputCount = 0;
};

// The program's port table.
MidiPortTable& MidiPorts();

// The MIDI layer the ports are opened on (PortMidi's devices and the JACK MIDI ports
// unless a test installs its own).
// Change it only while the ports are closed.
void MidiPorts_UseBackend(MidiBackend* backend);
// Where the send functions read their preferences (null: built-in defaults).
void MidiPorts_UseSendSettings(const MidiSendSettings* settings);

// Opens every input and output device (up to 16 each), draining input already pending,
// and starts the MIDI output thread when an output opened. False, after showing
// "PortMidi Initialization Error", when the MIDI layer cannot start.
bool OpenMidiPorts();
// Writes what is still queued (the Stop sent at shutdown goes out), stops the output
// thread, then closes every port.
void CloseMidiPorts();
// Reads every waiting event of the enabled inputs and dispatches it to the triggers.
// With a clock follower installed, every input is read and the clock's messages go to the
// follower with their arrival times instead.
void MidiPoll();
// Installs the MIDI clock follower (null: none). User-interface thread; the follower
// outlives its installation.
class MidiClockIn;
void MidiPorts_UseClockIn(MidiClockIn* clockIn);
// Runs MidiPoll when the input watcher has rung since the last poll. The drain of posted
// commands calls it: the watcher's ring is a ControlCommands().Wake().
void MidiPollWoken();
// Some enabled input has an open stream: MidiPoll has something to read. With none, the
// window need not wake to poll.
bool MidiPorts_AnyInputPolled();
// Some polled input cannot wake the drain (its layer offers no descriptor, or watching
// it failed) and may receive input (a JACK port with no connection receives none): MidiPoll
// must run on a timer. False while every polled input is watched or silent.
bool MidiPorts_PollingWanted();
// Times the input watcher has woken the drain since the watched set last changed.
uint64_t MidiPorts_InputWakes();
// Every used input is polled (the control dialog learns from all ports).
void EnableAllInputs();
// Only the inputs some MIDI trigger can match stay polled.
void RecomputeEnabledInputs();

// Timing clock, Start, Continue, Stop: on the sync port when `send_midi_sync` is on.
// SendClock: audio thread only (wait-free); the clock falls on `frame` of the callback's
// buffer and goes out that much later than one on its first frame. The others: any
// thread but the audio thread.
void SendClock(uint32_t frame = 0);
void SendStart();
void SendContinue();
void SendStop();
// One short message to the output at table position `position` (controller feedback).
// Any thread but the audio thread. False when it was not queued: no such open output, or
// the output queue is full.
bool MidiPorts_Send(int32_t position, uint32_t message);
// A metronome note-on (accent or beat note) when `metronome_midi_enable` is on.
// Audio thread only (wait-free).
void SendMetronomeNote(bool accent);

// "Port %d: %s" (device index + 1, name) for each used input.
std::vector<std::string> MidiPorts_InputList();
// The names of the 16 output entries in table order ("None" for unused ones); a list
// position is what `metronome_midi_port` and `midi_sync_port` store.
std::vector<std::string> MidiPorts_OutputNames();

// ---- Engine hooks ----

// Installs SendClock as the engine's MidiClockCallback, the metronome hook as its
// BeatCallback, and as its TransportStartCallback a hook that sends Start when the tracks
// start from where a stop rewound them and Continue when they resume from a pause (the
// transport operations call it just before standing tracks move; Stop and Pause call
// SendStop themselves, after the transport has stopped). The beat hook sends the MIDI
// metronome note and records the beat for the user interface's beat lights
// (MidiHooks_TakeBeat).
void MidiHooks_Install();
void MidiHooks_Remove();
// True once per beat that has sounded since the last call; *accent tells whether the most
// recent one was the first beat of the measure. Called by the user interface's timer.
bool MidiHooks_TakeBeat(bool* accent);
