// The MIDI control file: a byte-exact round trip of every trigger type, the reading rules,
// and what a missing or damaged file leaves in the trigger set and the polled inputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "control/action_catalogue.h"
#include "control/memory_midi_backend.h"
#include "control/midi_control_file.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "persist/temp_dir.h"
#include "support/scripted_dialog.h"

namespace {

const std::filesystem::path kFixtures = std::filesystem::path(KESTRINE_TEST_SOURCE_DIR) / "persist" / "fixtures";

class MidiControlFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Triggers().ClearAll(); }
  void TearDown() override { Triggers().ClearAll(); }

  // Reads a file made of the given trigger blocks.
  void ReadBlocks(const std::string& blocks) {
    WriteBytes(dir.File("set_Midi.xml"), "<midi_control>" + blocks + "</midi_control>");
    ReadMidiControlFile(base, true);
  }
  Trigger Get(TriggerType type, int i = 0) { return Triggers().Get(type, i); }

  TempDir dir;
  std::string base = dir.File("set.session");
  ScriptedDialog dialog;
};

TEST_F(MidiControlFileTest, EveryTypeReadsBackAndWritesTheSameBytes) {
  const std::string sample = ReadBytes((kFixtures / "Sample_Midi.xml").string());
  WriteBytes(dir.File("set_Midi.xml"), sample);
  ReadMidiControlFile(base, false);
  EXPECT_TRUE(dialog.shown.empty());
  for (int type = 0; type < kTriggerTypeCount; ++type)
    EXPECT_EQ(Triggers().Count(static_cast<TriggerType>(type)), 1) << type;
  const Trigger noteOn = Get(TriggerType::NoteOn);  // one-based and "any" fields
  EXPECT_TRUE(noteOn.data1.low == 60 && noteOn.port.IsAny() && noteOn.channel.low == 0 && noteOn.action.track == 8);
  EXPECT_EQ(noteOn.data2.Value(127), 65534u);
  EXPECT_EQ(Get(TriggerType::ChannelPressure).data1.outputHigh, 90);

  ASSERT_TRUE(WriteMidiControlFile(base));
  EXPECT_EQ(ReadBytes(dir.File("set_Midi.xml")), sample);
  EXPECT_EQ(ReadBytes(dir.File("set_Midi.bak")), sample);
}

TEST_F(MidiControlFileTest, NumbersAreClampedMissingFieldsTakeTheDefaultsAndBendsKeepFourteenBits) {
  ReadBlocks(
      "<trigger><trigger_type>keyboard_key</trigger_type><key>10</key><track>0</track><port>3</port></trigger>"
      "<trigger><trigger_type>keyboard_key</trigger_type><key>200</key><track>12</track></trigger>"
      "<trigger><port>0</port><channel>17</channel><note>300</note>"
      "<min_velocity>-5</min_velocity><max_velocity>999</max_velocity></trigger>"
      "<trigger><port>17</port><channel>ANY</channel></trigger>"
      "<trigger><trigger_type>aftertouch</trigger_type><event_type>no_such_action</event_type></trigger>"
      "<trigger><trigger_type>song_start</trigger_type><channel>11</channel></trigger>"
      "<trigger><trigger_type>pitch_bend</trigger_type></trigger><trigger><trigger_type>pitch_bend</trigger_type>"
      "<event_min_value>any</event_min_value><event_max_value>20000</event_max_value></trigger>");
  ASSERT_EQ(Triggers().Count(TriggerType::KeyboardKey), 2);
  const Trigger key = Get(TriggerType::KeyboardKey, 0), key2 = Get(TriggerType::KeyboardKey, 1);
  EXPECT_TRUE(key.data1.low == 32 && key.port.IsAny());  // keys come from no port
  EXPECT_TRUE(key2.data1.low == 126 && key2.action.track == 8);
  ASSERT_EQ(Triggers().Count(TriggerType::NoteOn), 3);  // an unknown type is a note on
  const Trigger clamped = Get(TriggerType::NoteOn, 0), any = Get(TriggerType::NoteOn, 1), plain = Get(TriggerType::NoteOn, 2);
  EXPECT_TRUE(clamped.port.low == 0 && clamped.channel.low == 15 && clamped.data1.low == 127);
  EXPECT_TRUE(clamped.data2.low == 0 && clamped.data2.high == 127);
  EXPECT_TRUE(any.port.low == 15 && any.channel.low == 0);  // only lower-case "any" is any
  EXPECT_TRUE(plain.action.commandId == 32776u && plain.data1.low == 0 && plain.data2.high == 127);  // "Transport Play"
  EXPECT_EQ(Get(TriggerType::SongStart).channel.low, 10);
  EXPECT_EQ(Triggers().Count(TriggerType::SongStop), 0);
  // Pitch bend keeps its fourteen-bit scale.
  ASSERT_EQ(Triggers().Count(TriggerType::PitchBend), 2);
  EXPECT_EQ(Get(TriggerType::PitchBend, 0).data1.Value(8192), 32769u);
  EXPECT_EQ(Get(TriggerType::PitchBend, 0).data1.outputHigh, 16383);
  EXPECT_TRUE(Get(TriggerType::PitchBend, 1).data1.outputLow == 16384 && Get(TriggerType::PitchBend, 1).data1.outputHigh == 16383);
}

// Written and read back, a bend value of 128 is an ordinary value, not "any"; the shared key reads as its last row.
TEST_F(MidiControlFileTest, WrittenTriggersReadBackAsTheyWereButForTheSharedKey) {
  Trigger bend = Trigger_Make(TriggerType::PitchBend), t = Trigger_Make(TriggerType::NoteOn);
  bend.data1.SetOutput(128, 4000);
  Triggers().Add(TriggerType::PitchBend, bend);
  t.action.commandId = ActionCatalogue_Row(98).commandId;
  Triggers().Add(TriggerType::NoteOn, t);
  ASSERT_TRUE(WriteMidiControlFile(base));
  EXPECT_NE(ReadBytes(dir.File("set_Midi.xml")).find("<event_type>metronome_record</event_type>"), std::string::npos);
  ReadMidiControlFile(base, true);
  EXPECT_EQ(Get(TriggerType::PitchBend).data1.outputLow, 128);
  EXPECT_EQ(Get(TriggerType::NoteOn).action.commandId, ActionCatalogue_Row(127).commandId);
}

// Controller feedback is on unless a trigger says otherwise: files from before it load with it on,
// and only a trigger switched off carries the element (which older readers pass over).
TEST_F(MidiControlFileTest, FeedbackOffIsWrittenOnlyWhereItIsOffAndOlderFilesLoadWithItOn) {
  WriteBytes(dir.File("set_Midi.xml"), ReadBytes((kFixtures / "Sample_Midi.xml").string()));
  ReadMidiControlFile(base, true);
  for (int type = 0; type < kTriggerTypeCount; ++type) EXPECT_TRUE(Get(static_cast<TriggerType>(type)).feedback) << type;

  Trigger pad = Trigger_Make(TriggerType::ControlChange);
  pad.feedback = false;
  Triggers().ClearAll();
  Triggers().Add(TriggerType::ControlChange, pad);
  Triggers().Add(TriggerType::NoteOn, Trigger_Make(TriggerType::NoteOn));
  ASSERT_TRUE(WriteMidiControlFile(base));
  const std::string written = ReadBytes(dir.File("set_Midi.xml"));
  EXPECT_NE(written.find("<channel>any</channel>\n\t\t<feedback>0</feedback>\n\t</trigger>"), std::string::npos);
  EXPECT_EQ(written.find("<feedback>"), written.rfind("<feedback>"));  // once: the note keeps the default
  ReadMidiControlFile(base, true);
  EXPECT_FALSE(Get(TriggerType::ControlChange).feedback);
  EXPECT_TRUE(Get(TriggerType::NoteOn).feedback);
}

// Reading decides the polled MIDI inputs; a missing, damaged or empty file leaves them and the triggers alone.
TEST_F(MidiControlFileTest, BadFilesKeepTheTriggersAndPolledInputsAndAFailedWriteIsReported) {
  ReadMidiControlFile(dir.File("absent.session"), true);
  EXPECT_TRUE(dialog.shown.empty());
  ReadMidiControlFile(dir.File("Default"), false);
  EXPECT_TRUE(dialog.Saw("Couldn't open MIDI XML file.\n" + dir.File("Default") + "_Midi.xml", "File error"));
  MemoryMidiBackend backend;
  backend.AddDevice("In A", true, false), backend.AddDevice("In B", true, false);
  MidiPorts_UseBackend(&backend);
  ASSERT_TRUE(OpenMidiPorts());
  ReadBlocks("<trigger><port>2</port></trigger>");
  EXPECT_TRUE(!MidiPorts().inputs[0].enabled && MidiPorts().inputs[1].enabled);
  EnableAllInputs();
  ReadBlocks("<trigger><port>1</port></trigger><trigger><port>2</port></trig");
  EXPECT_TRUE(dialog.Saw("Error parsing MIDI XML file.", "File error"));
  EXPECT_TRUE(MidiPorts().inputs[0].enabled && MidiPorts().inputs[1].enabled);
  WriteBytes(dir.File("set_Midi.xml"), "");
  ReadMidiControlFile(base, true);
  EXPECT_TRUE(dialog.Saw("bad file size in MIDI XML file.", "File error"));
  EXPECT_EQ(Triggers().Count(TriggerType::NoteOn), 1);
  CloseMidiPorts(), MidiPorts_UseBackend(nullptr);
  std::filesystem::permissions(dir.File("set_Midi.xml"), std::filesystem::perms::owner_read);
  EXPECT_FALSE(WriteMidiControlFile(base));
  EXPECT_TRUE(dialog.Saw("Unable to open MIDI control XML file for writing.", "File Error"));
}

}  // namespace
