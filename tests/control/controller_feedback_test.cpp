// Controller feedback: which lamp each stateful action shows, and what goes to the
// controller as states change: only changes, each pad on its own note or controller and
// channel, the blink of a pending action, the full refresh when the output or the
// triggers change, and dark pads for triggers that went away.
#include <gtest/gtest.h>

#include <vector>

#include "control/command_numbers.h"
#include "control/controller_feedback.h"
#include "control/midi_backend.h"
#include "control/trigger_set.h"

namespace {

namespace N = CommandNumber;

struct Sent {
  int32_t port;
  uint32_t message;
  bool operator==(const Sent&) const = default;
};
std::vector<Sent> g_sent;
bool g_refuse = false;
bool Record(int32_t port, uint32_t message) {
  if (g_refuse) return false;
  g_sent.push_back({port, message});
  return true;
}

Sent NoteOn(int channel, int note, int velocity, int port = 0) {
  return {port, MidiMessage(0x90 + channel, note, velocity)};
}

TEST(ControllerFeedbackLamp, EachStatefulActionShowsItsOwnState) {
  OscState s;
  s.currentTrack = 3;
  s.tracks[1].mute = true;
  s.tracks[2].solo = true;
  s.switches.reverb = true;
  s.switches.halfSpeed = true;
  const struct { uint32_t command; int track; Lamp want; } cases[] = {
      {N::TrackMute, 1, Lamp::On},            {N::TrackMuteSet, 0, Lamp::Off},
      {N::TrackSolo, 8, Lamp::On},            // 8: the current track, track 3
      {N::TrackRecord, 2, Lamp::On},          {N::SetTrack, 1, Lamp::Off},
      {N::TrackRecord, 8, Lamp::Off},         // "Current" is no track of its own
      {N::ReverbEnableSet, 0, Lamp::On},      {N::TransportSlow, 0, Lamp::On},
      {N::DelaySync, 0, Lamp::Off},           {N::TransportStop, 0, Lamp::On},
      {N::TransportRecord, 0, Lamp::Off},     {N::TrackVolume, 1, Lamp::Off},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ControllerFeedback_Lamp(s, {c.command, c.track}), c.want) << c.command << " track " << c.track;
  EXPECT_FALSE(ControllerFeedback_HasState(N::TrackVolume));
  EXPECT_FALSE(ControllerFeedback_HasState(N::TransportUndo));
  EXPECT_TRUE(ControllerFeedback_HasState(N::MixToDisk));

  // Recording is lit once the count-off is over and blinks while it runs; an insert
  // blinks while it waits for the loop start.
  s.transport = "Recording";
  s.countoff = true;
  EXPECT_EQ(ControllerFeedback_Lamp(s, {N::TransportRecord, 0}), Lamp::Blink);
  s.countoff = false;
  EXPECT_EQ(ControllerFeedback_Lamp(s, {N::ToggleStopRecord, 0}), Lamp::On);
  s.transport = "Insert Waiting";
  EXPECT_EQ(ControllerFeedback_Lamp(s, {N::TransportInsert, 0}), Lamp::Blink);
  EXPECT_EQ(ControllerFeedback_Lamp(s, {N::TransportRecord, 0}), Lamp::Off);
}

class ControllerFeedbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_sent.clear();
    g_refuse = false;
  }
  // A note-on (or other) trigger on `number`, channel `channel` (-1: any), firing `command`.
  void Learn(TriggerType type, int number, int channel, uint32_t command, int track = 0, bool feedback = true) {
    Trigger t = Trigger_Make(type);
    t.data1.SetInput(number, ValueRange::kSingle);
    if (channel >= 0) t.channel.SetInput(channel, ValueRange::kSingle);
    t.action = {command, track};
    t.feedback = feedback;
    triggers.Add(type, t);
  }
  std::vector<Sent> Update(int port = 0) {
    g_sent.clear();
    feedback.Update(state, port, triggers, Record);
    return g_sent;
  }

  TriggerSet triggers;
  ControllerFeedback feedback;
  OscState state;
};

TEST_F(ControllerFeedbackTest, EveryPadIsSentOnceThenOnlyItsChanges) {
  Learn(TriggerType::NoteOn, 36, 9, N::TrackMute, 1);
  Learn(TriggerType::ControlChange, 20, 0, N::TrackSolo, 1);
  Learn(TriggerType::NoteOff, 37, -1, N::DelayEnable);         // any channel: sent on channel 1
  Learn(TriggerType::NoteOn, 38, 0, N::TrackVolume, 1);        // no state: no lamp
  Learn(TriggerType::ProgramChange, 5, 0, N::TrackMute, 1);    // no pad to light
  Learn(TriggerType::NoteOn, 39, 0, N::TrackMute, 2, false);   // feedback switched off
  state.tracks[1].mute = true;
  // In the order of the trigger types: notes on, notes off, controllers.
  EXPECT_EQ(Update(), (std::vector<Sent>{NoteOn(9, 36, 127), NoteOn(0, 37, 0), {0, MidiMessage(0xB0, 20, 0)}}));
  EXPECT_TRUE(Update().empty());
  state.tracks[1].mute = false;
  state.tracks[1].solo = true;
  state.tracks[2].mute = true;  // only the pad with feedback off shows track 3
  EXPECT_EQ(Update(), (std::vector<Sent>{NoteOn(9, 36, 0), {0, MidiMessage(0xB0, 20, 127)}}));
}

TEST_F(ControllerFeedbackTest, APendingActionBlinksOnTheBeat) {
  Learn(TriggerType::NoteOn, 40, 0, N::TransportRecord);
  state.transport = "Recording";
  state.countoff = true;
  std::vector<Sent> lamps;
  for (int beat = 0; beat < 4; ++beat) {
    state.beat = beat;
    for (int tick = 0; tick < 3; ++tick)  // several ticks to a beat: one message a beat
      for (const Sent& s : Update()) lamps.push_back(s);
  }
  EXPECT_EQ(lamps, (std::vector<Sent>{NoteOn(0, 40, 127), NoteOn(0, 40, 0), NoteOn(0, 40, 127), NoteOn(0, 40, 0)}));
  state.countoff = false;  // the count-off is over: lit steadily
  state.beat = 0;
  EXPECT_EQ(Update(), (std::vector<Sent>{NoteOn(0, 40, 127)}));
  state.beat = 1;
  EXPECT_TRUE(Update().empty());
}

TEST_F(ControllerFeedbackTest, ASharedPadShowsItsBrightestTrigger) {
  Learn(TriggerType::NoteOn, 41, 0, N::TrackMute, 0);
  Learn(TriggerType::NoteOff, 41, 0, N::TrackSolo, 0);  // the same pad, released
  EXPECT_EQ(Update(), (std::vector<Sent>{NoteOn(0, 41, 0)}));
  state.tracks[0].solo = true;
  EXPECT_EQ(Update(), (std::vector<Sent>{NoteOn(0, 41, 127)}));
}

TEST_F(ControllerFeedbackTest, ANewOutputOrNewTriggersGetEveryLampAgainAndOrphansGoDark) {
  Learn(TriggerType::NoteOn, 42, 0, N::TrackMute, 0);
  Learn(TriggerType::NoteOn, 43, 0, N::TrackSolo, 0);
  state.tracks[0].mute = true;
  EXPECT_TRUE(Update(-1).empty());  // no output chosen
  EXPECT_EQ(Update(2), (std::vector<Sent>{NoteOn(0, 42, 127, 2), NoteOn(0, 43, 0, 2)}));
  // Another output: the old one's lit pads go dark, the new one gets every lamp.
  EXPECT_EQ(Update(3), (std::vector<Sent>{NoteOn(0, 42, 0, 2), NoteOn(0, 42, 127, 3), NoteOn(0, 43, 0, 3)}));
  // The triggers are replaced: the lit pad no trigger owns goes dark, the others are sent again.
  triggers.ClearAll();
  Learn(TriggerType::NoteOn, 43, 0, N::TrackSolo, 0);
  Learn(TriggerType::NoteOn, 44, 0, N::TrackMute, 0);
  EXPECT_EQ(Update(3), (std::vector<Sent>{NoteOn(0, 43, 0, 3), NoteOn(0, 44, 127, 3), NoteOn(0, 42, 0, 3)}));
  EXPECT_TRUE(Update(3).empty());
  feedback.Darken(Record);
  EXPECT_EQ(g_sent, (std::vector<Sent>{NoteOn(0, 44, 0, 3)}));
}

TEST_F(ControllerFeedbackTest, AMessageTheOutputRefusedIsSentAtTheNextUpdate) {
  Learn(TriggerType::NoteOn, 45, 0, N::TrackMute, 0);
  state.tracks[0].mute = true;
  g_refuse = true;
  EXPECT_TRUE(Update().empty());
  g_refuse = false;
  EXPECT_EQ(Update(), (std::vector<Sent>{NoteOn(0, 45, 127)}));
}

}  // namespace
