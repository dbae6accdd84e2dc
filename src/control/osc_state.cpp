#include "control/osc_state.h"

#include <cstdio>
#include <cstring>

namespace {

enum class Field { State, Length, Position, Volume, Mute, Solo };
struct TrackField {
  const char* name;
  Field field;
};
const TrackField kTrackFields[] = {{"state", Field::State},   {"length", Field::Length}, {"position", Field::Position},
                                   {"volume", Field::Volume}, {"mute", Field::Mute},     {"solo", Field::Solo}};

std::string TrackName(int track, const char* field) {
  char text[40];
  std::snprintf(text, sizeof text, "track/%d/%s", track, field);
  return text;
}

// "track/N/field" with N 1..8: the track (1-based) and field; false for anything else.
bool ParseTrack(const std::string& what, int* track, Field* field) {
  if (what.size() < 9 || what.compare(0, 6, "track/") != 0) return false;
  const char n = what[6];
  if (n < '1' || n > '0' + kOscTracks || what[7] != '/') return false;
  for (const TrackField& f : kTrackFields)
    if (what.compare(8, std::string::npos, f.name) == 0) {
      *track = n - '0';
      *field = f.field;
      return true;
    }
  return false;
}

void AddTrackValue(const OscTrackState& t, Field field, lo_message m) {
  switch (field) {
    case Field::State: lo_message_add_string(m, t.state); break;
    case Field::Length: lo_message_add_float(m, static_cast<float>(t.length)); break;
    case Field::Position: lo_message_add_float(m, static_cast<float>(t.position)); break;
    case Field::Volume: lo_message_add_float(m, static_cast<float>(t.volume)); break;
    case Field::Mute: lo_message_add_int32(m, t.mute ? 1 : 0); break;
    case Field::Solo: lo_message_add_int32(m, t.solo ? 1 : 0); break;
  }
}

}  // namespace

bool OscTrackState::operator==(const OscTrackState& o) const {
  return std::strcmp(state, o.state) == 0 && length == o.length && position == o.position && volume == o.volume &&
         mute == o.mute && solo == o.solo && reverse == o.reverse && slow == o.slow && effects == o.effects &&
         submixB == o.submixB;
}

bool OscState_Knows(const std::string& what) {
  int track;
  Field field;
  return what == "transport" || what == "tempo" || what == "loop_time" || what == "current_track" ||
         what == "undo_depth" || ParseTrack(what, &track, &field);
}

bool OscState_AddValue(const OscState& s, const std::string& what, lo_message m) {
  int track = 0;
  Field field;
  if (ParseTrack(what, &track, &field)) {
    lo_message_add_string(m, what.c_str());
    AddTrackValue(s.tracks[track - 1], field, m);
    return true;
  }
  if (!OscState_Knows(what)) return false;
  lo_message_add_string(m, what.c_str());
  if (what == "transport") lo_message_add_string(m, s.transport);
  if (what == "tempo") lo_message_add_float(m, static_cast<float>(s.tempo));
  if (what == "loop_time") lo_message_add_float(m, static_cast<float>(s.loopTime));
  if (what == "current_track") lo_message_add_int32(m, s.currentTrack);
  if (what == "undo_depth") lo_message_add_int32(m, s.undoDepth);
  return true;
}

std::vector<std::string> OscState_Changes(const OscState& a, const OscState& b) {
  std::vector<std::string> changed;
  if (std::strcmp(a.transport, b.transport) != 0) changed.emplace_back("transport");
  if (a.tempo != b.tempo) changed.emplace_back("tempo");
  if (a.loopTime != b.loopTime) changed.emplace_back("loop_time");
  if (a.currentTrack != b.currentTrack) changed.emplace_back("current_track");
  if (a.undoDepth != b.undoDepth) changed.emplace_back("undo_depth");
  for (int i = 0; i < kOscTracks; ++i) {
    const OscTrackState& x = a.tracks[i];
    const OscTrackState& y = b.tracks[i];
    if (std::strcmp(x.state, y.state) != 0) changed.push_back(TrackName(i + 1, "state"));
    if (x.length != y.length) changed.push_back(TrackName(i + 1, "length"));
    if (x.volume != y.volume) changed.push_back(TrackName(i + 1, "volume"));
    if (x.mute != y.mute) changed.push_back(TrackName(i + 1, "mute"));
    if (x.solo != y.solo) changed.push_back(TrackName(i + 1, "solo"));
  }
  return changed;
}

std::vector<std::string> OscState_AllNames() {
  std::vector<std::string> names = {"transport", "tempo", "loop_time", "current_track", "undo_depth"};
  for (int i = 1; i <= kOscTracks; ++i)
    for (const TrackField& f : kTrackFields) names.push_back(TrackName(i, f.name));
  return names;
}
