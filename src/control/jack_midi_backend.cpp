#include "control/jack_midi_backend.h"

JackMidiBackend::JackMidiBackend(JackOwnClient* client, std::string clientName)
    : client_(client), clientName_(std::move(clientName)) {}

bool JackMidiBackend::Initialize(std::string*) {
  if (acquired_) Terminate();
  unavailable_.clear();
  acquired_ = true;
  available_ = client_->Acquire(clientName_, &unavailable_);
  pending_ = false;
  return true;
}

void JackMidiBackend::Terminate() {
  if (acquired_) client_->Release();
  acquired_ = available_ = false;
  inputOpen_ = outputOpen_ = pending_ = false;
}

int JackMidiBackend::CountDevices() { return available_ ? 2 : 0; }

bool JackMidiBackend::GetDeviceInfo(int device, MidiDeviceInfo* info) {
  if (!available_ || device < 0 || device > 1) return false;
  info->input = device == 0;
  info->output = device == 1;
  info->name = device == 0 ? client_->InputPortName() : client_->OutputPortName();
  return true;
}

MidiStream JackMidiBackend::OpenInput(int device) {
  if (!available_ || device != 0 || inputOpen_) return nullptr;
  // What arrived before the port was opened belongs to nobody.
  JackMidiEvent stale;
  while (client_->ReadMidi(&stale)) {
  }
  inputOpen_ = true;
  pending_ = false;
  return &inEnd_;
}

MidiStream JackMidiBackend::OpenOutput(int device) {
  if (!available_ || device != 1 || outputOpen_) return nullptr;
  outputOpen_ = true;
  return &outEnd_;
}

int JackMidiBackend::Poll(MidiStream stream) {
  if (stream != &inEnd_ || !inputOpen_) return -1;
  if (!pending_) pending_ = client_->ReadMidi(&pendingEvent_);
  return pending_ ? 1 : 0;
}

bool JackMidiBackend::Read(MidiStream stream, uint32_t* message) {
  MidiEventTime time;
  return ReadTimed(stream, message, &time);
}

bool JackMidiBackend::ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* time) {
  if (Poll(stream) <= 0) return false;
  *message = pendingEvent_.message;
  time->timeNs = pendingEvent_.timeNs;
  time->frame = pendingEvent_.frame;
  pending_ = false;
  return true;
}

void JackMidiBackend::Write(MidiStream stream, uint32_t message) { WriteAt(stream, message, 0); }

void JackMidiBackend::WriteAt(MidiStream stream, uint32_t message, int64_t dueNs) {
  if (stream != &outEnd_ || !outputOpen_) return;
  client_->QueueMidi(message, dueNs);  // a full queue counts the drop
}

void JackMidiBackend::Close(MidiStream stream) {
  if (stream == &inEnd_) inputOpen_ = pending_ = false;
  if (stream == &outEnd_) outputOpen_ = false;
}

bool JackMidiBackend::InputSilent(MidiStream stream) {
  if (stream != &inEnd_ || !inputOpen_) return false;
  return !client_->InputConnected() && Poll(stream) == 0;
}

JackOwnClient& ProgramJackClient() {
  static JackOwnClient client;
  return client;
}

JackMidiBackend* ProgramJackMidiBackend() {
  static JackMidiBackend backend(&ProgramJackClient());
  return &backend;
}
