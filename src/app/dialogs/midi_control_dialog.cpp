#include "app/dialogs/midi_control_dialog.h"

#include "app/dialogs/dialog_text.h"
#include "control/action_catalogue.h"
#include "control/controller_feedback.h"
#include "control/midi_control_file.h"
#include "control/midi_ports.h"
#include "engine/message_dialog.h"
#include "persist/config_directory.h"

namespace {

using T = TriggerType;

// The working list's type order.
constexpr T kOpenOrder[kTriggerTypeCount] = {T::NoteOff,    T::NoteOn,      T::ChannelPressure, T::ControlChange,
                                             T::PitchBend,  T::PolyPressure, T::ProgramChange,  T::SongStart,
                                             T::SongStop,   T::KeyboardKey};

// Types whose data1 is one value (note, controller, program, key).
bool SingleData1(T t) {
  return t == T::NoteOn || t == T::NoteOff || t == T::PolyPressure || t == T::ControlChange ||
         t == T::ProgramChange || t == T::KeyboardKey;
}

// The range whose input and output the range lists edit, or null.
ValueRange* InputRange(ControlEntry* e) {
  switch (TriggerType_ValueSource(e->type)) {
    case ValueSource::Data2: return &e->trigger.data2;
    case ValueSource::Data1:
      return e->type == T::ProgramChange ? nullptr : &e->trigger.data1;
    default: return nullptr;
  }
}
const ValueRange* InputRange(const ControlEntry* e) { return InputRange(const_cast<ControlEntry*>(e)); }

// A list index as a range value and back (128 stands for the range's "any"). The lists
// offer 0..127; a 14-bit pitch-bend range shows its most significant 7 bits there, so
// that its full scale shows, and is chosen, as 0..127.
bool Wide(const ValueRange& r) { return r.top != 127; }
int FromIndex(int index, const ValueRange& r, bool high) {
  if (index >= kAnyValueIndex) return r.any;
  return Wide(r) ? index * 128 + (high ? 127 : 0) : index;
}
int ToIndex(int value, const ValueRange& r) {
  if (value == r.any) return kAnyValueIndex;
  if (Wide(r) && value >= 0) value /= 128;
  return value >= 0 && value < kAnyValueIndex ? value : -1;
}
int PortIndex(const ValueRange& r) {
  if (r.IsAny()) return kAnyPortIndex;
  return r.low >= 0 && r.low < kAnyPortIndex ? r.low : -1;
}

// A value of one range carried into a range of another type: "any" stays "any", and
// between the 7-bit and the 14-bit scale a value keeps its place on the scale.
int Carry(int value, const ValueRange& from, const ValueRange& to, bool high) {
  if (value == from.any) return to.any;
  if (Wide(from) == Wide(to)) return value;
  const int index = ToIndex(value, from);
  return index < 0 ? to.any : FromIndex(index, to, high);
}

void SingleValue(ValueRange* r, int value) { r->SetInput(value, ValueRange::kSingle); }

std::string Append(std::string text, const std::string& action) {
  text += action;
  if (text.size() > 255) text.resize(255);
  return text;
}

struct Labels {
  const char* value;
  const char* range;
};
Labels LabelsOf(T t) {
  switch (t) {
    case T::NoteOn:
    case T::NoteOff: return {"Note", "Velocity"};
    case T::PolyPressure: return {"Note", "Pressure"};
    case T::ControlChange: return {"Control", "Value"};
    case T::ProgramChange: return {"Program", "None"};
    case T::ChannelPressure:
    case T::PitchBend: return {"None", "Value"};
    case T::KeyboardKey: return {"Key", "None"};
    default: return {"None", "None"};
  }
}

ControlEntry* Selected(MidiControlDialog* d) {
  return d->selected >= 0 && d->selected < static_cast<int>(d->entries.size()) ? &d->entries[d->selected] : nullptr;
}

void BuildFromTriggers(MidiControlDialog* d) {
  d->entries.clear();
  const TriggerSet& set = Triggers();
  for (T t : kOpenOrder)
    for (int i = 0, n = set.Count(t); i < n; ++i) d->entries.push_back({t, set.Get(t, i)});
  d->selected = d->entries.empty() ? -1 : 0;
}

// One bound of a pair chosen; the other bound follows so that low <= high, and "any" in
// either makes the whole pair "any".
void ChooseBound(bool low, int value, int any, int* lo, int* hi) {
  if (value == any) {
    *lo = *hi = any;
  } else if (low) {
    *lo = value;
    if (*hi == any || *hi < value) *hi = value;
  } else {
    *hi = value;
    if (*lo == any || *lo > value) *lo = value;
  }
}

// "1" to "count", then `last`.
std::vector<std::string> NumberedThen(int count, const char* last) {
  std::vector<std::string> list;
  for (int v = 1; v <= count; ++v) list.push_back(std::to_string(v));
  list.emplace_back(last);
  return list;
}

}  // namespace

MidiControlDialog::~MidiControlDialog() {
  if (Triggers().LearnTargetWindow() == this) Triggers().StopLearn();
}

void MidiControlDialog::PostLearnMessage(uint32_t id, uint32_t value) {
  learned.emplace_back(id, value);
  if (onLearn) onLearn();
}

std::vector<std::string> ControlList_Types() {
  std::vector<std::string> list;
  for (int i = 0; i < kTriggerTypeCount; ++i) list.emplace_back(TriggerType_DisplayName(static_cast<T>(i)));
  return list;
}

std::vector<std::string> ControlList_Values(bool keys) {
  std::vector<std::string> list;
  if (keys) {
    list.emplace_back("space");
    for (int c = 33; c <= 126; ++c) list.emplace_back(1, static_cast<char>(c));
  } else {
    for (int v = 0; v < 128; ++v) list.push_back(std::to_string(v));
  }
  return list;
}

std::vector<std::string> ControlList_Range() {
  std::vector<std::string> list = ControlList_Values(false);
  list.emplace_back("Any");
  return list;
}

std::vector<std::string> ControlList_PortsOrChannels() { return NumberedThen(16, "Any"); }

std::vector<std::string> ControlList_Events() {
  std::vector<std::string> list;
  for (int row = 0; row < kActionCount; ++row) list.emplace_back(ActionCatalogue_Row(row).displayName);
  return list;
}

std::vector<std::string> ControlList_Tracks() { return NumberedThen(8, "Cur"); }

std::vector<std::string> ControlList_Feedback() { return {"Off", "On"}; }

std::string ControlEntry_Describe(const ControlEntry& e) {
  const std::string a = Describe(e.trigger.action);
  const char* act = a.c_str();
  const int d1 = e.trigger.data1.low;
  const ValueRange* r = InputRange(&e);
  const bool anyIn = !r || r->IsAny();
  const bool outs = r && r->outputLow != r->any && r->outputHigh != r->any;
  const int lo = r ? r->low : 0, hi = r ? r->high : 0, ol = r ? r->outputLow : 0, oh = r ? r->outputHigh : 0;
  const auto F = [](const char* format, auto... args) { return DialogText_Format(format, args...); };
  switch (e.type) {
    case T::NoteOn:
    case T::NoteOff: {
      const char* onOff = e.type == T::NoteOn ? "On" : "Off";
      return Append(anyIn ? F("Note %d %s, any velocity, will trigger ", d1, onOff)
                          : F("Note %d %s, velocity %d to %d, will trigger ", d1, onOff, lo, hi),
                    a);
    }
    case T::PolyPressure:
      if (anyIn)
        return Append(outs ? F("Poly Pressure on Note %d will adjust %s from %d to %d", d1, act, ol, oh)
                           : F("Poly Pressure on Note %d, will adjust %s", d1, act), "");
      return Append(outs ? F("Poly Pressure %d to %d on Note %d will adjust %s from %d to %d", lo, hi, d1, act, ol, oh)
                         : F("Poly Pressure %d to %d on Note %d will adjust %s", lo, hi, d1, act), "");
    case T::ControlChange:
      if (anyIn)
        return Append(outs ? F("Control Change %d, any value, will adjust %s from %d to %d", d1, act, ol, oh)
                           : F("Control Change %d, any value, will trigger %s", d1, act), "");
      return Append(outs ? F("Control Change %d, value %d to %d, will adjust %s from %d to %d", d1, lo, hi, act, ol, oh)
                         : F("Control Change %d, value %d to %d, will trigger %s", d1, lo, hi, act), "");
    case T::ProgramChange: return Append(F("Program Change %d will trigger ", d1), a);
    case T::ChannelPressure:
      return Append(outs ? F("Channel Pressure will adjust %s from %d to %d", act, ol, oh)
                         : F("Channel Pressure will adjust %s", act), "");
    case T::PitchBend:
      if (anyIn)
        return Append(outs ? F("Pitch Bend, any value, will adjust %s from %d to %d", act, ol, oh)
                           : F("Pitch Bend, any value, will adjust %s", act), "");
      return Append(outs ? F("Pitch Bend from %d to %d will adjust %s from %d to %d", lo, hi, act, ol, oh)
                         : F("Pitch Bend from %d to %d will adjust %s", lo, hi, act), "");
    case T::SongStart: return Append("Song Start will trigger ", a);
    case T::SongStop: return Append("Song Stop will trigger ", a);
    case T::KeyboardKey: {
      const char key[2] = {static_cast<char>(d1), '\0'};
      const char* format = d1 >= 'a' && d1 <= 'z'   ? "Keyboard key  %s  (LOWER CASE ONLY) will trigger "
                           : d1 >= 'A' && d1 <= 'Z' ? "Keyboard key  %s  (UPPER CASE ONLY) will trigger "
                                                    : "Keyboard key  %s  will trigger ";
      return Append(F(format, key), a);
    }
  }
  return {};
}

ControlEntry ControlEntry_Convert(const ControlEntry& old, TriggerType type, int data1) {
  const Trigger& o = old.trigger;
  ControlEntry e{type, Trigger_Make(type)};
  Trigger& t = e.trigger;
  SingleValue(&t.port, o.port.low);  // "any" stays "any"
  SingleValue(&t.channel, o.channel.low);
  t.action = o.action;
  t.feedback = o.feedback;
  const int oldData1 = SingleData1(old.type) ? o.data1.low : 0;
  if (SingleData1(type)) SingleValue(&t.data1, data1 >= 0 ? data1 : oldData1);
  const ValueRange* from = InputRange(&old);
  if (ValueRange* to = InputRange(&e)) {
    if (from) {
      to->SetInput(Carry(from->low, *from, *to, false), Carry(from->high, *from, *to, true));
      to->SetOutput(Carry(from->outputLow, *from, *to, false), Carry(from->outputHigh, *from, *to, true));
    } else {
      to->SetInput(to->any, to->any);
    }
  }
  return e;
}

void MidiControlDialog_Open(MidiControlDialog* d) {
  BuildFromTriggers(d);
  EnableAllInputs();
  Triggers().StartLearn(d);
  d->ports = MidiPorts_InputList();
}

std::vector<std::string> MidiControlDialog_Lines(const MidiControlDialog& d) {
  std::vector<std::string> lines;
  for (const ControlEntry& e : d.entries) lines.push_back(ControlEntry_Describe(e));
  return lines;
}

ControlDetails MidiControlDialog_Details(const MidiControlDialog& d) {
  ControlDetails v;
  const ControlEntry* e = Selected(const_cast<MidiControlDialog*>(&d));
  if (!e) return v;
  const Trigger& t = e->trigger;
  const Labels labels = LabelsOf(e->type);
  v.enabled = true;
  v.valueLabel = labels.value;
  v.rangeLabel = labels.range;
  v.type = static_cast<int>(e->type);
  v.keyValues = e->type == T::KeyboardKey;
  if (v.keyValues)
    v.value = t.data1.low < 33 ? 0 : ToIndex(t.data1.low - 32, t.data1);
  else if (SingleData1(e->type))
    v.value = ToIndex(t.data1.low, t.data1);
  const ValueRange* r = InputRange(e);
  v.rangeEnabled = r != nullptr;
  const ValueRange& shown = r ? *r : t.data2;
  v.inputLow = ToIndex(shown.low, shown);
  v.inputHigh = ToIndex(shown.high, shown);
  v.outputLow = ToIndex(shown.outputLow, shown);
  v.outputHigh = ToIndex(shown.outputHigh, shown);
  v.port = PortIndex(t.port);
  v.channel = PortIndex(t.channel);
  v.event = ActionCatalogue_RowOfCommand(t.action.commandId);
  v.track = t.action.track >= 0 && t.action.track <= kCurrentTrack ? t.action.track : -1;
  v.feedbackEnabled = ControllerFeedback_Answers(e->type);
  v.feedback = t.feedback ? 1 : 0;
  return v;
}

void MidiControlDialog_Select(MidiControlDialog* d, int entry) {
  d->selected = entry >= 0 && entry < static_cast<int>(d->entries.size()) ? entry : -1;
}

void MidiControlDialog_Choose(MidiControlDialog* d, ControlList list, int index) {
  ControlEntry* e = Selected(d);
  if (!e || index < 0) return;
  Trigger& t = e->trigger;
  ValueRange* r = InputRange(e);
  switch (list) {
    case ControlList::Type:
      if (index < kTriggerTypeCount) *e = ControlEntry_Convert(*e, static_cast<T>(index));
      break;
    case ControlList::Value:
      if (e->type == T::KeyboardKey) {
        if (index <= 126 - 32) SingleValue(&t.data1, index + 32);
      } else if (SingleData1(e->type) && index < kAnyValueIndex) {
        SingleValue(&t.data1, index);
      }
      break;
    case ControlList::InputLow:
    case ControlList::InputHigh: {
      if (!r || index > kAnyValueIndex) break;
      const int outLow = r->outputLow, outHigh = r->outputHigh;
      int lo = r->low, hi = r->high;
      const bool low = list == ControlList::InputLow;
      ChooseBound(low, FromIndex(index, *r, !low), r->any, &lo, &hi);
      r->SetInput(lo, hi);
      r->SetOutput(outLow, outHigh);
      break;
    }
    case ControlList::OutputLow:
    case ControlList::OutputHigh: {
      if (!r || index > kAnyValueIndex) break;
      int lo = r->outputLow, hi = r->outputHigh;
      const bool low = list == ControlList::OutputLow;
      ChooseBound(low, FromIndex(index, *r, !low), r->any, &lo, &hi);
      r->SetOutput(lo, hi);
      break;
    }
    case ControlList::Port:
    case ControlList::Channel:
      if (index <= kAnyPortIndex) {
        ValueRange& range = list == ControlList::Port ? t.port : t.channel;
        SingleValue(&range, index == kAnyPortIndex ? range.any : index);
      }
      break;
    case ControlList::Event:
      if (index < kActionCount) t.action.commandId = ActionCatalogue_Row(index).commandId;
      break;
    case ControlList::Track:
      if (index <= kCurrentTrack) t.action.track = index;
      break;
    case ControlList::Feedback:
      if (index <= 1) t.feedback = index == 1;
      break;
  }
}

void MidiControlDialog_New(MidiControlDialog* d) {
  d->entries.push_back({T::NoteOn, Trigger_Make(T::NoteOn)});
  d->selected = static_cast<int>(d->entries.size()) - 1;
}

void MidiControlDialog_Delete(MidiControlDialog* d) {
  if (!Selected(d)) return;
  d->entries.erase(d->entries.begin() + d->selected);
  if (d->selected >= static_cast<int>(d->entries.size())) d->selected = -1;
}

void MidiControlDialog_Learn(MidiControlDialog* d, uint32_t id, uint32_t value) {
  ControlEntry* e = Selected(d);
  if (!e) return;
  const int v = static_cast<int>(value & 0x7FFFFFFF);
  switch (id) {
    case kLearnNoteOn: *e = ControlEntry_Convert(*e, T::NoteOn, v); break;
    case kLearnPolyPressure: *e = ControlEntry_Convert(*e, T::PolyPressure, v); break;
    case kLearnControlChange: *e = ControlEntry_Convert(*e, T::ControlChange, v); break;
    case kLearnProgramChange: *e = ControlEntry_Convert(*e, T::ProgramChange, v); break;
    case kLearnChannelPressure: *e = ControlEntry_Convert(*e, T::ChannelPressure); break;
    case kLearnPitchBend: *e = ControlEntry_Convert(*e, T::PitchBend); break;
    case kLearnSongStart: *e = ControlEntry_Convert(*e, T::SongStart); break;
    case kLearnSongStop: *e = ControlEntry_Convert(*e, T::SongStop); break;
    case kLearnKeyboardKey: *e = ControlEntry_Convert(*e, T::KeyboardKey, v); break;
    case kLearnPortChannel:
      SingleValue(&e->trigger.port, static_cast<int>(value & 0xFFFF));
      SingleValue(&e->trigger.channel, static_cast<int>(value >> 16));
      break;
    default: break;  // Note Off: a key press sends Note On then Note Off, and learns the Note On
  }
}

void MidiControlDialog_TakeLearned(MidiControlDialog* d) {
  while (!d->learned.empty()) {
    const auto [id, value] = d->learned.front();
    d->learned.pop_front();
    MidiControlDialog_Learn(d, id, value);
  }
}

void MidiControlDialog_LoadDefault(MidiControlDialog* d) {
  if (MessageDialog_Show(nullptr,
                         "This will replace all current triggers with those from the default configuration. Continue?",
                         "Replace All Triggers?", MB_YESNO) != IDYES)
    return;
  d->entries.clear();
  ReadMidiControlFile(ConfigDirectory_File("Default"), false);
  BuildFromTriggers(d);
}

void MidiControlDialog_Ok(MidiControlDialog* d) {
  Triggers().StopLearn();
  std::vector<std::pair<TriggerType, Trigger>> all;
  for (const ControlEntry& e : d->entries) all.emplace_back(e.type, e.trigger);
  Triggers().ReplaceAll(all);
  d->entries.clear();
  d->selected = -1;
  RecomputeEnabledInputs();
  WriteMidiControlFile(ConfigDirectory_File("Default"));
}

void MidiControlDialog_Cancel(MidiControlDialog* d) {
  Triggers().StopLearn();
  RecomputeEnabledInputs();
  d->entries.clear();
  d->selected = -1;
}
