#include "control/midi_control_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "control/action_catalogue.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/message_dialog.h"
#include "persist/xml_read_state.h"
#include "persist/xml_reader.h"
#include "persist/xml_writer.h"

namespace {

constexpr int32_t kAny7 = 128;
constexpr int32_t kAny14 = 16384;
constexpr int32_t kTop14 = 16383;

// ---- Writing ----

void Line(std::string& out, const char* element, std::string_view value) {
  out += "\t\t<";
  out += element;
  out += '>';
  out += value;
  out += "</";
  out += element;
  out += ">\n";
}

void Number(std::string& out, const char* element, int64_t value) {
  Line(out, element, std::to_string(value));
}

// "any" for the marker, the number otherwise.
void Ranged(std::string& out, const char* element, int32_t value, int32_t any) {
  if (value == any)
    Line(out, element, "any");
  else
    Number(out, element, value);
}

// Port and channel: one-based, or "any".
void OneBased(std::string& out, const char* element, int32_t value) {
  if (value == kAny7)
    Line(out, element, "any");
  else
    Number(out, element, int64_t{value} + 1);
}

void EventType(std::string& out, const Trigger& t) {
  std::string name;
  Xml_AppendEscaped(name, ActionCatalogue_Row(ActionCatalogue_RowOfCommand(t.action.commandId)).keyName);
  Line(out, "event_type", name);
}

void Track(std::string& out, const Trigger& t) { Number(out, "track", int64_t{t.action.track} + 1); }

void AppendTrigger(std::string& out, TriggerType type, const Trigger& t) {
  out += "\t<trigger>\n";
  Line(out, "trigger_type", TriggerType_FileName(type));
  switch (type) {
    case TriggerType::NoteOn:
    case TriggerType::NoteOff:
    case TriggerType::PolyPressure:
    case TriggerType::ControlChange: {
      const bool notes = type == TriggerType::NoteOn || type == TriggerType::NoteOff;
      const bool poly = type == TriggerType::PolyPressure;
      Number(out, type == TriggerType::ControlChange ? "control_number" : "note", t.data1.low);
      Ranged(out, notes ? "min_velocity" : poly ? "min_pressure" : "min_control_value",
             t.data2.low, kAny7);
      Ranged(out, notes ? "max_velocity" : poly ? "max_pressure" : "max_control_value",
             t.data2.high, kAny7);
      EventType(out, t);
      Track(out, t);
      Ranged(out, "event_min_value", t.data2.outputLow, kAny7);
      Ranged(out, "event_max_value", t.data2.outputHigh, kAny7);
      OneBased(out, "port", t.port.low);
      OneBased(out, "channel", t.channel.low);
      break;
    }
    case TriggerType::ProgramChange:
      Number(out, "program_number", t.data1.low);
      EventType(out, t);
      Track(out, t);
      OneBased(out, "port", t.port.low);
      OneBased(out, "channel", t.channel.low);
      break;
    case TriggerType::ChannelPressure:
      EventType(out, t);
      Track(out, t);
      OneBased(out, "port", t.port.low);
      Ranged(out, "event_min_value", t.data1.outputLow, kAny7);
      Ranged(out, "event_max_value", t.data1.outputHigh, kAny7);
      OneBased(out, "channel", t.channel.low);
      break;
    case TriggerType::PitchBend:
      EventType(out, t);
      Track(out, t);
      Ranged(out, "event_min_value", t.data1.outputLow, kAny14);
      Ranged(out, "event_max_value", t.data1.outputHigh, kAny14);
      OneBased(out, "port", t.port.low);
      OneBased(out, "channel", t.channel.low);
      break;
    case TriggerType::SongStart:
    case TriggerType::SongStop:
      EventType(out, t);
      Track(out, t);
      OneBased(out, "port", t.port.low);
      OneBased(out, "channel", t.channel.low);
      break;
    case TriggerType::KeyboardKey:
      EventType(out, t);
      Number(out, "key", t.data1.low);
      Track(out, t);
      break;
  }
  // Written only when off: a file of triggers with the default stays as it always was,
  // and a program that does not know the element reads the rest unchanged.
  if (!t.feedback) Number(out, "feedback", 0);
  out += "\t</trigger>\n\n";
}

// ---- Reading ----

// The trigger being read, with the defaults a <trigger> starts from.
struct PendingTrigger {
  TriggerType type = TriggerType::NoteOn;
  int32_t data1 = 0;
  int32_t min = 0;
  int32_t max = 127;
  uint32_t commandId = ControlAction{}.commandId;  // "Transport Play"
  int32_t track = 0;
  int32_t eventMin = 0;
  int32_t eventMax = 127;
  // Pitch bend reads its output range on its own 14-bit scale; the full scale when the
  // file gives none.
  int32_t bendMin = 0;
  int32_t bendMax = kTop14;
  int32_t port = 0;
  int32_t channel = 0;
  bool feedback = true;
};

// The elements a trigger block may hold.
enum class Field : uint8_t {
  None, TriggerType, Data1, Key, Min, Max, EventType, Track, EventMin, EventMax, Port, Channel, Feedback
};

Field FieldOf(std::string_view name) {
  static const std::unordered_map<std::string_view, Field> fields{
      {"trigger_type", Field::TriggerType},  {"note", Field::Data1},
      {"control_number", Field::Data1},      {"program_number", Field::Data1},
      {"key", Field::Key},                   {"min_velocity", Field::Min},
      {"min_pressure", Field::Min},          {"min_control_value", Field::Min},
      {"max_velocity", Field::Max},          {"max_pressure", Field::Max},
      {"max_control_value", Field::Max},     {"event_type", Field::EventType},
      {"track", Field::Track},               {"event_min_value", Field::EventMin},
      {"event_max_value", Field::EventMax},  {"port", Field::Port},
      {"channel", Field::Channel},           {"feedback", Field::Feedback}};
  const auto found = fields.find(name);
  return found == fields.end() ? Field::None : found->second;
}

// The command id of the last catalogue row with this key name, as the catalogue gives
// it, looked up once per name.
bool CommandOfKey(const std::string& key, uint32_t* commandId) {
  static const std::unordered_map<std::string, uint32_t> commands = [] {
    std::unordered_map<std::string, uint32_t> map;
    for (int row = 0; row < kActionCount; ++row) {
      const ActionRow& r = ActionCatalogue_Row(row);
      uint32_t id = 0;
      if (ActionCatalogue_CommandOfKey(r.keyName, &id)) map[r.keyName] = id;
    }
    return map;
  }();
  const auto found = commands.find(key);
  if (found == commands.end()) return false;
  *commandId = found->second;
  return true;
}

struct MidiReadContext {
  PendingTrigger pending;
  bool inTrigger = false;
  std::vector<Field> fields;  // the open elements' fields, innermost last
};
MidiReadContext g_read;

int64_t Integer(const std::string& text) { return Xml_TruncateToInt(Xml_ParseNumber(text)); }
int32_t Clamp(int64_t v, int32_t lo, int32_t hi) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, lo, hi));
}
int32_t AnyOr(const std::string& text, int32_t any, int64_t value, int32_t lo, int32_t hi) {
  return text == "any" ? any : Clamp(value, lo, hi);
}

void StoreValue(Field field, const std::string& text) {
  PendingTrigger& p = g_read.pending;
  switch (field) {
    case Field::None:
      break;
    case Field::TriggerType:
      TriggerType_FromFileName(text.c_str(), &p.type);
      break;
    case Field::Data1:
      p.data1 = Clamp(Integer(text), 0, 127);
      break;
    case Field::Key:
      p.data1 = Clamp(Integer(text), 32, 126);
      break;
    case Field::Min:
      p.min = AnyOr(text, kAny7, Integer(text), 0, 127);
      break;
    case Field::Max:
      p.max = AnyOr(text, kAny7, Integer(text), 0, 127);
      break;
    case Field::EventType:
      CommandOfKey(text, &p.commandId);
      break;
    case Field::Track:
      p.track = Clamp(Integer(text) - 1, 0, 8);
      break;
    case Field::EventMin: {
      const int64_t n = Integer(text);
      p.eventMin = AnyOr(text, kAny7, n, 0, 127);
      p.bendMin = AnyOr(text, kAny14, n, 0, kTop14);
      break;
    }
    case Field::EventMax: {
      const int64_t n = Integer(text);
      p.eventMax = AnyOr(text, kAny7, n, 0, 127);
      p.bendMax = AnyOr(text, kAny14, n, 0, kTop14);
      break;
    }
    case Field::Port:
      p.port = AnyOr(text, kAny7, Integer(text) - 1, 0, 15);
      break;
    case Field::Channel:
      p.channel = AnyOr(text, kAny7, Integer(text) - 1, 0, 15);
      break;
    case Field::Feedback:
      p.feedback = Integer(text) != 0;
      break;
  }
}

void AddPending() {
  const PendingTrigger& p = g_read.pending;
  Trigger t = Trigger_Make(p.type);
  t.action.commandId = p.commandId;
  t.action.track = p.track;
  t.feedback = p.feedback;
  t.port.SetInput(p.port, ValueRange::kSingle);
  t.channel.SetInput(p.channel, ValueRange::kSingle);
  switch (p.type) {
    case TriggerType::NoteOn:
    case TriggerType::NoteOff:
    case TriggerType::PolyPressure:
    case TriggerType::ControlChange:
      t.data1.SetInput(p.data1, ValueRange::kSingle);
      t.data2.SetInput(p.min, p.max);
      t.data2.SetOutput(p.eventMin, p.eventMax);
      break;
    case TriggerType::ProgramChange:
      t.data1.SetInput(p.data1, ValueRange::kSingle);
      break;
    case TriggerType::ChannelPressure:
      t.data1.SetInput(p.min, p.max);
      t.data1.SetOutput(p.eventMin, p.eventMax);
      break;
    case TriggerType::PitchBend:
      t.data1 = ValueRange::FourteenBit();
      t.data1.SetOutput(p.bendMin, p.bendMax);
      break;
    case TriggerType::SongStart:
    case TriggerType::SongStop:
      break;
    case TriggerType::KeyboardKey:
      t.data1.SetInput(p.data1, p.data1);
      t.port = ValueRange::SevenBit();
      t.channel = ValueRange::SevenBit();
      break;
  }
  Triggers().Add(p.type, t);
}

void StartElement(void*, const char* name, const char**) {
  g_read.fields.push_back(FieldOf(name));  // popped by the end tag, like the name
  if (!XmlReadState_StartElement(name)) return;
  if (std::strcmp(name, "trigger") == 0) {
    g_read.pending = PendingTrigger{};
    g_read.inTrigger = true;
  }
}

void EndElement(void*, const char* name) {
  XmlReadState_EndElement();
  if (!g_read.fields.empty()) g_read.fields.pop_back();
  if (std::strcmp(name, "trigger") == 0 && g_read.inTrigger) {
    AddPending();
    g_read.inTrigger = false;
  }
}

void CharacterData(void*, const char* text, int length) {
  XmlReadState_Text(text, length);
  if (!g_read.inTrigger || g_read.fields.empty() || g_read.fields.back() == Field::None) return;
  StoreValue(g_read.fields.back(), Xml_ReadState().text);
}

void ClearTriggers(void*) { Triggers().ClearAll(); }

}  // namespace

std::string MidiControlFile_Path(const std::string& basePath) {
  std::filesystem::path path(basePath);
  path.replace_extension();
  return path.string() + "_Midi.xml";
}

std::string MidiControlFile_BackupPath(const std::string& basePath) {
  std::filesystem::path path(basePath);
  path.replace_extension();
  return path.string() + "_Midi.bak";
}

bool WriteMidiControlFile(const std::string& basePath) {
  std::string out;
  out.reserve(4096);
  Xml_AppendPrologue(out, "Kestrine MIDI Control Configuration");
  out += "<midi_control>\n\n";
  TriggerSet& triggers = Triggers();
  for (int i = 0; i < kTriggerTypeCount; ++i) {
    const auto type = static_cast<TriggerType>(i);
    const int count = triggers.Count(type);
    for (int k = 0; k < count; ++k) AppendTrigger(out, type, triggers.Get(type, k));
  }
  out += "</midi_control>\n";

  const std::string path = MidiControlFile_Path(basePath);
  Xml_TakeBackup(path, MidiControlFile_BackupPath(basePath));
  if (!Xml_ReplaceFile(path, out)) {
    MessageDialog_Show(nullptr, "Unable to open MIDI control XML file for writing.",
                       "File Error", MB_OK);
    return false;
  }
  return true;
}

void ReadMidiControlFile(const std::string& basePath, bool quiet) {
  const XmlReadMessages messages{quiet ? nullptr : "Couldn't open MIDI XML file.",
                                 "Couldn't seek in MIDI XML file.",
                                 "bad file size in MIDI XML file.",
                                 "Couldn't seek to start of MIDI XML file.",
                                 "Error parsing MIDI XML file.",
                                 "File error",
                                 "File error"};
  g_read = MidiReadContext{};
  const XmlHandlers handlers{StartElement, EndElement, CharacterData};
  const XmlReadResult result = Xml_ReadFile(MidiControlFile_Path(basePath), messages, handlers,
                                            SettingTable{}, nullptr, ClearTriggers, nullptr);
  g_read.inTrigger = false;
  if (result == XmlRead_Done) RecomputeEnabledInputs();
}
