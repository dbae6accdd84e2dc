// Several MIDI layers as one port list, and the output writer handing messages early, with their due time,
// to a stream that places them in time itself.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "control/combined_midi_backend.h"
#include "control/memory_midi_backend.h"
#include "control/midi_output.h"
#include "control/midi_ports.h"
#include "support/scripted_dialog.h"

namespace {

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// One output device that places messages in time: records each with its due time and when it was handed over.
class TimedOutput final : public MidiBackend {
 public:
  struct Record {
    uint32_t message;
    int64_t dueNs, handedNs;
  };
  bool Initialize(std::string*) override { return true; }
  void Terminate() override {}
  int CountDevices() override { return 1; }
  bool GetDeviceInfo(int device, MidiDeviceInfo* info) override {
    if (device != 0) return false;
    info->output = true, info->input = false, info->name = "Timed";
    return true;
  }
  MidiStream OpenInput(int) override { return nullptr; }
  MidiStream OpenOutput(int device) override { return device == 0 ? &end_ : nullptr; }
  int Poll(MidiStream) override { return -1; }
  bool Read(MidiStream, uint32_t*) override { return false; }
  void Write(MidiStream stream, uint32_t message) override { WriteAt(stream, message, 0); }
  bool PlacesInTime(MidiStream stream) override { return stream == &end_; }
  void WriteAt(MidiStream, uint32_t message, int64_t dueNs) override {
    std::lock_guard<std::mutex> guard(lock_);
    records_.push_back({message, dueNs, NowNs()});
  }
  void Close(MidiStream) override {}
  std::vector<Record> Records() {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
  }

 private:
  int end_ = 0;
  std::mutex lock_;
  std::vector<Record> records_;
};

class CombinedMidi : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseMidiPorts();
    MidiPorts_UseBackend(nullptr);
  }
  MemoryMidiBackend alsa, jack;
  ScriptedDialog dialog;
};

// The first layer's devices keep their numbers; the next layer's follow; each stream reaches its own layer.
TEST_F(CombinedMidi, PortsOfEveryLayerAreListedSideBySideAndReachTheirOwnLayer) {
  alsa.AddDevice("Synth", true, true);
  alsa.AddDevice("Pads", true, false);
  jack.AddDevice("Kestrine:midi_in", true, false);
  jack.AddDevice("Kestrine:midi_out", false, true);
  jack.OfferWakeDescriptors(false);  // as the JACK layer: its input is polled on a timer
  CombinedMidiBackend both({&alsa, &jack});
  MidiPorts_UseBackend(&both);
  ASSERT_TRUE(OpenMidiPorts());
  EXPECT_EQ(MidiPorts_InputList(),
            (std::vector<std::string>{"Port 1: Synth", "Port 2: Pads", "Port 3: Kestrine:midi_in"}));
  EXPECT_EQ(MidiPorts_OutputNames()[0], "Synth");
  EXPECT_EQ(MidiPorts_OutputNames()[1], "Kestrine:midi_out");
  EXPECT_EQ(MidiPorts_OutputNames()[2], "None");

  jack.Inject(0, MidiMessage(0x90, 60, 100));
  alsa.Inject(1, MidiMessage(0xB0, 7, 1));
  MidiBackend& b = both;
  MidiStream jackIn = MidiPorts().inputs[2].stream.load(), padsIn = MidiPorts().inputs[1].stream.load();
  uint32_t m = 0;
  MidiEventTime time;
  ASSERT_EQ(b.Poll(jackIn), 1);
  ASSERT_TRUE(b.ReadTimed(jackIn, &m, &time));
  EXPECT_EQ(m, MidiMessage(0x90, 60, 100));
  EXPECT_EQ(time.frame, -1);  // the in-memory layer knows no frames
  EXPECT_GT(time.timeNs, 0);
  ASSERT_TRUE(b.Read(padsIn, &m));
  EXPECT_EQ(m, MidiMessage(0xB0, 7, 1));
  EXPECT_EQ(b.Poll(padsIn), 0);
  // Each stream's wake descriptor is its own layer's: one JACK input keeps the timer.
  const int synthWake = b.InputWakeDescriptor(MidiPorts().inputs[0].stream.load());
  EXPECT_GE(synthWake, 0);
  EXPECT_GE(b.InputWakeDescriptor(padsIn), 0);
  EXPECT_NE(b.InputWakeDescriptor(padsIn), synthWake);
  EXPECT_EQ(b.InputWakeDescriptor(jackIn), -1);
  EXPECT_TRUE(MidiPorts_PollingWanted());

  MidiOutput_Queue(1, 0xFA);
  ASSERT_TRUE(MidiOutput_Flush());
  EXPECT_EQ(jack.Written(1), std::vector<uint32_t>{0xFA});
  EXPECT_TRUE(alsa.Written(0).empty());
  CloseMidiPorts();
  EXPECT_FALSE(alsa.IsOpen(0) || jack.IsOpen(0) || jack.IsOpen(1) || alsa.Initialized() || jack.Initialized());
}

// A layer that cannot start fails the whole, as a lone layer would, and the layers started before it stop.
TEST_F(CombinedMidi, ALayerThatFailsToStartFailsTheWholeAndStopsTheOthers) {
  alsa.AddDevice("Synth", true, true);
  jack.FailInitialize("no sequencer");
  CombinedMidiBackend both({&alsa, &jack});
  MidiPorts_UseBackend(&both);
  EXPECT_FALSE(OpenMidiPorts());
  EXPECT_TRUE(dialog.Saw("no sequencer", "PortMidi Initialization Error"));
  EXPECT_FALSE(alsa.Initialized());
  EXPECT_EQ(both.CountDevices(), 0);
}

// Clock ticks from the audio side are due up to a buffer ahead: a stream that places them itself gets them at
// once, each with its due time, in order, while a plain stream's writer still waits for the time.
TEST_F(CombinedMidi, TimedStreamsGetAudioMessagesEarlyWithTheirDueTimes) {
  TimedOutput timed;
  MidiPorts_UseBackend(&timed);
  ASSERT_TRUE(OpenMidiPorts());
  const int64_t start = NowNs();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(MidiOutput_QueueFromAudio(0, 0xF8, 20'000'000 + i * 1'000'000));
  ASSERT_TRUE(MidiOutput_Flush());
  const std::vector<TimedOutput::Record> records = timed.Records();
  ASSERT_EQ(records.size(), 10u);
  for (size_t i = 0; i < records.size(); ++i) {
    const int64_t expectedDue = start + kMidiScheduleAheadNs + 20'000'000 + static_cast<int64_t>(i) * 1'000'000;
    EXPECT_NEAR(static_cast<double>(records[i].dueNs), static_cast<double>(expectedDue), 5e6) << i;
    if (i > 0) {
      EXPECT_NEAR(static_cast<double>(records[i].dueNs - records[i - 1].dueNs), 1e6, 5e5) << i;
    }
    EXPECT_LT(records[i].handedNs, records[i].dueNs) << "handed over before it is due: " << i;
  }
  CloseMidiPorts();  // while `timed` still lives
}

}  // namespace
