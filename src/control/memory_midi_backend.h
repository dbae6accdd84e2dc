#pragma once
// An in-memory MIDI layer: devices are declared by the test, input events are injected,
// and every written message is recorded with the thread that wrote it and when. It also
// notices two writes to one device that overlap in time, and can hold writes back to
// stand for a slow device. Each input offers a wake descriptor (an eventfd) that is
// readable while injected input is unread, unless the test makes it stand for a layer
// that offers none.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/midi_backend.h"

class MemoryMidiBackend final : public MidiBackend {
 public:
  // Capacity of each device's record of written messages (reserved up front, so that
  // recording never allocates).
  static constexpr size_t kWrittenCapacity = 1 << 14;

  struct WriteRecord {
    uint32_t message;
    std::thread::id thread;
    std::chrono::steady_clock::time_point time;
  };

  // Declares a device; returns its index.
  int AddDevice(const std::string& name, bool input, bool output);
  // Makes opening the device fail.
  void FailOpen(int device);
  // Makes Initialize fail with this text.
  void FailInitialize(const std::string& errorText);
  // With false, InputWakeDescriptor gives -1, as for a layer that can wake no one.
  void OfferWakeDescriptors(bool offer);

  // Queues one input event on the device (whether or not it is open).
  void Inject(int device, uint32_t message);
  // The same with the time it arrived (steady clock, nanoseconds), as ReadTimed gives it.
  void InjectAt(int device, uint32_t message, int64_t timeNs);
  // The messages written to the device, in order.
  std::vector<uint32_t> Written(int device) const;
  // The same with the writing thread and the time of each write.
  std::vector<WriteRecord> WriteLog(int device) const;
  // While held, every write waits inside Write until released.
  void HoldWrites(bool hold);
  // Number of writes that have entered Write (held or not).
  int WritesBegun() const { return writesBegun_.load(); }
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
  bool ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* when) override;
  void Write(MidiStream stream, uint32_t message) override;
  void Close(MidiStream stream) override;
  int InputWakeDescriptor(MidiStream stream) override;

 private:
  struct Device {
    Device();
    ~Device();
    MidiDeviceInfo info;
    bool failOpen = false;
    bool inputOpen = false;
    bool outputOpen = false;
    bool everOpened = false;
    int polls = 0;
    std::deque<uint32_t> input;
    std::deque<int64_t> inputTimes;  // arrival times, -1 where injected without one
    int inputSignal = -1;  // eventfd, counting while `input` is not empty
    std::vector<WriteRecord> written;  // under writtenLock_
    std::atomic<bool> writing{false};
    // The stream handles of the two directions.
    struct End {
      Device* device;
      bool input;
    } inEnd{this, true}, outEnd{this, false};
  };
  static Device::End* EndOf(MidiStream stream) { return static_cast<Device::End*>(stream); }
  // Both under lock_: the input queue and its signal change together.
  static void Queue(Device& d, uint32_t message, int64_t timeNs);
  static void Unqueue(Device& d);

  mutable std::mutex lock_;  // guards everything but `written` and `writing`
  // Separate from lock_, so that a write never waits for a poll: the overlap check
  // would otherwise see nothing.
  mutable std::mutex writtenLock_;
  std::vector<std::unique_ptr<Device>> devices_;
  bool initialized_ = false;
  bool offerWake_ = true;
  std::string initError_;
  std::atomic<int> overlaps_{0};
  std::atomic<int> writesBegun_{0};
  std::mutex holdLock_;
  std::condition_variable released_;
  bool held_ = false;  // under holdLock_
};
