#include "control/combined_midi_backend.h"

#include "control/jack_midi_backend.h"

CombinedMidiBackend::CombinedMidiBackend(std::vector<MidiBackend*> layers)
    : layers_(std::move(layers)), counts_(layers_.size(), 0) {}

CombinedMidiBackend::~CombinedMidiBackend() = default;

bool CombinedMidiBackend::Initialize(std::string* errorText) {
  for (size_t i = 0; i < layers_.size(); ++i) {
    if (!layers_[i]->Initialize(errorText)) {
      while (i-- > 0) layers_[i]->Terminate();
      return false;
    }
  }
  for (size_t i = 0; i < layers_.size(); ++i) counts_[i] = layers_[i]->CountDevices();
  return true;
}

void CombinedMidiBackend::Terminate() {
  for (MidiBackend* layer : layers_) layer->Terminate();
  std::fill(counts_.begin(), counts_.end(), 0);
}

int CombinedMidiBackend::CountDevices() {
  int total = 0;
  for (int c : counts_) total += c;
  return total;
}

MidiBackend* CombinedMidiBackend::Locate(int device, int* local) const {
  if (device < 0) return nullptr;
  for (size_t i = 0; i < layers_.size(); ++i) {
    if (device < counts_[i]) {
      *local = device;
      return layers_[i];
    }
    device -= counts_[i];
  }
  return nullptr;
}

bool CombinedMidiBackend::GetDeviceInfo(int device, MidiDeviceInfo* info) {
  int local = 0;
  MidiBackend* layer = Locate(device, &local);
  return layer && layer->GetDeviceInfo(local, info);
}

MidiStream CombinedMidiBackend::Wrap(MidiBackend* layer, MidiStream inner) {
  if (!inner) return nullptr;
  return new Stream{layer, inner};
}

MidiStream CombinedMidiBackend::OpenInput(int device) {
  int local = 0;
  MidiBackend* layer = Locate(device, &local);
  return layer ? Wrap(layer, layer->OpenInput(local)) : nullptr;
}

MidiStream CombinedMidiBackend::OpenOutput(int device) {
  int local = 0;
  MidiBackend* layer = Locate(device, &local);
  return layer ? Wrap(layer, layer->OpenOutput(local)) : nullptr;
}

int CombinedMidiBackend::Poll(MidiStream stream) { return S(stream)->layer->Poll(S(stream)->inner); }

bool CombinedMidiBackend::Read(MidiStream stream, uint32_t* message) {
  return S(stream)->layer->Read(S(stream)->inner, message);
}

bool CombinedMidiBackend::ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* time) {
  return S(stream)->layer->ReadTimed(S(stream)->inner, message, time);
}

void CombinedMidiBackend::Write(MidiStream stream, uint32_t message) {
  S(stream)->layer->Write(S(stream)->inner, message);
}

bool CombinedMidiBackend::PlacesInTime(MidiStream stream) { return S(stream)->layer->PlacesInTime(S(stream)->inner); }

void CombinedMidiBackend::WriteAt(MidiStream stream, uint32_t message, int64_t dueNs) {
  S(stream)->layer->WriteAt(S(stream)->inner, message, dueNs);
}

bool CombinedMidiBackend::InputSilent(MidiStream stream) {
  return S(stream)->layer->InputSilent(S(stream)->inner);
}

int CombinedMidiBackend::InputWakeDescriptor(MidiStream stream) {
  return S(stream)->layer->InputWakeDescriptor(S(stream)->inner);
}

void CombinedMidiBackend::Close(MidiStream stream) {
  Stream* s = S(stream);
  s->layer->Close(s->inner);
  delete s;
}

MidiBackend* DefaultMidiBackend() {
  static CombinedMidiBackend backend({PortMidiBackend(), ProgramJackMidiBackend()});
  return &backend;
}
