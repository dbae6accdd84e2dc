// Matching MIDI messages and keys against the trigger lists, and learning.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "control/fire_action.h"
#include "control/trigger_set.h"

namespace {

struct RecordingLearnTarget : LearnTarget {
  std::vector<std::pair<uint32_t, uint32_t>> messages;
  void PostLearnMessage(uint32_t id, uint32_t value) override { messages.emplace_back(id, value); }
};

// A trigger matching one note / controller (data1) with a data2 range and output range.
Trigger Make(TriggerType type, int data1, int low, int high, int outLow, int outHigh,
             uint32_t command, int track = 0) {
  Trigger t = Trigger_Make(type);
  t.data1.SetInput(data1, ValueRange::kSingle);
  t.data2.SetInput(low, high);
  t.data2.SetOutput(outLow, outHigh);
  t.action = {command, track};
  return t;
}

std::vector<ControlCommand> Posted() {
  std::vector<ControlCommand> out;
  ControlCommand c;
  while (ControlCommands().Take(&c)) out.push_back(c);
  return out;
}

class TriggerDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    set.ClearAll();
    ControlCommands().Clear();
  }
  void TearDown() override { ControlCommands().Clear(); }
  TriggerSet set;
};

TEST_F(TriggerDispatch, NoteOnVelocityZeroFiresNoteOffTriggersOnly) {
  set.Add(TriggerType::NoteOn, Make(TriggerType::NoteOn, 60, 128, 128, 0, 127, 32813));
  set.Add(TriggerType::NoteOff, Make(TriggerType::NoteOff, 60, 0, 0, 0, 127, 32806, 2));
  set.DispatchMidi(0, 0, 0x90, 60, 0);
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{{32806, 0, 2}}));
  set.DispatchMidi(0, 0, 0x90, 60, 127);
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{{32813, 65534, 0}}));
  set.DispatchMidi(0, 0, 0x90, 61, 127);  // another note
  EXPECT_TRUE(Posted().empty());
}

TEST_F(TriggerDispatch, EveryMatchingTriggerFiresInInsertionOrder) {
  set.Add(TriggerType::ControlChange, Make(TriggerType::ControlChange, 7, 64, 127, 0, 127, 32889));
  set.Add(TriggerType::ControlChange, Make(TriggerType::ControlChange, 7, 128, 128, 0, 127, 32813, 1));
  set.Add(TriggerType::ControlChange, Make(TriggerType::ControlChange, 8, 128, 128, 0, 127, 32814));
  set.DispatchMidi(0, 0, 0xB0, 7, 127);
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{{32889, 65018, 0}, {32813, 65534, 1}}));
  set.DispatchMidi(0, 0, 0xB0, 7, 63);  // below the first trigger's range
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{{32813, 32509, 1}}));
  set.DispatchMidi(0, 0, 0xB0, 7, 64);
  EXPECT_EQ(Posted().size(), 2u);
}

TEST_F(TriggerDispatch, PortAndChannelMustMatch) {
  Trigger t = Make(TriggerType::NoteOn, 60, 128, 128, 0, 127, 32776);
  t.port.SetInput(3, ValueRange::kSingle);
  t.channel.SetInput(9, ValueRange::kSingle);
  set.Add(TriggerType::NoteOn, t);
  set.DispatchMidi(2, 9, 0x90, 60, 100);
  set.DispatchMidi(3, 8, 0x90, 60, 100);
  EXPECT_TRUE(Posted().empty());
  set.DispatchMidi(3, 9, 0x90, 60, 100);
  EXPECT_EQ(Posted().size(), 1u);
}

TEST_F(TriggerDispatch, ValueComesFromTheTypesValueRange) {
  Trigger pressure = Trigger_Make(TriggerType::ChannelPressure);
  pressure.action = {32889, 0};
  set.Add(TriggerType::ChannelPressure, pressure);
  Trigger bend = Trigger_Make(TriggerType::PitchBend);
  bend.action = {32955, 0};
  set.Add(TriggerType::PitchBend, bend);
  Trigger program = Trigger_Make(TriggerType::ProgramChange);
  program.data1.SetInput(5, ValueRange::kSingle);
  program.action = {32859, 0};
  set.Add(TriggerType::ProgramChange, program);

  set.DispatchMidi(0, 0, 0xD0, 64, 0);     // pressure is data1
  set.DispatchMidi(0, 0, 0xE0, 0, 64);     // bend 64 * 128 = 8192
  set.DispatchMidi(0, 0, 0xE0, 127, 127);  // bend 16383
  set.DispatchMidi(0, 0, 0xC0, 5, 0);      // a single program: no scale, output low 5
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{
                          {32889, 33025, 0}, {32955, 32769, 0}, {32955, 65534, 0}, {32859, 2580, 0}}));
}

TEST_F(TriggerDispatch, SongStartAndStopUseTheirSystemChannels) {
  Trigger start = Trigger_Make(TriggerType::SongStart);
  start.channel.SetInput(10, ValueRange::kSingle);
  start.action = {32776, 0};
  set.Add(TriggerType::SongStart, start);
  Trigger stop = Trigger_Make(TriggerType::SongStop);
  stop.channel.SetInput(0, ValueRange::kSingle);  // can never match: Stop is channel 12
  stop.action = {32772, 0};
  set.Add(TriggerType::SongStop, stop);
  set.DispatchMidi(0, 0x0A, 0xF0, 0, 0);
  set.DispatchMidi(0, 0x0C, 0xF0, 0, 0);
  set.DispatchMidi(0, 0x0B, 0xF0, 0, 0);  // continue: ignored
  set.DispatchMidi(0, 0x08, 0xF0, 0, 0);  // clock: ignored
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{{32776, 0, 0}}));
}

TEST_F(TriggerDispatch, LearningSendsLearnMessagesAndFiresNothing) {
  set.Add(TriggerType::NoteOn, Make(TriggerType::NoteOn, 60, 128, 128, 0, 127, 32776));
  Trigger key = Trigger_Make(TriggerType::KeyboardKey);
  key.data1.SetInput('a', 'a');
  set.Add(TriggerType::KeyboardKey, key);
  RecordingLearnTarget dialog;
  set.StartLearn(&dialog);
  set.DispatchMidi(2, 1, 0x90, 60, 100);
  set.DispatchMidi(2, 1, 0x90, 60, 0);
  set.DispatchMidi(3, 0, 0xE0, 5, 6);
  set.DispatchMidi(0, 0x0C, 0xF0, 0, 0);
  set.DispatchMidi(0, 0x0E, 0xF0, 0, 0);  // not learnable
  EXPECT_TRUE(set.MatchKey('a'));
  EXPECT_FALSE(set.MatchKey(16));
  EXPECT_TRUE(Posted().empty());
  const uint32_t port2ch1 = 1u << 16 | 2u;
  EXPECT_EQ(dialog.messages, (std::vector<std::pair<uint32_t, uint32_t>>{
                                 {6025, 60}, {6031, port2ch1}, {6024, 60}, {6031, port2ch1},
                                 {6030, 0}, {6031, 3}, {6033, 0}, {6031, 12u << 16}, {6034, 'a'}}));

  // Learning with no target drops events; StopLearn brings matching back.
  set.StartLearn(nullptr);
  set.DispatchMidi(0, 0, 0x90, 60, 100);
  EXPECT_TRUE(Posted().empty());
  set.StopLearn();
  set.DispatchMidi(0, 0, 0x90, 60, 100);
  EXPECT_EQ(Posted().size(), 1u);
}

TEST_F(TriggerDispatch, MatchKey) {
  Trigger a = Trigger_Make(TriggerType::KeyboardKey);
  a.data1.SetInput('a', 'a');
  a.action = {32771, 0};
  set.Add(TriggerType::KeyboardKey, a);
  Trigger a2 = a;
  a2.action = {32813, 4};
  set.Add(TriggerType::KeyboardKey, a2);
  EXPECT_FALSE(set.MatchKey('A'));  // case matters
  EXPECT_TRUE(set.MatchKey('a'));
  EXPECT_EQ(Posted(), (std::vector<ControlCommand>{{32771, 0, 0}, {32813, 0, 4}}));
  Trigger ctrlP = Trigger_Make(TriggerType::KeyboardKey);
  ctrlP.data1.SetInput(128, 128);  // an "any" key range would take every key...
  set.Add(TriggerType::KeyboardKey, ctrlP);
  EXPECT_FALSE(set.MatchKey(16));  // ...but never character 16
  EXPECT_TRUE(Posted().empty());
}

TEST_F(TriggerDispatch, ListsAddGetReplace) {
  Trigger t = Make(TriggerType::PolyPressure, 10, 5, 100, 20, 30, 32831);
  set.Add(TriggerType::PolyPressure, t);
  set.Add(static_cast<TriggerType>(10), t);  // no such type
  EXPECT_EQ(set.Count(TriggerType::PolyPressure), 1);
  const Trigger got = set.Get(TriggerType::PolyPressure, 0);
  EXPECT_EQ(got.data2.low, 5);
  EXPECT_EQ(got.data2.outputHigh, 30);
  EXPECT_EQ(got.action.commandId, 32831u);
  set.ReplaceAll({{TriggerType::SongStop, Trigger_Make(TriggerType::SongStop)},
                  {static_cast<TriggerType>(11), t},
                  {TriggerType::NoteOn, t},
                  {TriggerType::NoteOn, t}});
  EXPECT_EQ(set.Count(TriggerType::PolyPressure), 0);
  EXPECT_EQ(set.Count(TriggerType::SongStop), 1);
  EXPECT_EQ(set.Count(TriggerType::NoteOn), 2);
  set.ClearAll();
  EXPECT_EQ(set.Count(TriggerType::NoteOn), 0);
}

// A transport command that runs a nested poll which clears the list being walked (as a
// modal message box's event loop could) must not make the walk read freed triggers.
TEST_F(TriggerDispatch, WalkSurvivesTheListChangingUnderAFiredCommand) {
  struct ClearingTransport : TransportNow {
    TriggerSet* set;
    int runs = 0;
    bool ExecuteTransportNow(uint32_t id) override {
      if (id != 32771) return false;
      ++runs;
      set->ClearAll();
      return true;
    }
  } transport;
  transport.set = &set;
  Control_InstallTransportNow(&transport);
  for (int i = 0; i < 3; ++i) set.Add(TriggerType::NoteOn, Make(TriggerType::NoteOn, 60, 128, 128, 0, 127, 32771));
  set.DispatchMidi(0, 0, 0x90, 60, 1);
  Control_InstallTransportNow(nullptr);
  EXPECT_EQ(transport.runs, 1);
}

}  // namespace
