#include "control/memory_midi_backend.h"

#include <thread>

int MemoryMidiBackend::AddDevice(const std::string& name, bool input, bool output) {
  std::lock_guard<std::mutex> guard(lock_);
  auto device = std::make_unique<Device>();
  device->info.name = name;
  device->info.input = input;
  device->info.output = output;
  device->written.reserve(kWrittenCapacity);
  devices_.push_back(std::move(device));
  return static_cast<int>(devices_.size()) - 1;
}

void MemoryMidiBackend::FailOpen(int device) {
  std::lock_guard<std::mutex> guard(lock_);
  devices_.at(static_cast<size_t>(device))->failOpen = true;
}

void MemoryMidiBackend::FailInitialize(const std::string& errorText) {
  std::lock_guard<std::mutex> guard(lock_);
  initError_ = errorText;
}

void MemoryMidiBackend::Inject(int device, uint32_t message) {
  std::lock_guard<std::mutex> guard(lock_);
  devices_.at(static_cast<size_t>(device))->input.push_back(message);
}

std::vector<uint32_t> MemoryMidiBackend::Written(int device) const {
  std::lock_guard<std::mutex> guard(lock_);
  return devices_.at(static_cast<size_t>(device))->written;
}

void MemoryMidiBackend::ClearWritten(int device) {
  std::lock_guard<std::mutex> guard(lock_);
  devices_.at(static_cast<size_t>(device))->written.clear();
}

bool MemoryMidiBackend::IsOpen(int device) const {
  std::lock_guard<std::mutex> guard(lock_);
  const Device& d = *devices_.at(static_cast<size_t>(device));
  return d.inputOpen || d.outputOpen;
}

bool MemoryMidiBackend::WasOpened(int device) const {
  std::lock_guard<std::mutex> guard(lock_);
  return devices_.at(static_cast<size_t>(device))->everOpened;
}

int MemoryMidiBackend::PollCount(int device) const {
  std::lock_guard<std::mutex> guard(lock_);
  return devices_.at(static_cast<size_t>(device))->polls;
}

int MemoryMidiBackend::PendingInput(int device) const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(devices_.at(static_cast<size_t>(device))->input.size());
}

bool MemoryMidiBackend::Initialize(std::string* errorText) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!initError_.empty()) {
    *errorText = initError_;
    return false;
  }
  initialized_ = true;
  return true;
}

void MemoryMidiBackend::Terminate() {
  std::lock_guard<std::mutex> guard(lock_);
  initialized_ = false;
}

int MemoryMidiBackend::CountDevices() {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(devices_.size());
}

bool MemoryMidiBackend::GetDeviceInfo(int device, MidiDeviceInfo* info) {
  std::lock_guard<std::mutex> guard(lock_);
  if (device < 0 || device >= static_cast<int>(devices_.size())) return false;
  *info = devices_[static_cast<size_t>(device)]->info;
  return true;
}

MidiStream MemoryMidiBackend::OpenInput(int device) {
  std::lock_guard<std::mutex> guard(lock_);
  if (device < 0 || device >= static_cast<int>(devices_.size())) return nullptr;
  Device& d = *devices_[static_cast<size_t>(device)];
  if (d.failOpen || !d.info.input || d.inputOpen) return nullptr;
  d.inputOpen = d.everOpened = true;
  return &d.inEnd;
}

MidiStream MemoryMidiBackend::OpenOutput(int device) {
  std::lock_guard<std::mutex> guard(lock_);
  if (device < 0 || device >= static_cast<int>(devices_.size())) return nullptr;
  Device& d = *devices_[static_cast<size_t>(device)];
  if (d.failOpen || !d.info.output || d.outputOpen) return nullptr;
  d.outputOpen = d.everOpened = true;
  return &d.outEnd;
}

int MemoryMidiBackend::Poll(MidiStream stream) {
  std::lock_guard<std::mutex> guard(lock_);
  Device* d = EndOf(stream)->device;
  ++d->polls;
  if (!d->inputOpen) return -1;
  return d->input.empty() ? 0 : 1;
}

bool MemoryMidiBackend::Read(MidiStream stream, uint32_t* message) {
  std::lock_guard<std::mutex> guard(lock_);
  Device* d = EndOf(stream)->device;
  if (!d->inputOpen || d->input.empty()) return false;
  *message = d->input.front();
  d->input.pop_front();
  return true;
}

void MemoryMidiBackend::Write(MidiStream stream, uint32_t message) {
  // No lock here: the port table serialises writes to one port, and this double checks
  // that it does. The write takes a moment, so that overlapping writes would show.
  Device* d = EndOf(stream)->device;
  if (d->writing.exchange(true)) overlaps_.fetch_add(1);
  if (d->written.size() < d->written.capacity()) d->written.push_back(message);
  std::this_thread::yield();
  d->writing.store(false);
}

void MemoryMidiBackend::Close(MidiStream stream) {
  std::lock_guard<std::mutex> guard(lock_);
  Device::End* end = EndOf(stream);
  (end->input ? end->device->inputOpen : end->device->outputOpen) = false;
}
