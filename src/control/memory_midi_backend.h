#pragma once
// An in-memory MIDI layer: devices are declared by the test, input events are injected,
// and every written message is recorded. It also notices two writes to one device that
// overlap in time, which the port table's per-port lock must prevent.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control/midi_backend.h"

class MemoryMidiBackend final : public MidiBackend {
 public:
  // Capacity of each device's record of written messages (reserved up front so that a
  // write from the audio thread never allocates).
  static constexpr size_t kWrittenCapacity = 1 << 16;

  // Declares a device; returns its index.
  int AddDevice(const std::string& name, bool input, bool output);
  // Makes opening the device fail.
  void FailOpen(int device);
  // Makes Initialize fail with this text.
  void FailInitialize(const std::string& errorText);

  // Queues one input event on the device (whether or not it is open).
  void Inject(int device, uint32_t message);
  // The messages written to the device, in order.
  std::vector<uint32_t> Written(int device) const;
  void ClearWritten(int device);
  bool IsOpen(int device) const;
  bool WasOpened(int device) const;
  int PollCount(int device) const;
  int PendingInput(int device) const;
  // Number of writes that began while another write to the same device was under way.
  int OverlappingWrites() const { return overlaps_.load(); }
  bool Initialized() const { return initialized_; }

  bool Initialize(std::string* errorText) override;
  void Terminate() override;
  int CountDevices() override;
  bool GetDeviceInfo(int device, MidiDeviceInfo* info) override;
  MidiStream OpenInput(int device) override;
  MidiStream OpenOutput(int device) override;
  int Poll(MidiStream stream) override;
  bool Read(MidiStream stream, uint32_t* message) override;
  void Write(MidiStream stream, uint32_t message) override;
  void Close(MidiStream stream) override;

 private:
  struct Device {
    MidiDeviceInfo info;
    bool failOpen = false;
    bool inputOpen = false;
    bool outputOpen = false;
    bool everOpened = false;
    int polls = 0;
    std::deque<uint32_t> input;
    std::vector<uint32_t> written;
    std::atomic<bool> writing{false};
    // The stream handles of the two directions.
    struct End {
      Device* device;
      bool input;
    } inEnd{this, true}, outEnd{this, false};
  };
  static Device::End* EndOf(MidiStream stream) { return static_cast<Device::End*>(stream); }

  mutable std::mutex lock_;  // guards everything but `written` and `writing`
  std::vector<std::unique_ptr<Device>> devices_;
  bool initialized_ = false;
  std::string initError_;
  std::atomic<int> overlaps_{0};
};
