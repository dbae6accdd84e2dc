#pragma once
// Several MIDI layers shown as one: the devices of the first, then those of the next,
// and so on, so that the ports list every layer's devices side by side (the ALSA
// sequencer's first, keeping their device numbers whether or not JACK is running).
// Device numbers are fixed at Initialize.
//
// Threads: as MidiBackend says; each call goes to the layer that owns the device or
// stream.
#include <vector>

#include "control/midi_backend.h"

class CombinedMidiBackend final : public MidiBackend {
 public:
  explicit CombinedMidiBackend(std::vector<MidiBackend*> layers);
  ~CombinedMidiBackend() override;

  // Fails, with the failing layer's text, when a layer fails; the layers already
  // started are terminated again.
  bool Initialize(std::string* errorText) override;
  void Terminate() override;
  int CountDevices() override;
  bool GetDeviceInfo(int device, MidiDeviceInfo* info) override;
  MidiStream OpenInput(int device) override;
  MidiStream OpenOutput(int device) override;
  int Poll(MidiStream stream) override;
  bool Read(MidiStream stream, uint32_t* message) override;
  bool ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* time) override;
  void Write(MidiStream stream, uint32_t message) override;
  bool PlacesInTime(MidiStream stream) override;
  void WriteAt(MidiStream stream, uint32_t message, int64_t dueNs) override;
  void Close(MidiStream stream) override;
  int InputWakeDescriptor(MidiStream stream) override;
  bool InputSilent(MidiStream stream) override;

 private:
  // An open stream: the layer's own handle and the layer.
  struct Stream {
    MidiBackend* layer;
    MidiStream inner;
  };
  static Stream* S(MidiStream stream) { return static_cast<Stream*>(stream); }
  // The layer owning combined device `device`, and the device's number there.
  MidiBackend* Locate(int device, int* local) const;
  MidiStream Wrap(MidiBackend* layer, MidiStream inner);

  std::vector<MidiBackend*> layers_;
  std::vector<int> counts_;  // devices per layer, as counted at Initialize
};
