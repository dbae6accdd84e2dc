#include "control/memory_midi_backend.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <thread>

MemoryMidiBackend::Device::Device() : inputSignal(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

MemoryMidiBackend::Device::~Device() {
  if (inputSignal >= 0) close(inputSignal);
}

void MemoryMidiBackend::Queue(Device& d, uint32_t message, int64_t timeNs) {
  if (d.input.empty() && d.inputSignal >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(d.inputSignal, &one, sizeof one);
  }
  d.input.push_back(message);
  d.inputTimes.push_back(timeNs);
}

void MemoryMidiBackend::Unqueue(Device& d) {
  d.input.pop_front();
  d.inputTimes.pop_front();
  if (d.input.empty() && d.inputSignal >= 0) {
    uint64_t value;
    [[maybe_unused]] const ssize_t n = read(d.inputSignal, &value, sizeof value);  // back to zero
  }
}

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
  Queue(*devices_.at(static_cast<size_t>(device)), message, -1);
}

void MemoryMidiBackend::InjectAt(int device, uint32_t message, int64_t timeNs) {
  std::lock_guard<std::mutex> guard(lock_);
  Queue(*devices_.at(static_cast<size_t>(device)), message, timeNs);
}

std::vector<uint32_t> MemoryMidiBackend::Written(int device) const {
  std::vector<uint32_t> messages;
  for (const WriteRecord& r : WriteLog(device)) messages.push_back(r.message);
  return messages;
}

std::vector<MemoryMidiBackend::WriteRecord> MemoryMidiBackend::WriteLog(int device) const {
  Device* d;
  {
    std::lock_guard<std::mutex> guard(lock_);
    d = devices_.at(static_cast<size_t>(device)).get();
  }
  std::lock_guard<std::mutex> guard(writtenLock_);
  return d->written;
}

void MemoryMidiBackend::HoldWrites(bool hold) {
  {
    std::lock_guard<std::mutex> guard(holdLock_);
    held_ = hold;
  }
  released_.notify_all();
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
  Unqueue(*d);
  return true;
}

bool MemoryMidiBackend::ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* when) {
  int64_t time;
  {
    std::lock_guard<std::mutex> guard(lock_);
    Device* d = EndOf(stream)->device;
    if (!d->inputOpen || d->input.empty()) return false;
    *message = d->input.front();
    time = d->inputTimes.front();
    Unqueue(*d);
  }
  if (time < 0)
    time = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
               .count();
  when->timeNs = time;
  when->frame = -1;
  return true;
}

void MemoryMidiBackend::Write(MidiStream stream, uint32_t message) {
  const WriteRecord record{message, std::this_thread::get_id(), std::chrono::steady_clock::now()};
  writesBegun_.fetch_add(1);
  {
    std::unique_lock<std::mutex> hold(holdLock_);
    released_.wait(hold, [this] { return !held_; });
  }
  // Writes to one device must come one at a time; the write takes a moment, so that
  // overlapping writes would show.
  Device* d = EndOf(stream)->device;
  if (d->writing.exchange(true)) overlaps_.fetch_add(1);
  {
    std::lock_guard<std::mutex> guard(writtenLock_);
    if (d->written.size() < d->written.capacity()) d->written.push_back(record);
  }
  std::this_thread::yield();
  d->writing.store(false);
}

void MemoryMidiBackend::OfferWakeDescriptors(bool offer) {
  std::lock_guard<std::mutex> guard(lock_);
  offerWake_ = offer;
}

int MemoryMidiBackend::InputWakeDescriptor(MidiStream stream) {
  std::lock_guard<std::mutex> guard(lock_);
  Device::End* end = EndOf(stream);
  return offerWake_ && end->input ? end->device->inputSignal : -1;
}

void MemoryMidiBackend::Close(MidiStream stream) {
  std::lock_guard<std::mutex> guard(lock_);
  Device::End* end = EndOf(stream);
  (end->input ? end->device->inputOpen : end->device->outputOpen) = false;
}
