#pragma once
// MIDI through JACK: the program's own JACK client's ports as two MIDI devices, the
// input "<client>:midi_in" and the output "<client>:midi_out" (Kestrine:midi_in and
// Kestrine:midi_out unless that client name is taken). Without a JACK server there are
// no devices and nothing fails.
//
// Received events carry their JACK frame and time (ReadTimed); written messages are
// placed at the frame of their due time (WriteAt), so clock out is sample-accurate.
//
// Threads: as MidiBackend says. Poll and Read run on one thread (the one that polls MIDI
// input), Write and WriteAt on one (the MIDI output writer); the JACK process callback
// meets them only through the client's lock-free queues. The input offers no wake
// descriptor: signalling one would be a system call in the process callback, so an
// enabled JACK MIDI input is polled on the user-interface thread's timer.
#include <memory>

#include "audio_io/jack_own_client.h"
#include "control/midi_backend.h"

class JackMidiBackend final : public MidiBackend {
 public:
  // Shares `client` with the program's other users of it: opened under `clientName` at
  // Initialize unless already open, closed at Terminate unless another still uses it.
  JackMidiBackend(JackOwnClient* client, std::string clientName = "Kestrine");

  // Why the last Initialize found no devices ("" when it found them).
  const std::string& Unavailable() const { return unavailable_; }

  bool Initialize(std::string* errorText) override;  // never fails: no server, no devices
  void Terminate() override;
  int CountDevices() override;
  bool GetDeviceInfo(int device, MidiDeviceInfo* info) override;
  MidiStream OpenInput(int device) override;
  MidiStream OpenOutput(int device) override;
  int Poll(MidiStream stream) override;
  bool Read(MidiStream stream, uint32_t* message) override;
  bool ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* time) override;
  void Write(MidiStream stream, uint32_t message) override;
  bool PlacesInTime(MidiStream stream) override { return stream == &outEnd_; }
  void WriteAt(MidiStream stream, uint32_t message, int64_t dueNs) override;
  void Close(MidiStream stream) override;
  // The input is silent while no port is connected to midi_in and nothing it received
  // is waiting; its process callback cannot wake anyone, so it is polled only while
  // connected.
  bool InputSilent(MidiStream stream) override;

 private:
  JackOwnClient* client_;
  std::string clientName_, unavailable_;
  bool acquired_ = false;      // between Initialize and Terminate
  bool available_ = false;     // the client was open at Initialize
  bool inputOpen_ = false, outputOpen_ = false;
  // An event taken from the client by Poll, not yet read.
  bool pending_ = false;
  JackMidiEvent pendingEvent_{};
  int inEnd_ = 0, outEnd_ = 0;  // their addresses are the stream handles
};

// The process-wide JACK client and its MIDI backend (client name "Kestrine").
JackOwnClient& ProgramJackClient();
JackMidiBackend* ProgramJackMidiBackend();
