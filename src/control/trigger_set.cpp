#include "control/trigger_set.h"

#include "control/fire_action.h"

namespace {
bool ValidType(TriggerType type) {
  const int i = static_cast<int>(type);
  return i >= 0 && i < kTriggerTypeCount;
}

// A copy of a range made the way a range is set up, so that a copy handed out is always
// self-consistent (its scale and input bounds follow from its stored bounds).
ValueRange Rebuilt(const ValueRange& r) {
  ValueRange copy = r.any == 16384 ? ValueRange::FourteenBit() : ValueRange::SevenBit();
  copy.SetInput(r.low, r.high);
  copy.SetOutput(r.outputLow, r.outputHigh);
  return copy;
}

constexpr int kStartChannel = 0x0A;  // 0xFA: system message "channel" of Start
constexpr int kStopChannel = 0x0C;   // 0xFC: Stop
}  // namespace

void TriggerSet::Add(TriggerType type, const Trigger& trigger) {
  if (!ValidType(type)) return;
  List& list = lists_[static_cast<int>(type)];
  std::lock_guard<std::recursive_mutex> guard(list.lock);
  list.triggers.push_back(trigger);
  generation_.fetch_add(1, std::memory_order_relaxed);
}

void TriggerSet::ClearAll() {
  for (List& list : lists_) {
    std::lock_guard<std::recursive_mutex> guard(list.lock);
    list.triggers.clear();
  }
  generation_.fetch_add(1, std::memory_order_relaxed);
}

int TriggerSet::Count(TriggerType type) const {
  if (!ValidType(type)) return 0;
  const List& list = lists_[static_cast<int>(type)];
  std::lock_guard<std::recursive_mutex> guard(list.lock);
  return static_cast<int>(list.triggers.size());
}

Trigger TriggerSet::Get(TriggerType type, int index) const {
  if (!ValidType(type)) return Trigger{};
  const List& list = lists_[static_cast<int>(type)];
  std::lock_guard<std::recursive_mutex> guard(list.lock);
  if (index < 0 || index >= static_cast<int>(list.triggers.size())) return Trigger_Make(type);
  const Trigger& stored = list.triggers[static_cast<size_t>(index)];
  Trigger copy;
  copy.port = Rebuilt(stored.port);
  copy.channel = Rebuilt(stored.channel);
  copy.action.commandId = stored.action.commandId;
  copy.action.track = stored.action.track;
  copy.data1 = Rebuilt(stored.data1);
  copy.data2 = Rebuilt(stored.data2);
  copy.feedback = stored.feedback;
  return copy;
}

void TriggerSet::ReplaceAll(const std::vector<std::pair<TriggerType, Trigger>>& entries) {
  ClearAll();
  for (const auto& [type, trigger] : entries) Add(type, trigger);
}

void TriggerSet::StartLearn(LearnTarget* target) {
  learning_ = true;
  learnTarget_ = target;
}

void TriggerSet::StopLearn() {
  learning_ = false;
  learnTarget_ = nullptr;
}

void TriggerSet::DispatchMidi(int port, int channel, int status, int data1, int data2) {
  TriggerType type;
  int matched1 = data1;
  uint32_t learnId;
  uint32_t learnValue = static_cast<uint32_t>(data1);
  switch (status) {
    case 0x80:
      type = TriggerType::NoteOff;
      learnId = kLearnNoteOff;
      break;
    case 0x90:
      // A note on with velocity 0 is a note off (running-status note offs arrive so).
      type = data2 >= 1 ? TriggerType::NoteOn : TriggerType::NoteOff;
      learnId = data2 >= 1 ? kLearnNoteOn : kLearnNoteOff;
      break;
    case 0xA0:
      type = TriggerType::PolyPressure;
      learnId = kLearnPolyPressure;
      break;
    case 0xB0:
      type = TriggerType::ControlChange;
      learnId = kLearnControlChange;
      break;
    case 0xC0:
      type = TriggerType::ProgramChange;
      learnId = kLearnProgramChange;
      break;
    case 0xD0:
      type = TriggerType::ChannelPressure;
      learnId = kLearnChannelPressure;
      learnValue = 0;
      break;
    case 0xE0:
      type = TriggerType::PitchBend;
      learnId = kLearnPitchBend;
      learnValue = 0;
      matched1 = data1 + 128 * data2;
      break;
    case 0xF0:
      if (channel == kStartChannel) {
        type = TriggerType::SongStart;
        learnId = kLearnSongStart;
      } else if (channel == kStopChannel) {
        type = TriggerType::SongStop;
        learnId = kLearnSongStop;
      } else {
        return;  // continue, clock and the other system messages
      }
      learnValue = 0;
      break;
    default:
      return;
  }

  if (learning_) {
    if (learnTarget_) {
      learnTarget_->PostLearnMessage(learnId, learnValue);
      learnTarget_->PostLearnMessage(
          kLearnPortChannel, (static_cast<uint32_t>(channel) & 0xFFFF) << 16 |
                                 (static_cast<uint32_t>(port) & 0xFFFF));
    }
    return;
  }
  Walk(type, port, channel, matched1, data2);
}

void TriggerSet::Walk(TriggerType type, int port, int channel, int data1, int data2) {
  const bool hasData1 = TriggerType_HasData1(type);
  const bool hasData2 = TriggerType_HasData2(type);
  const ValueSource source = TriggerType_ValueSource(type);
  List& list = lists_[static_cast<int>(type)];
  std::lock_guard<std::recursive_mutex> guard(list.lock);
  // By index, re-reading the size: a nested event loop inside a fired transport command
  // may change the list, and then the walk must not run off its end.
  for (size_t i = 0; i < list.triggers.size(); ++i) {
    const Trigger& t = list.triggers[i];
    if (!t.port.Accepts(port) || !t.channel.Accepts(channel)) continue;
    if (hasData1 && !t.data1.Accepts(data1)) continue;
    if (hasData2 && !t.data2.Accepts(data2)) continue;
    uint32_t value = 0;
    if (source == ValueSource::Data2) value = t.data2.Value(data2);
    if (source == ValueSource::Data1) value = t.data1.Value(data1);
    const ControlAction action = t.action;
    Fire(action, value);
  }
}

bool TriggerSet::MatchKey(int character) {
  if (character == 16) return false;
  if (learning_) {
    if (learnTarget_) learnTarget_->PostLearnMessage(kLearnKeyboardKey, static_cast<uint32_t>(character));
    return true;
  }
  bool fired = false;
  List& list = lists_[static_cast<int>(TriggerType::KeyboardKey)];
  std::lock_guard<std::recursive_mutex> guard(list.lock);
  for (size_t i = 0; i < list.triggers.size(); ++i) {
    if (!list.triggers[i].data1.Accepts(character)) continue;
    const ControlAction action = list.triggers[i].action;
    Fire(action, 0);
    fired = true;
  }
  return fired;
}

TriggerSet& Triggers() {
  static TriggerSet set;
  return set;
}

void DispatchMidi(int port, int channel, int status, int data1, int data2) {
  Triggers().DispatchMidi(port, channel, status, data1, data2);
}

bool MatchKey(int character) { return Triggers().MatchKey(character); }
