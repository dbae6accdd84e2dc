// The controller's lamps as the running application core keeps them: learned pads on the
// in-memory MIDI layer, states changed by the mouse and by the transport, and the bytes
// the feedback output really received.
#include <gtest/gtest.h>

#include <vector>

#include "app/app_fixture.h"
#include "app/midi_feedback.h"
#include "app/settings/preferences.h"
#include "control/midi_output.h"
#include "control/trigger_set.h"

namespace {

constexpr int kFeedbackDevice = 1;  // the fixture's output "Clock", output position 0

class MidiFeedbackTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    App_Preferences().midi_feedback_port = 0;
  }
  void Learn(TriggerType type, int number, Command command, int track, bool feedback = true) {
    Trigger t = Trigger_Make(type);
    t.data1.SetInput(number, ValueRange::kSingle);
    t.channel.SetInput(2, ValueRange::kSingle);
    t.action = {CommandId(command), track};
    t.feedback = feedback;
    Triggers().Add(type, t);
  }
  // One tick of timer 1; the bytes the feedback output received since the last call.
  std::vector<uint32_t> Tick() {
    App_Timer1(&app());
    EXPECT_TRUE(MidiOutput_Flush());
    const std::vector<uint32_t> all = midi.Written(kFeedbackDevice);
    std::vector<uint32_t> fresh(all.begin() + static_cast<long>(seen), all.end());
    seen = all.size();
    return fresh;
  }
  static uint32_t Note(int note, int velocity) { return MidiMessage(0x92, note, velocity); }

  size_t seen = 0;
};

// Pads for record and mute of track 2: the mouse's mute is on the pad at the next tick, a
// controller gets control changes, and a pad whose feedback is off is left alone.
TEST_F(MidiFeedbackTest, TheMouseMutingTrack2LightsItsPad) {
  Learn(TriggerType::NoteOn, 36, Command::TrackRecord, 1);
  Learn(TriggerType::NoteOn, 37, Command::TrackMute, 1);
  Learn(TriggerType::ControlChange, 20, Command::TrackMute, 1);
  Learn(TriggerType::NoteOn, 38, Command::TrackSolo, 1, false);
  Do(Command::TrackMute, 1);  // track 2 starts muted: the click unmutes it
  EXPECT_EQ(Tick(), (std::vector<uint32_t>{Note(36, 0), Note(37, 0), MidiMessage(0xB2, 20, 0)}));
  EXPECT_TRUE(Tick().empty());
  Do(Command::TrackMute, 1);
  Do(Command::TrackSolo, 1);
  EXPECT_EQ(Tick(), (std::vector<uint32_t>{Note(37, 127), MidiMessage(0xB2, 20, 127)}));
  Do(Command::TrackRecord, 1);  // track 2 becomes the record track
  EXPECT_EQ(Tick(), (std::vector<uint32_t>{Note(36, 127)}));
}

// A recording counting off blinks its pad on the beat, then stays lit once it records.
TEST_F(MidiFeedbackTest, ARecordingCountingOffBlinksOnTheBeat) {
  Learn(TriggerType::NoteOn, 40, Command::TransportRecord, 0);
  Learn(TriggerType::NoteOn, 41, Command::TrackMute, 1);
  EXPECT_EQ(Tick(), (std::vector<uint32_t>{Note(40, 0), Note(41, 127)}));
  Do(Command::MetronomeRecordToggle);
  app().fields[PanelField::Countoff] = "1";
  Do(Command::SetTrack, 1);
  Do(Command::TransportRecord);
  ASSERT_EQ(Audio_GetTransportState(), Recording);
  const int beat = Audio_GetEngine()->framesPerBeat;
  ASSERT_GT(beat, 0);
  std::vector<uint32_t> lamps;
  for (int b = 0; b < 4; ++b) {
    for (uint32_t m : Tick()) lamps.push_back(m);
    Run(beat);
  }
  // Recording into the empty track 2 unmutes it at once.
  EXPECT_EQ(lamps, (std::vector<uint32_t>{Note(40, 127), Note(41, 0), Note(40, 0), Note(40, 127), Note(40, 0)}));
  // The measure of count-off is over: recording, lit for good.
  Run(256);
  EXPECT_EQ(Tick(), (std::vector<uint32_t>{Note(40, 127)}));
  Run(beat);
  EXPECT_TRUE(Tick().empty());
}

// Without an output chosen nothing is sent; choosing one sends every lamp, and the lamps
// go dark when the program ends.
TEST_F(MidiFeedbackTest, LampsGoToTheChosenOutputOnlyAndDarkenAtTheEnd) {
  App_Preferences().midi_feedback_port = -1;
  Learn(TriggerType::NoteOn, 37, Command::TrackMute, 1);
  EXPECT_TRUE(Tick().empty());
  App_Preferences().midi_feedback_port = 0;
  EXPECT_EQ(Tick(), (std::vector<uint32_t>{Note(37, 127)}));
  App_MidiFeedbackDarken(&app());
  EXPECT_TRUE(MidiOutput_Flush());
  EXPECT_EQ(midi.Written(kFeedbackDevice).back(), Note(37, 0));
}

}  // namespace
