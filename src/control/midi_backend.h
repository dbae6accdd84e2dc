#pragma once
// The small port interface the MIDI port table is built on. The PortMidi implementation
// drives real devices; the in-memory one lets tests inject input and read back output.
// Calls mirror the MIDI layer's own: a stream is an opaque handle of the implementation.
#include <chrono>
#include <cstdint>
#include <string>

using MidiStream = void*;

// When a received event arrived.
struct MidiEventTime {
  int64_t timeNs = 0;  // steady clock, nanoseconds
  int64_t frame = -1;  // the JACK frame it fell on, where the layer knows it; else -1
};

struct MidiDeviceInfo {
  bool input = false;
  bool output = false;
  std::string name;
};

class MidiBackend {
 public:
  virtual ~MidiBackend() = default;

  // False on failure, with the layer's error text in *errorText.
  virtual bool Initialize(std::string* errorText) = 0;
  virtual void Terminate() = 0;
  virtual int CountDevices() = 0;
  // False when the device has no information.
  virtual bool GetDeviceInfo(int device, MidiDeviceInfo* info) = 0;
  // Input with a buffer of 128 events; null when the open fails.
  virtual MidiStream OpenInput(int device) = 0;
  // Output with a buffer of 1024 events and latency 0 (timestamps ignored); null on failure.
  virtual MidiStream OpenOutput(int device) = 0;
  // 1 when an event is waiting, 0 when none, negative on error.
  virtual int Poll(MidiStream stream) = 0;
  // Reads one event's message (status in bits 0..7, data1 8..15, data2 16..23); false
  // when nothing was read.
  virtual bool Read(MidiStream stream, uint32_t* message) = 0;
  // Writes one short message at once (timestamp 0). Called only by the MIDI output
  // thread, while other calls may run on the user-interface thread. Errors are ignored.
  virtual void Write(MidiStream stream, uint32_t message) = 0;
  virtual void Close(MidiStream stream) = 0;

  // Read with the time of the event (the clock follower takes it as the tick's arrival).
  // A layer that does not stamp its events gives the time of the read and no frame.
  virtual bool ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* time) {
    if (!Read(stream, message)) return false;
    time->timeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
    time->frame = -1;
    return true;
  }
  // True when the stream places each message at its due time itself (WriteAt), so the
  // output writer hands messages over early instead of waiting for their time.
  virtual bool PlacesInTime(MidiStream) { return false; }
  // Writes one short message due at `dueNs` (steady clock, nanoseconds). Same thread
  // rule as Write. A layer that cannot place messages in time writes at once.
  virtual void WriteAt(MidiStream stream, uint32_t message, int64_t /*dueNs*/) { Write(stream, message); }
  // A descriptor that polls readable (POLLIN) while input for the input stream may be
  // waiting, and turns quiet again once the stream has been polled and read; -1 when the
  // layer can wake no one and the stream must be polled on a timer. Several streams may
  // share one descriptor. It stays valid until Terminate. User-interface thread.
  virtual int InputWakeDescriptor(MidiStream) { return -1; }
  // True while nothing can reach the input stream and none of its input is waiting (a
  // JACK port that no port is connected to): a stream without a wake descriptor then
  // need not be polled. User-interface thread.
  virtual bool InputSilent(MidiStream) { return false; }
};

// The PortMidi (+ PortTime) implementation; one per process.
MidiBackend* PortMidiBackend();
// The ports MIDI is opened on by default: PortMidi's devices (the ALSA sequencer's),
// followed by the program's own JACK MIDI ports when a JACK server runs. One per process.
MidiBackend* DefaultMidiBackend();

// Packs a short message as the MIDI layer carries it.
inline constexpr uint32_t MidiMessage(uint32_t status, uint32_t data1, uint32_t data2) {
  return (status & 0xFF) | (data1 & 0xFF) << 8 | (data2 & 0xFF) << 16;
}
