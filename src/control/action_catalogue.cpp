#include "control/action_catalogue.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Row order is fixed: it is the order of the control dialog's event list. Rows 98 and 127
// share the key "metronome_record"; reading that key gives row 127 (the last match).
constexpr ActionRow kRows[kActionCount] = {
    {"transport_record", "Transport Record", 32771, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 0
    {"transport_stop", "Transport Stop", 32772, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 1
    {"transport_play", "Transport Play", 32776, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 2
    {"transport_erase", "Transport Erase", 32777, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 3
    {"transport_pause", "Transport Pause", 32778, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 4
    {"transport_setloop", "Transport Set Loop", 32792, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 5
    {"transport_multiply", "Transport Multiply", 32797, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 6
    {"transport_divide", "Transport Divide", 32942, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 7
    {"transport_undo", "Transport Undo", 32799, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 8
    {"transport_slow", "Transport Slow (Toggle)", 32802, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 9
    {"transport_slow_set", "Transport Slow (Set)", 32893, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 10
    {"transport_reverse", "Transport Reverse (Toggle)", 32803, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 11
    {"transport_reverse_set", "Transport Reverse (Set)", 32894, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 12
    {"transport_insert", "Transport Insert", 32804, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 13
    {"toggle_stop_play", "Toggle Stop/Play", 32932, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 14
    {"toggle_stop_record", "Toggle Stop/Record", 32933, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 15
    {"toggle_play_pause", "Toggle Play/Pause", 32934, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 16
    {"toggle_play_record", "Toggle Play/Record", 32935, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 17
    {"track_submix", "Track Mix B (Toggle)", 32946, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 18
    {"track_submix_set", "Track Mix B (Set)", 32949, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 19
    {"track_mute", "Track Mute (Toggle)", 32806, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 20
    {"track_mute_set", "Track Mute (Set)", 32892, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 21
    {"track_solo", "Track Solo (Toggle)", 32807, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 22
    {"track_solo_set", "Track Solo (Set)", 32895, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 23
    {"track_record", "Track Record", 32808, ActionKind::Trigger, TrackUse::Track, ValueConversion::None},  // 24
    {"track_effect", "Track Effect Enable (Toggle)", 32809, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 25
    {"track_effect_set", "Track Effect Enable (Set)", 32896, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 26
    {"track_effect_mix", "Track Effect Mix", 32973, ActionKind::Adjust, TrackUse::Track, ValueConversion::S127},  // 27
    {"track_slow", "Track Slow (Toggle)", 32811, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 28
    {"track_slow_set", "Track Slow (Set)", 32897, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 29
    {"track_reverse", "Track Reverse (Toggle)", 32812, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 30
    {"track_reverse_set", "Track Reverse (Set)", 32898, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 31
    {"track_volume", "Track Volume", 32813, ActionKind::Adjust, TrackUse::Track, ValueConversion::S127},  // 32
    {"edit_trim_loop", "Edit Trim Loop", 32888, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 33
    {"zoom_in", "Zoom In", 32902, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 34
    {"zoom_out", "Zoom Out", 32903, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 35
    {"zoom_out_full", "Zoom Out Full", 32901, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 36
    {"zoom_select", "Zoom to Selection", 32900, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 37
    {"loop_selected", "Loop Current Selection", 32922, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 38
    {"set_start_point", "Set Loop Start Point", 32924, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 39
    {"move_cursor_left", "Move Cursor Left", 33005, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 40
    {"move_cursor_right", "Move Cursor Right", 33006, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 41
    {"move_cursor_left_beat", "Move Cursor Left 1 Beat", 33009, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 42
    {"move_cursor_right_beat", "Move Cursor Right 1 Beat", 33010, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 43
    {"select_cursor_left", "Selection Left", 33011, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 44
    {"select_cursor_right", "Selection Right", 33018, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 45
    {"select_cursor_left_beat", "Selection Left 1 Beat", 33017, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 46
    {"select_cursor_right_beat", "Selection Right 1 Beat", 33015, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 47
    {"set_cursor", "Set Cursor Position", 33031, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMin},  // 48
    {"set_cursor_beat", "Set Cursor Position to Beat", 33032, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMinBeat},  // 49
    {"set_min_selection", "Set Minimum Selection Position", 33035, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMin},  // 50
    {"set_max_selection", "Set Maximum Selection Position", 33039, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMax},  // 51
    {"set_min_selection_beat", "Set Minimum Selection Position to Beat", 33036, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMinBeat},  // 52
    {"set_max_selection_beat", "Set Maximum Selection Position to Beat", 33040, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMaxBeat},  // 53
    {"set_cursor_start", "Set Cursor to Loop Start", 33023, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 54
    {"set_cursor_end", "Set Cursor to Loop End", 33024, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 55
    {"selection_cursor_start", "Set Selection to Loop Start", 33025, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 56
    {"selection_cursor_end", "Set Selection to Loop End", 33026, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 57
    {"record_feedback", "Record Feedback", 32814, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 58
    {"master_volume", "Master Volume", 32889, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 59
    {"master_volume_mute", "Master Volume Mute (Toggle)", 33048, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 60
    {"submix_a_volume", "Submix A Volume", 32952, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 61
    {"submix_a_mute", "Submix A Mute (Toggle)", 33045, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 62
    {"submix_b_volume", "Submix B Volume", 32953, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 63
    {"submix_b_mute", "Submix B Mute (Toggle)", 33046, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 64
    {"submix_crossfade", "Submix Crossfade", 32955, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 65
    {"delay_enable", "Delay Enable", 32979, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 66
    {"delay_enable_set", "Delay Enable Set", 32985, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 67
    {"delay_link", "Delay Link", 32987, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 68
    {"delay_link_set", "Delay Link Set", 32986, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 69
    {"delay_mode", "Delay Mode", 32990, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 70
    {"delay_mode_set", "Delay Mode Set", 32991, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 71
    {"delay_sync", "Delay Sync", 32994, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 72
    {"delay_sync_set", "Delay Sync Set", 32995, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 73
    {"delay_time_left", "Delay Time Left", 32975, ActionKind::Adjust, TrackUse::None, ValueConversion::Ms},  // 74
    {"delay_time_right", "Delay Time Right", 32976, ActionKind::Adjust, TrackUse::None, ValueConversion::Ms},  // 75
    {"delay_feedback_left", "Delay Feedback Left", 32977, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 76
    {"delay_feedback_right", "Delay Feedback Right", 32978, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 77
    {"delay_mix", "Delay Mix", 32982, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 78
    {"filter_frequency", "Filter Frequency", 32815, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 79
    {"filter_resonance", "Filter Resonance", 32816, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 80
    {"filter_lfo_rate", "Filter LFO Rate", 32817, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 81
    {"filter_lfo_depth", "Filter LFO Depth", 32818, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 82
    {"filter_enable", "Filter Enable (Toggle)", 32819, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 83
    {"filter_enable_set", "Filter Enable (Set)", 32913, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 84
    {"filter_lfo_enable", "Filter LFO Enable (Toggle)", 32820, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 85
    {"filter_lfo_enable_set", "Filter LFO Enable (Set)", 32904, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 86
    {"filter_link", "Filter Link (Toggle)", 32821, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 87
    {"filter_link_set", "Filter Link (Set)", 32906, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 88
    {"filter_lfo_link", "Filter LFO Link (Toggle)", 32822, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 89
    {"filter_lfo_link_set", "Filter LFO Link (Set)", 32909, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 90
    {"filter_mode", "Filter Mode (Toggle)", 32823, ActionKind::Cycle, TrackUse::None, ValueConversion::None},  // 91
    {"filter_mode_set", "Filter Mode (Set)", 32911, ActionKind::Adjust, TrackUse::None, ValueConversion::FilterMode},  // 92
    {"reverb_enable", "Reverb Enable (Toggle)", 32825, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 93
    {"reverb_enable_set", "Reverb Enable (Set)", 32905, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 94
    {"reverb_length", "Reverb Length", 32826, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 95
    {"reverb_mix", "Reverb Mix", 32827, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 96
    {"reverb_damping", "Reverb Damping", 32828, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 97
    {"metronome_record", "Metronome Record (Toggle)", 32829, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 98
    {"metronome_record_set", "Metronome Record (Set)", 32915, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 99
    {"metronome_playback", "Metronome Playback (Toggle)", 32830, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 100
    {"metronome_playback_set", "Metronome Playback (Set)", 32907, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 101
    {"metronome_volume", "Metronome Volume", 32831, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 102
    {"track_pan", "Track Pan", 32835, ActionKind::Adjust, TrackUse::Track, ValueConversion::S127},  // 103
    {"next_track", "Next Track", 110, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 104
    {"prev_track", "Previous Track", 111, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 105
    {"set_track", "Set Track", 112, ActionKind::Trigger, TrackUse::Track, ValueConversion::None},  // 106
    {"load_default_config", "Load Default Config", 32836, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 107
    {"save_default_config", "Save Default Config", 32834, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 108
    {"load_quicksave01", "Load Quicksave01", 32859, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 109
    {"load_quicksave02", "Load Quicksave02", 32860, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 110
    {"load_quicksave03", "Load Quicksave03", 32861, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 111
    {"load_quicksave04", "Load Quicksave04", 32862, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 112
    {"load_quicksave05", "Load Quicksave05", 32863, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 113
    {"load_quicksave06", "Load Quicksave06", 32864, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 114
    {"load_quicksave07", "Load Quicksave07", 32865, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 115
    {"load_quicksave08", "Load Quicksave08", 32866, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 116
    {"save_quicksave01", "Save Quicksave01", 32877, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 117
    {"save_quicksave02", "Save Quicksave02", 32878, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 118
    {"save_quicksave03", "Save Quicksave03", 32879, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 119
    {"save_quicksave04", "Save Quicksave04", 32880, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 120
    {"save_quicksave05", "Save Quicksave05", 32881, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 121
    {"save_quicksave06", "Save Quicksave06", 32882, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 122
    {"save_quicksave07", "Save Quicksave07", 32883, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 123
    {"save_quicksave08", "Save Quicksave08", 32884, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 124
    {"mix_to_track", "Mix to Track", 32944, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 125
    {"mix_to_disk", "Mix to Disk", 32943, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 126
    {"metronome_record", "Metronome Record", 32868, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 127
    {"metronome_play", "Metronome Play", 32869, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 128
    {"loop_time_mode", "Loop Time Mode", 32936, ActionKind::Cycle, TrackUse::Mode, ValueConversion::None},  // 129
    {"set_loop_time", "Set Loop Time", 32871, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 130
    {"get_loop_time", "Get Loop Time", 32872, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 131
    {"tap_loop_time", "Tap Loop Time", 32876, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 132
    {"set_current_track_time", "Set Current Track Time", 32873, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 133
    {"set_empty_tracks_time", "Set Empty Tracks Time", 32874, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 134
    {"set_all_tracks_time", "Set All Tracks Time", 32875, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 135
};

// The rows that act on a track are described with a track suffix.
struct TrackText {
  uint32_t commandId;
  const char* text;  // followed by " - %d" or " - Current"
};

constexpr TrackText kTrackTexts[] = {
    {32806, "Mute Track (Toggle)"},
    {32892, "Mute Track (Set)"},
    {32807, "Solo Track (Toggle)"},
    {32895, "Solo Track (Set)"},
    {32808, "Record Track"},
    {32809, "Effect Enable Track (Toggle)"},
    {32896, "Effect Enable Track (Set)"},
    {32973, "Effect Mix Track"},
    {32811, "Slow Track (Toggle)"},
    {32897, "Slow Track (Set)"},
    {32812, "Reverse Track (Toggle)"},
    {32898, "Reverse Track (Set)"},
    {32813, "Volume Track"},
    {32835, "Pan Track"},
    {32946, "Submix Track (Toggle)"},
    {32949, "Submix Track (Set)"},
    {112, "Set Track"},
};

// Single-precision constants of the conversions.
constexpr float kS127 = 0.0019378958f;  // 127 / 65535
constexpr double kS1 = 1.5259021896696422e-5;  // 1 / 65535
constexpr float kUnit = 1.5259022e-5f;  // 1 / 65535 as a float

}  // namespace

const ActionRow& ActionCatalogue_Row(int row) {
  if (row < 0 || row >= kActionCount) row = 0;
  return kRows[row];
}

int ActionCatalogue_RowOfCommand(uint32_t commandId) {
  for (int i = 0; i < kActionCount; ++i) {
    if (kRows[i].commandId == commandId) return i;
  }
  return 0;
}

bool ActionCatalogue_CommandOfKey(const char* keyName, uint32_t* commandId) {
  if (!keyName) return false;
  bool found = false;
  for (int i = 0; i < kActionCount; ++i) {
    if (std::strcmp(kRows[i].keyName, keyName) == 0) {
      *commandId = kRows[i].commandId;
      found = true;
    }
  }
  return found;
}

std::string Describe(const ControlAction& action) {
  char text[256];
  for (const TrackText& t : kTrackTexts) {
    if (t.commandId != action.commandId) continue;
    if (action.track >= kCurrentTrack) {
      std::snprintf(text, sizeof text, "%s - Current", t.text);
    } else {
      std::snprintf(text, sizeof text, "%s - %d", t.text, action.track + 1);
    }
    return text;
  }
  for (const ActionRow& row : kRows) {
    if (row.commandId == action.commandId) return row.displayName;
  }
  return "No Text For Message";
}

int ActionValue_S127(uint16_t value) {
  // In single precision: 65535 must reach 127, which the double product misses.
  return static_cast<int>(static_cast<float>(value) * kS127);
}

double ActionValue_S1(uint16_t value) { return value * kS1; }

int ActionValue_Ms(uint16_t value, int delayMaxMilliseconds) {
  return static_cast<int>(static_cast<double>(value) * delayMaxMilliseconds * static_cast<double>(kUnit));
}

double ActionValue_Pos(uint16_t value) { return value * static_cast<double>(kUnit); }

int ActionValue_FilterMode(uint16_t value) { return value < 3 ? value : 3; }

int LoopTimeMode_After(int32_t trackField, int currentMode) {
  if (trackField >= 1 && trackField <= 3) return trackField - 1;
  const int next = currentMode + 1;
  return next > 2 || next < 0 ? 0 : next;
}

int FilterMode_Next(int currentMode) {
  const int next = currentMode + 1;
  return next > 3 || next < 0 ? 0 : next;
}
