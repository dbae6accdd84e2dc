// MIDI & Keyboard Control: the working list, its description lines, edits with the range
// rules, conversion, learning from injected MIDI, and what OK and Cancel leave behind.
#include "app/dialogs/midi_control_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_fixture.h"
#include "control/action_catalogue.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"

namespace {

using L = ControlList;

class MidiControlDialogTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    keys = midi.AddDevice("Keys", true, false);  // a second input, device index 2
    Restart();
  }
  void TearDown() override {
    Triggers().StopLearn();
    AppTest::TearDown();
  }
  std::string Line(int entry) { return MidiControlDialog_Lines(d)[entry]; }
  // Picks list entries of the selected trigger, in order.
  void Choose(std::initializer_list<std::pair<ControlList, int>> picks) {
    for (const auto& [list, index] : picks) MidiControlDialog_Choose(&d, list, index);
  }
  ControlDetails Details() { return MidiControlDialog_Details(d); }
  MidiControlDialog d;
  int keys = -1;
};

TEST_F(MidiControlDialogTest, NewTriggerLearnsAPlayedNote) {
  MidiControlDialog_Open(&d);
  midi.Inject(keys, MidiMessage(0x90, 62, 100));
  MidiPoll();
  MidiControlDialog_TakeLearned(&d);  // nothing selected: nothing learned
  EXPECT_TRUE(d.entries.empty());

  MidiControlDialog_New(&d);
  midi.Inject(keys, MidiMessage(0x90, 60, 100));  // middle C, channel 1
  midi.Inject(keys, MidiMessage(0x80, 60, 0));    // its Note Off is not learned
  MidiPoll();
  MidiControlDialog_TakeLearned(&d);
  ASSERT_EQ(d.entries.size(), 1u);
  EXPECT_EQ(Line(0), "Note 60 On, any velocity, will trigger Transport Play");
  EXPECT_TRUE(Details().port == keys && Details().channel == 0 && Details().value == 60);

  // A bend keeps the full output scale on its own 14-bit scale.
  MidiControlDialog_Learn(&d, kLearnPitchBend, 0);
  EXPECT_EQ(d.entries[0].trigger.data1.outputHigh, 16383);
  EXPECT_TRUE(Details().outputHigh == 127 && Details().inputLow == kAnyValueIndex);
  EXPECT_EQ(Line(0), "Pitch Bend, any value, will adjust Transport Play from 0 to 16383");

  MidiControlDialog_Learn(&d, kLearnKeyboardKey, 'q');
  EXPECT_EQ(Line(0), "Keyboard key  q  (LOWER CASE ONLY) will trigger Transport Play");
  EXPECT_TRUE(Details().value == 'q' - 32 && !Details().rangeEnabled);
}

TEST_F(MidiControlDialogTest, RangeEditsKeepLowBelowHighAndConversionKeepsTheRanges) {
  MidiControlDialog_Open(&d);
  MidiControlDialog_New(&d);
  Choose({{L::InputLow, 20}});
  EXPECT_EQ(Line(0), "Note 0 On, velocity 20 to 20, will trigger Transport Play");
  Choose({{L::InputHigh, 10}});  // the low follows the high down
  EXPECT_EQ(Line(0), "Note 0 On, velocity 10 to 10, will trigger Transport Play");
  Choose({{L::InputHigh, 90}, {L::InputLow, kAnyValueIndex}});
  EXPECT_EQ(Line(0), "Note 0 On, any velocity, will trigger Transport Play");

  const int cc = static_cast<int>(TriggerType::ControlChange);
  Choose({{L::Type, cc}, {L::Value, 7}, {L::Event, 1}, {L::InputLow, 30}, {L::InputHigh, 40}});
  EXPECT_EQ(Line(0), "Control Change 7, value 30 to 40, will adjust " +
                         Describe({ActionCatalogue_Row(1).commandId, 0}) + " from 0 to 127");  // output kept
  Choose({{L::OutputLow, 50}, {L::OutputHigh, 5}});  // the output low follows it down
  EXPECT_TRUE(Details().outputLow == 5 && Details().outputHigh == 5);
  Choose({{L::OutputLow, kAnyValueIndex}});
  EXPECT_EQ(Details().outputHigh, kAnyValueIndex);

  // Conversion keeps the port, channel, action and the value range where the type has one.
  Choose({{L::Port, 3}, {L::Track, 8}, {L::Type, static_cast<int>(TriggerType::PitchBend)}});
  ControlDetails v = Details();
  EXPECT_TRUE(v.port == 3 && v.channel == kAnyPortIndex && v.track == 8);
  EXPECT_EQ(v.inputLow, 30);  // the same place on the 14-bit scale
  EXPECT_STREQ(v.valueLabel, "None");
  Choose({{L::Type, static_cast<int>(TriggerType::ProgramChange)}});
  v = Details();
  EXPECT_TRUE(!v.rangeEnabled && v.value == 0);  // pitch bend had no single data1 value
  Choose({{L::InputLow, 50}});  // no range on this type: nothing changes
  EXPECT_EQ(Details().inputLow, v.inputLow);
}

TEST_F(MidiControlDialogTest, CancelLeavesTheTriggersOkReplacesThemAndWritesTheDefaultFile) {
  Trigger t = Trigger_Make(TriggerType::NoteOn);
  t.port.SetInput(keys, ValueRange::kSingle);
  Triggers().Add(TriggerType::ControlChange, t);
  Triggers().Add(TriggerType::NoteOn, t);
  RecomputeEnabledInputs();
  ASSERT_FALSE(MidiPorts().inputs[0].enabled);

  MidiControlDialog_Open(&d);  // every input is heard while learning
  ASSERT_EQ(d.entries.size(), 2u);
  EXPECT_TRUE(d.entries[0].type == TriggerType::NoteOn && d.selected == 0);  // Note On before Control Change
  EXPECT_TRUE(MidiPorts().inputs[0].enabled && Triggers().Learning());
  EXPECT_EQ(d.ports, (std::vector<std::string>{"Port 1: Pads", "Port 3: Keys"}));
  MidiControlDialog_New(&d);
  MidiControlDialog_Cancel(&d);
  EXPECT_FALSE(Triggers().Learning());
  EXPECT_TRUE(!MidiPorts().inputs[0].enabled && MidiPorts().inputs[1].enabled);  // unused inputs disabled again
  EXPECT_TRUE(Triggers().Count(TriggerType::NoteOn) == 1 && Triggers().Count(TriggerType::ControlChange) == 1);

  MidiControlDialog_Open(&d);
  MidiControlDialog_Delete(&d);  // the entry after it moves up and is selected
  EXPECT_EQ(d.selected, 0);
  MidiControlDialog_Delete(&d);  // the last one: nothing is selected
  EXPECT_EQ(d.selected, -1);
  MidiControlDialog_Delete(&d);  // nothing selected: nothing deleted
  MidiControlDialog_New(&d);
  Choose({{L::Value, 40}});
  MidiControlDialog_Ok(&d);
  EXPECT_TRUE(std::filesystem::exists(dir + "/Default_Midi.xml") && !Triggers().Learning());
  ASSERT_EQ(Triggers().Count(TriggerType::NoteOn), 1);
  EXPECT_EQ(Triggers().Count(TriggerType::ControlChange), 0);
  EXPECT_EQ(Triggers().Get(TriggerType::NoteOn, 0).data1.low, 40);
  EXPECT_TRUE(MidiPorts().inputs[0].enabled);  // a trigger on any port hears them all

  Triggers().ClearAll();
  MidiControlDialog_Open(&d);
  dialog.answers = {IDNO};
  MidiControlDialog_LoadDefault(&d);
  EXPECT_TRUE(dialog.Saw("This will replace all current triggers with those from the default configuration. Continue?",
                         "Replace All Triggers?"));
  EXPECT_TRUE(d.entries.empty());
  MidiControlDialog_LoadDefault(&d);  // Yes
  ASSERT_EQ(d.entries.size(), 1u);
  EXPECT_EQ(Line(0), "Note 40 On, any velocity, will trigger Transport Play");
  MidiControlDialog_Cancel(&d);
}

}  // namespace

namespace {

// The Feedback column: on for a new trigger, offered only for the types a pad can be lit
// for, kept through a conversion (learning) and put into effect by OK.
TEST_F(MidiControlDialogTest, FeedbackIsOnByDefaultKeptThroughLearningAndTakenByOk) {
  MidiControlDialog_Open(&d);
  MidiControlDialog_New(&d);
  EXPECT_TRUE(Details().feedback == 1 && Details().feedbackEnabled);
  Choose({{L::Feedback, 0}});
  MidiControlDialog_Learn(&d, kLearnControlChange, 20);
  EXPECT_TRUE(Details().feedback == 0 && Details().feedbackEnabled);
  Choose({{L::Type, static_cast<int>(TriggerType::ProgramChange)}});
  EXPECT_FALSE(Details().feedbackEnabled);  // nothing to light
  Choose({{L::Type, static_cast<int>(TriggerType::ControlChange)}});
  MidiControlDialog_Ok(&d);
  ASSERT_EQ(Triggers().Count(TriggerType::ControlChange), 1);
  EXPECT_FALSE(Triggers().Get(TriggerType::ControlChange, 0).feedback);
}

}  // namespace
