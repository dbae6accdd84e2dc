// MidiBackend on PortMidi, with PortTime's clock as the time source of every stream.
#include <portmidi.h>
#include <porttime.h>

#include <mutex>
#include <set>
#include <vector>

#include "control/midi_backend.h"
#include "control/open_descriptors.h"

namespace {

PmTimestamp PortTimeNow(void*) { return Pt_Time(); }

class PortMidi final : public MidiBackend {
 public:
  bool Initialize(std::string* errorText) override {
    const std::set<int> before = OpenDescriptors();
    const PmError err = Pm_Initialize();
    if (err != pmNoError) {
      char text[512] = {0};
      Pm_GetHostErrorText(text, 511);
      // Some failures leave no host error; the layer's own text then says what failed.
      if (!text[0]) {
        if (const char* own = Pm_GetErrorText(err)) *errorText = own;
      } else {
        *errorText = text;
      }
      return false;
    }
    if (!Pt_Started()) {
      Pt_Start(1, nullptr, nullptr);
      startedTimer_ = true;
    }
    // PortMidi reads every input through one ALSA sequencer client, opened here, whose
    // handle it keeps to itself. Its descriptor is the only one this initialisation adds
    // on the sequencer device; anything else (no sequencer, or two such descriptors
    // because another part of the process opened one at the same moment) gives none,
    // and the inputs are polled on a timer as before.
    const std::vector<int> sequencer = NewDescriptorsOf(before, "/dev/snd/seq");
    sequencer_ = sequencer.size() == 1 ? sequencer.front() : -1;
    return true;
  }

  void Terminate() override {
    sequencer_ = -1;
    Pm_Terminate();
    if (startedTimer_) {
      Pt_Stop();
      startedTimer_ = false;
    }
  }

  int CountDevices() override { return Pm_CountDevices(); }

  bool GetDeviceInfo(int device, MidiDeviceInfo* info) override {
    const PmDeviceInfo* pm = Pm_GetDeviceInfo(device);
    if (!pm) return false;
    info->input = pm->input != 0;
    info->output = pm->output != 0;
    info->name = pm->name ? pm->name : "";
    return true;
  }

  MidiStream OpenInput(int device) override {
    PortMidiStream* stream = nullptr;
    if (Pm_OpenInput(&stream, device, nullptr, 128, PortTimeNow, nullptr) != pmNoError) return nullptr;
    return stream;
  }

  MidiStream OpenOutput(int device) override {
    PortMidiStream* stream = nullptr;
    if (Pm_OpenOutput(&stream, device, nullptr, 1024, PortTimeNow, nullptr, 0) != pmNoError)
      return nullptr;
    return stream;
  }

  int Poll(MidiStream stream) override {
    std::lock_guard<std::mutex> guard(clientLock_);
    const PmError r = Pm_Poll(static_cast<PortMidiStream*>(stream));
    if (r == pmGotData) return 1;
    if (r == pmNoData) return 0;
    return -1;
  }

  bool Read(MidiStream stream, uint32_t* message) override {
    PmEvent event;
    std::lock_guard<std::mutex> guard(clientLock_);
    if (Pm_Read(static_cast<PortMidiStream*>(stream), &event, 1) != 1) return false;
    *message = static_cast<uint32_t>(event.message);
    return true;
  }

  // PortMidi stamps each event on PortTime's millisecond clock as it arrives; the age it
  // had when read moves it onto the steady clock.
  bool ReadTimed(MidiStream stream, uint32_t* message, MidiEventTime* time) override {
    PmEvent event;
    PmTimestamp now;
    {
      std::lock_guard<std::mutex> guard(clientLock_);
      if (Pm_Read(static_cast<PortMidiStream*>(stream), &event, 1) != 1) return false;
      now = Pt_Time();
    }
    const int64_t steady = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
    const int64_t ageMs = now >= event.timestamp ? now - event.timestamp : 0;
    *message = static_cast<uint32_t>(event.message);
    time->timeNs = steady - ageMs * 1000000;
    time->frame = -1;
    return true;
  }

  void Write(MidiStream stream, uint32_t message) override {
    PmEvent event;
    event.message = static_cast<PmMessage>(message);
    event.timestamp = 0;
    std::lock_guard<std::mutex> guard(clientLock_);
    Pm_Write(static_cast<PortMidiStream*>(stream), &event, 1);
  }

  void Close(MidiStream stream) override { Pm_Close(static_cast<PortMidiStream*>(stream)); }

  // The sequencer client's descriptor polls readable while the kernel holds events for
  // the client, that is for any of its input ports. Pm_Poll on any open input moves all
  // of them into the streams' own buffers (the client's queue is shared), so once the
  // enabled inputs have been polled and read the descriptor is quiet again. Events for
  // an input nobody polls are moved too, into that stream's buffer: they can wake the
  // reader once, never keep the descriptor readable.
  int InputWakeDescriptor(MidiStream) override { return sequencer_; }

 private:
  bool startedTimer_ = false;
  int sequencer_ = -1;  // the sequencer client's descriptor, or -1; user-interface thread
  // On Linux every PortMidi stream goes through one shared ALSA sequencer client, which
  // is not safe to use from two threads at once: the output thread's writes and the
  // user-interface thread's polls take turns. Neither thread is the audio thread.
  std::mutex clientLock_;
};

}  // namespace

MidiBackend* PortMidiBackend() {
  static PortMidi backend;
  return &backend;
}

#if defined(__SANITIZE_ADDRESS__)
// PortMidi's initialisation on Linux keeps two small strings (the default device names
// it looks up) that it never frees. They are the library's, once per initialisation;
// the leak checker is told to expect them rather than fail every program that opens the
// MIDI ports.
extern "C" const char* __lsan_default_suppressions() { return "leak:find_default_device\n"; }
#endif
