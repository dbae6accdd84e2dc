#pragma once
// The program's own JACK client, beside the one PortAudio opens for the audio stream.
// It carries the MIDI ports midi_in and midi_out (shown in a patchbay as
// Kestrine:midi_in and Kestrine:midi_out) and reads, or leads, the server's transport.
//
// Everything that happens in JACK's process callback (a real-time thread of libjack's)
// goes through fixed-size lock-free hand-overs: received MIDI events through one
// single-producer queue, MIDI to send through another, the transport reading and the
// position Kestrine leads with through sequence-numbered records. The callback never
// allocates, locks or waits.
//
// Times: every event carries both its JACK frame (the server's running frame counter)
// and the same instant on the steady clock in nanoseconds, the clock the engine and the
// MIDI output writer use.
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/spsc_queue.h"

// One received short MIDI message.
struct JackMidiEvent {
  int64_t frame = 0;     // JACK frame time of the event
  int64_t timeNs = 0;    // the same instant, steady clock, nanoseconds
  uint32_t offset = 0;   // frame within the period it arrived in
  uint32_t message = 0;  // status in bits 0..7, data1 8..15, data2 16..23
};

// What the transport was doing at the first frame of one JACK period.
struct JackTransportReading {
  bool valid = false;    // a timebase master publishes tempo, bars and beats
  bool rolling = false;  // the transport is rolling (else stopped or starting)
  double bpm = 0;        // beats per minute (0 when not valid)
  double beatsPerBar = 0;
  double beat = 0;          // beats since bar 1 beat 1, fractional (bar 2 of 4/4 starts at 4.0)
  int64_t frame = 0;        // transport position, frames
  int64_t periodFrame = 0;  // JACK frame time of the period's first frame
  int64_t periodTimeNs = 0; // the same instant, steady clock, nanoseconds
  uint64_t period = 0;      // counts the periods read; 0: none yet
};

class JackOwnClient {
 public:
  static constexpr size_t kMidiQueueCapacity = 1024;

  JackOwnClient() = default;
  ~JackOwnClient();
  JackOwnClient(const JackOwnClient&) = delete;
  JackOwnClient& operator=(const JackOwnClient&) = delete;

  // UI thread. Opens the client under `name` (JACK picks the nearest free name when
  // it is taken), registers midi_in and midi_out and activates. Never starts a server:
  // without one this fails at once with the reason in *error.
  bool Open(const std::string& name, std::string* error);
  // UI thread. Deactivates and closes; safe when not open or after the server went away.
  void Close();
  // UI thread. Shared use by the program's parts (the MIDI ports, the transport): the
  // first Acquire opens (or reopens a client the server dropped), the last Release
  // closes. False, with the reason, when the client is not open after it.
  bool Acquire(const std::string& name, std::string* error);
  void Release();
  // Any thread. Open and not dropped by the server.
  bool IsOpen() const { return open_.load() && !lost_.load(); }
  // UI thread, while open: the client's name and the full names of its ports.
  const std::string& Name() const { return name_; }
  std::string InputPortName() const { return name_ + ":midi_in"; }
  std::string OutputPortName() const { return name_ + ":midi_out"; }
  uint32_t SampleRate() const { return sampleRate_; }

  // ---- MIDI ----
  // One consumer thread (the thread that polls MIDI input). Takes the next received
  // event; false when none. Wait-free.
  bool ReadMidi(JackMidiEvent* event) { return in_.pop(*event); }
  // UI thread. Some port is connected to midi_in: input may arrive.
  bool InputConnected() const;
  // One producer thread (the MIDI output writer). Queues a short message to leave
  // midi_out one period after the frame where steady-clock time `dueNs` falls (the
  // output latency audio has as well; 0, or a time already past that: the next
  // period's first frame). Messages leave in the order queued, never earlier than one
  // before them. False when the queue is full (counted). Wait-free.
  bool QueueMidi(uint32_t message, int64_t dueNs);
  // The same at an exact JACK frame time (a frame already past: the next period's first).
  bool QueueMidiAtFrame(uint32_t message, int64_t frame);
  // Any thread: received events dropped because the input queue was full (or were not
  // short messages: system exclusive is not carried), and messages refused for output.
  uint64_t MidiInDropped() const { return inDropped_.load(std::memory_order_relaxed); }
  uint64_t MidiOutDropped() const { return outDropped_.load(std::memory_order_relaxed); }

  // ---- Transport ----
  // Any thread, wait-free: the reading of the most recent period. False (and *reading
  // untouched) when no period has been read yet or the record was being written on
  // every try (a few tries: the writer is another real-time thread and writes briefly).
  bool Transport(JackTransportReading* reading) const;
  // UI thread. Becomes the timebase master (taking over from another master: the user
  // asked Kestrine to lead) or stops being it. False when JACK refuses.
  bool LeadTransport(bool lead);
  bool LeadsTransport() const { return leading_.load(); }
  // Audio thread (one writer), wait-free: the tempo and position Kestrine leads with,
  // beat `beat` (beats since bar 1, as in JackTransportReading) falling on steady-clock
  // time `atTimeNs`. The timebase master extends it at the tempo to each period.
  void FeedTransport(double bpm, double beatsPerBar, double beat, int64_t atTimeNs);
  // UI thread. Asks the server's transport to roll or stop (any client may).
  void StartTransport();
  void StopTransport();

  // Any thread: the server's frame time now, and the conversions between JACK frames
  // and steady-clock nanoseconds (0 when not open). Not for the process callback.
  int64_t FrameNow() const;
  int64_t FrameToTimeNs(int64_t frame) const;
  int64_t TimeNsToFrame(int64_t timeNs) const;

 private:
  struct OutMessage {
    int64_t dueNs = 0;      // when frame < 0
    int64_t frame = -1;     // exact frame, or -1
    uint32_t message = 0;
  };
  // What FeedTransport hands to the timebase callback.
  struct Lead {
    double bpm = 120, beatsPerBar = 4, beat = 0;
    int64_t atTimeNs = 0;
  };

  friend struct JackOwnClientCallbacks;  // libjack's callbacks, in the .cpp
  void ProcessMidiIn(uint32_t nframes, int64_t periodFrame);
  void ProcessMidiOut(uint32_t nframes, int64_t periodFrame);
  void ProcessTransport(int64_t periodFrame, int64_t periodTimeNs);
  bool ReadLead(Lead* lead) const;
  int64_t JackUsToSteadyNs(uint64_t us) const { return static_cast<int64_t>(us) * 1000 + clockOffsetNs_; }

  void* client_ = nullptr;  // jack_client_t
  void* midiIn_ = nullptr;  // jack_port_t
  void* midiOut_ = nullptr;
  std::string name_;
  int users_ = 0;  // UI thread: Acquire calls not yet released
  uint32_t sampleRate_ = 0;
  // Steady clock minus JACK's clock, measured at open (both are the monotonic clock on
  // Linux; the offset keeps the conversion right should a server use another source).
  int64_t clockOffsetNs_ = 0;
  std::atomic<bool> open_{false};
  std::atomic<bool> lost_{false};
  std::atomic<bool> leading_{false};

  SpscQueue<JackMidiEvent, kMidiQueueCapacity> in_;
  SpscQueue<OutMessage, kMidiQueueCapacity> out_;
  // Process callback only: a message taken from out_ that falls in a later period.
  OutMessage held_{};
  bool haveHeld_ = false;
  std::atomic<uint64_t> inDropped_{0}, outDropped_{0};

  // Sequence-numbered records: odd while the one writer is writing.
  mutable std::atomic<uint64_t> readingSeq_{0};
  std::atomic<bool> rValid_{false}, rRolling_{false};
  std::atomic<double> rBpm_{0}, rBeatsPerBar_{0}, rBeat_{0};
  std::atomic<int64_t> rFrame_{0}, rPeriodFrame_{0}, rPeriodTimeNs_{0};
  std::atomic<uint64_t> rPeriod_{0};

  std::atomic<uint64_t> leadSeq_{0};
  std::atomic<double> lBpm_{120}, lBeatsPerBar_{4}, lBeat_{0};
  std::atomic<int64_t> lAtTimeNs_{0};
  std::atomic<bool> lFed_{false};
};
