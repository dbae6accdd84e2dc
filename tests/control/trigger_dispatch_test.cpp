// Matching MIDI messages and keys against the trigger lists, and learning.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "control/posted_commands.h"
#include "control/trigger_set.h"

namespace {

// A trigger matching one note / controller (data1) with a data2 range and output range.
Trigger Make(TriggerType type, int data1, int low, int high, uint32_t command, int track = 0) {
  Trigger t = Trigger_Make(type);
  t.data1.SetInput(data1, ValueRange::kSingle);
  t.data2.SetInput(low, high);
  t.data2.SetOutput(0, 127);
  t.action = {command, track};
  return t;
}

class TriggerDispatch : public ::testing::Test {
 protected:
  void SetUp() override { ControlCommands().Clear(); }
  TriggerSet set;
};

// Each type takes its value from its own range: note velocity and controller value
// (data2), pressure (data1), the 14-bit bend, a single program; system messages by channel.
TEST_F(TriggerDispatch, MatchingFiresEveryMatchInOrderWithTheScaledValue) {
  set.Add(TriggerType::NoteOn, Make(TriggerType::NoteOn, 60, 128, 128, 32813));
  set.Add(TriggerType::NoteOff, Make(TriggerType::NoteOff, 60, 0, 0, 32806, 2));
  set.Add(TriggerType::ControlChange, Make(TriggerType::ControlChange, 7, 64, 127, 32889));
  set.Add(TriggerType::ControlChange, Make(TriggerType::ControlChange, 7, 128, 128, 32813, 1));
  Trigger onPort = Make(TriggerType::ControlChange, 9, 128, 128, 32776);
  onPort.port.SetInput(3, ValueRange::kSingle);
  onPort.channel.SetInput(9, ValueRange::kSingle);
  set.Add(TriggerType::ControlChange, onPort);
  const struct { TriggerType type; int data1, channel; uint32_t command; } others[] = {
      {TriggerType::ChannelPressure, -1, -1, 32889}, {TriggerType::PitchBend, -1, -1, 32955},
      {TriggerType::ProgramChange, 5, -1, 32859},     {TriggerType::SongStart, -1, 10, 32776},
      {TriggerType::SongStop, -1, 0, 32777}};  // can never match: Stop is channel 12
  for (const auto& o : others) {
    Trigger t = Trigger_Make(o.type);
    if (o.data1 >= 0) t.data1.SetInput(o.data1, ValueRange::kSingle);
    if (o.channel >= 0) t.channel.SetInput(o.channel, ValueRange::kSingle);
    t.action = {o.command, 0};
    set.Add(o.type, t);
  }
  const struct { int port, channel, status, data1, data2; Commands fired; } cases[] = {
      {0, 0, 0x90, 60, 0, {{32806, 0, 2}}},  // velocity 0 is a note off
      {0, 0, 0x90, 60, 127, {{32813, 65534, 0}}},
      {0, 0, 0x90, 61, 127, {}},
      {0, 0, 0xB0, 7, 127, {{32889, 65018, 0}, {32813, 65534, 1}}},
      {0, 0, 0xB0, 7, 63, {{32813, 32509, 1}}},  // below the first trigger's range
      {2, 9, 0xB0, 9, 100, {}},                  // wrong port
      {3, 8, 0xB0, 9, 100, {}},                  // wrong channel
      {3, 9, 0xB0, 9, 0, {{32776, 0, 0}}},
      {0, 0, 0xD0, 64, 0, {{32889, 33025, 0}}},
      {0, 0, 0xE0, 0, 64, {{32955, 32769, 0}}},  // bend 64 * 128 = 8192
      {0, 0, 0xE0, 127, 127, {{32955, 65534, 0}}},
      {0, 0, 0xC0, 5, 0, {{32859, 2580, 0}}},  // a single program: no scale, output low 5
      {0, 0x0A, 0xF0, 0, 0, {{32776, 0, 0}}},
      {0, 0x0C, 0xF0, 0, 0, {}},
      {0, 0x0B, 0xF0, 0, 0, {}},
  };
  for (const auto& c : cases) {
    set.DispatchMidi(c.port, c.channel, c.status, c.data1, c.data2);
    EXPECT_EQ(Posted(), c.fired) << std::hex << c.status << " " << std::dec << c.data1 << " " << c.data2;
  }
}

TEST_F(TriggerDispatch, KeysMatchByCaseAndNeverCharacterSixteen) {
  Trigger a = Trigger_Make(TriggerType::KeyboardKey);
  a.data1.SetInput('a', 'a');
  a.action = {32771, 0};
  set.Add(TriggerType::KeyboardKey, a);
  a.action = {32813, 4};
  set.Add(TriggerType::KeyboardKey, a);
  EXPECT_FALSE(set.MatchKey('A'));
  a.data1.SetInput(128, 128);  // an "any" key range would take every key...
  set.Add(TriggerType::KeyboardKey, a);
  EXPECT_TRUE(set.MatchKey('a') && !set.MatchKey(16));  // ...but never character 16
  EXPECT_EQ(Posted(), (Commands{{32771, 0, 0}, {32813, 0, 4}, {32813, 0, 4}}));
}

struct RecordingLearnTarget : LearnTarget {
  std::vector<std::pair<uint32_t, uint32_t>> messages;
  void PostLearnMessage(uint32_t id, uint32_t value) override { messages.emplace_back(id, value); }
};

TEST_F(TriggerDispatch, LearningSendsLearnMessagesAndFiresNothing) {
  set.Add(TriggerType::NoteOn, Make(TriggerType::NoteOn, 60, 128, 128, 32776));
  Trigger key = Trigger_Make(TriggerType::KeyboardKey);
  key.data1.SetInput('a', 'a');
  set.Add(TriggerType::KeyboardKey, key);
  RecordingLearnTarget dialog;
  set.StartLearn(&dialog);
  const int events[][5] = {{2, 1, 0x90, 60, 100}, {2, 1, 0x90, 60, 0}, {3, 0, 0xE0, 5, 6}, {0, 0x0C, 0xF0, 0, 0},
                           {0, 0x0E, 0xF0, 0, 0}};  // the last is not learnable
  for (const auto& m : events) set.DispatchMidi(m[0], m[1], m[2], m[3], m[4]);
  EXPECT_TRUE(set.MatchKey('a') && !set.MatchKey(16));
  EXPECT_TRUE(Posted().empty());
  const uint32_t port2ch1 = 1u << 16 | 2u;  // learned as (channel << 16) | port
  EXPECT_EQ(dialog.messages, (std::vector<std::pair<uint32_t, uint32_t>>{{6025, 60}, {6031, port2ch1}, {6024, 60},
      {6031, port2ch1}, {6030, 0}, {6031, 3}, {6033, 0}, {6031, 12u << 16}, {6034, 'a'}}));

  // Learning with no target drops events; StopLearn brings matching back.
  set.StartLearn(nullptr);
  set.DispatchMidi(0, 0, 0x90, 60, 100);
  EXPECT_TRUE(Posted().empty());
  set.StopLearn(), set.DispatchMidi(0, 0, 0x90, 60, 100);
  EXPECT_EQ(Posted().size(), 1u);
}

TEST_F(TriggerDispatch, ListsRefuseUnknownTypes) {
  const Trigger t = Make(TriggerType::PolyPressure, 10, 5, 100, 32831);
  set.Add(static_cast<TriggerType>(10), t);
  set.ReplaceAll({{static_cast<TriggerType>(11), t}, {TriggerType::NoteOn, t}});
  set.DispatchMidi(0, 0, 0xA0, 10, 50);  // nothing was stored under poly pressure
  EXPECT_TRUE(set.Count(TriggerType::NoteOn) == 1 && Posted().empty());
}

// A transport command that runs a nested poll which clears the list being walked (as a
// modal message box's event loop could) must not make the walk read freed triggers.
TEST_F(TriggerDispatch, WalkSurvivesTheListChangingUnderAFiredCommand) {
  struct ClearingTransport : TransportNow {
    TriggerSet* set;
    int runs = 0;
    bool ExecuteTransportNow(uint32_t id) override { return id == 32771 && (++runs, set->ClearAll(), true); }
  } transport;
  transport.set = &set;
  Control_InstallTransportNow(&transport);
  for (int i = 0; i < 3; ++i) set.Add(TriggerType::NoteOn, Make(TriggerType::NoteOn, 60, 128, 128, 32771));
  set.DispatchMidi(0, 0, 0x90, 60, 1);
  Control_InstallTransportNow(nullptr);
  EXPECT_EQ(transport.runs, 1);
}

}  // namespace
