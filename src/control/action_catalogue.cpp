#include "control/action_catalogue.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "control/command_numbers.h"

namespace {

// Row order is fixed: it is the order of the control dialog's event list. Rows 98 and 127
// share the key "metronome_record"; reading that key gives row 127 (the last match).
constexpr ActionRow kRows[kActionCount] = {
    {"transport_record", "Transport Record", CommandNumber::TransportRecord, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 0
    {"transport_stop", "Transport Stop", CommandNumber::TransportStop, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 1
    {"transport_play", "Transport Play", CommandNumber::TransportPlay, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 2
    {"transport_erase", "Transport Erase", CommandNumber::TransportErase, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 3
    {"transport_pause", "Transport Pause", CommandNumber::TransportPause, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 4
    {"transport_setloop", "Transport Set Loop", CommandNumber::TransportSetLoop, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 5
    {"transport_multiply", "Transport Multiply", CommandNumber::TransportMultiply, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 6
    {"transport_divide", "Transport Divide", CommandNumber::TransportDivide, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 7
    {"transport_undo", "Transport Undo", CommandNumber::TransportUndo, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 8
    {"transport_slow", "Transport Slow (Toggle)", CommandNumber::TransportSlow, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 9
    {"transport_slow_set", "Transport Slow (Set)", CommandNumber::TransportSlowSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 10
    {"transport_reverse", "Transport Reverse (Toggle)", CommandNumber::TransportReverse, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 11
    {"transport_reverse_set", "Transport Reverse (Set)", CommandNumber::TransportReverseSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 12
    {"transport_insert", "Transport Insert", CommandNumber::TransportInsert, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 13
    {"toggle_stop_play", "Toggle Stop/Play", CommandNumber::ToggleStopPlay, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 14
    {"toggle_stop_record", "Toggle Stop/Record", CommandNumber::ToggleStopRecord, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 15
    {"toggle_play_pause", "Toggle Play/Pause", CommandNumber::TogglePlayPause, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 16
    {"toggle_play_record", "Toggle Play/Record", CommandNumber::TogglePlayRecord, ActionKind::Now, TrackUse::None, ValueConversion::None},  // 17
    {"track_submix", "Track Mix B (Toggle)", CommandNumber::TrackSubmix, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 18
    {"track_submix_set", "Track Mix B (Set)", CommandNumber::TrackSubmixSet, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 19
    {"track_mute", "Track Mute (Toggle)", CommandNumber::TrackMute, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 20
    {"track_mute_set", "Track Mute (Set)", CommandNumber::TrackMuteSet, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 21
    {"track_solo", "Track Solo (Toggle)", CommandNumber::TrackSolo, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 22
    {"track_solo_set", "Track Solo (Set)", CommandNumber::TrackSoloSet, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 23
    {"track_record", "Track Record", CommandNumber::TrackRecord, ActionKind::Trigger, TrackUse::Track, ValueConversion::None},  // 24
    {"track_effect", "Track Effect Enable (Toggle)", CommandNumber::TrackEffect, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 25
    {"track_effect_set", "Track Effect Enable (Set)", CommandNumber::TrackEffectSet, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 26
    {"track_effect_mix", "Track Effect Mix", CommandNumber::TrackEffectMix, ActionKind::Adjust, TrackUse::Track, ValueConversion::S127},  // 27
    {"track_slow", "Track Slow (Toggle)", CommandNumber::TrackSlow, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 28
    {"track_slow_set", "Track Slow (Set)", CommandNumber::TrackSlowSet, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 29
    {"track_reverse", "Track Reverse (Toggle)", CommandNumber::TrackReverse, ActionKind::Toggle, TrackUse::Track, ValueConversion::None},  // 30
    {"track_reverse_set", "Track Reverse (Set)", CommandNumber::TrackReverseSet, ActionKind::Set, TrackUse::Track, ValueConversion::None},  // 31
    {"track_volume", "Track Volume", CommandNumber::TrackVolume, ActionKind::Adjust, TrackUse::Track, ValueConversion::S127},  // 32
    {"edit_trim_loop", "Edit Trim Loop", CommandNumber::EditTrimLoop, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 33
    {"zoom_in", "Zoom In", CommandNumber::ZoomIn, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 34
    {"zoom_out", "Zoom Out", CommandNumber::ZoomOut, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 35
    {"zoom_out_full", "Zoom Out Full", CommandNumber::ZoomOutFull, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 36
    {"zoom_select", "Zoom to Selection", CommandNumber::ZoomSelect, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 37
    {"loop_selected", "Loop Current Selection", CommandNumber::LoopSelected, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 38
    {"set_start_point", "Set Loop Start Point", CommandNumber::SetStartPoint, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 39
    {"move_cursor_left", "Move Cursor Left", CommandNumber::MoveCursorLeft, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 40
    {"move_cursor_right", "Move Cursor Right", CommandNumber::MoveCursorRight, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 41
    {"move_cursor_left_beat", "Move Cursor Left 1 Beat", CommandNumber::MoveCursorLeftBeat, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 42
    {"move_cursor_right_beat", "Move Cursor Right 1 Beat", CommandNumber::MoveCursorRightBeat, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 43
    {"select_cursor_left", "Selection Left", CommandNumber::SelectCursorLeft, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 44
    {"select_cursor_right", "Selection Right", CommandNumber::SelectCursorRight, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 45
    {"select_cursor_left_beat", "Selection Left 1 Beat", CommandNumber::SelectCursorLeftBeat, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 46
    {"select_cursor_right_beat", "Selection Right 1 Beat", CommandNumber::SelectCursorRightBeat, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 47
    {"set_cursor", "Set Cursor Position", CommandNumber::SetCursor, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMin},  // 48
    {"set_cursor_beat", "Set Cursor Position to Beat", CommandNumber::SetCursorBeat, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMinBeat},  // 49
    {"set_min_selection", "Set Minimum Selection Position", CommandNumber::SetMinSelection, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMin},  // 50
    {"set_max_selection", "Set Maximum Selection Position", CommandNumber::SetMaxSelection, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMax},  // 51
    {"set_min_selection_beat", "Set Minimum Selection Position to Beat", CommandNumber::SetMinSelectionBeat, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMinBeat},  // 52
    {"set_max_selection_beat", "Set Maximum Selection Position to Beat", CommandNumber::SetMaxSelectionBeat, ActionKind::Adjust, TrackUse::None, ValueConversion::PosMaxBeat},  // 53
    {"set_cursor_start", "Set Cursor to Loop Start", CommandNumber::SetCursorStart, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 54
    {"set_cursor_end", "Set Cursor to Loop End", CommandNumber::SetCursorEnd, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 55
    {"selection_cursor_start", "Set Selection to Loop Start", CommandNumber::SelectionCursorStart, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 56
    {"selection_cursor_end", "Set Selection to Loop End", CommandNumber::SelectionCursorEnd, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 57
    {"record_feedback", "Record Feedback", CommandNumber::RecordFeedback, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 58
    {"master_volume", "Master Volume", CommandNumber::MasterVolume, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 59
    {"master_volume_mute", "Master Volume Mute (Toggle)", CommandNumber::MasterVolumeMute, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 60
    {"submix_a_volume", "Submix A Volume", CommandNumber::SubmixAVolume, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 61
    {"submix_a_mute", "Submix A Mute (Toggle)", CommandNumber::SubmixAMute, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 62
    {"submix_b_volume", "Submix B Volume", CommandNumber::SubmixBVolume, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 63
    {"submix_b_mute", "Submix B Mute (Toggle)", CommandNumber::SubmixBMute, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 64
    {"submix_crossfade", "Submix Crossfade", CommandNumber::SubmixCrossfade, ActionKind::Adjust, TrackUse::None, ValueConversion::S1},  // 65
    {"delay_enable", "Delay Enable", CommandNumber::DelayEnable, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 66
    {"delay_enable_set", "Delay Enable Set", CommandNumber::DelayEnableSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 67
    {"delay_link", "Delay Link", CommandNumber::DelayLink, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 68
    {"delay_link_set", "Delay Link Set", CommandNumber::DelayLinkSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 69
    {"delay_mode", "Delay Mode", CommandNumber::DelayMode, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 70
    {"delay_mode_set", "Delay Mode Set", CommandNumber::DelayModeSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 71
    {"delay_sync", "Delay Sync", CommandNumber::DelaySync, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 72
    {"delay_sync_set", "Delay Sync Set", CommandNumber::DelaySyncSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 73
    {"delay_time_left", "Delay Time Left", CommandNumber::DelayTimeLeft, ActionKind::Adjust, TrackUse::None, ValueConversion::Ms},  // 74
    {"delay_time_right", "Delay Time Right", CommandNumber::DelayTimeRight, ActionKind::Adjust, TrackUse::None, ValueConversion::Ms},  // 75
    {"delay_feedback_left", "Delay Feedback Left", CommandNumber::DelayFeedbackLeft, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 76
    {"delay_feedback_right", "Delay Feedback Right", CommandNumber::DelayFeedbackRight, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 77
    {"delay_mix", "Delay Mix", CommandNumber::DelayMix, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 78
    {"filter_frequency", "Filter Frequency", CommandNumber::FilterFrequency, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 79
    {"filter_resonance", "Filter Resonance", CommandNumber::FilterResonance, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 80
    {"filter_lfo_rate", "Filter LFO Rate", CommandNumber::FilterLfoRate, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 81
    {"filter_lfo_depth", "Filter LFO Depth", CommandNumber::FilterLfoDepth, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 82
    {"filter_enable", "Filter Enable (Toggle)", CommandNumber::FilterEnable, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 83
    {"filter_enable_set", "Filter Enable (Set)", CommandNumber::FilterEnableSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 84
    {"filter_lfo_enable", "Filter LFO Enable (Toggle)", CommandNumber::FilterLfoEnable, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 85
    {"filter_lfo_enable_set", "Filter LFO Enable (Set)", CommandNumber::FilterLfoEnableSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 86
    {"filter_link", "Filter Link (Toggle)", CommandNumber::FilterLink, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 87
    {"filter_link_set", "Filter Link (Set)", CommandNumber::FilterLinkSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 88
    {"filter_lfo_link", "Filter LFO Link (Toggle)", CommandNumber::FilterLfoLink, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 89
    {"filter_lfo_link_set", "Filter LFO Link (Set)", CommandNumber::FilterLfoLinkSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 90
    {"filter_mode", "Filter Mode (Toggle)", CommandNumber::FilterMode, ActionKind::Cycle, TrackUse::None, ValueConversion::None},  // 91
    {"filter_mode_set", "Filter Mode (Set)", CommandNumber::FilterModeSet, ActionKind::Adjust, TrackUse::None, ValueConversion::FilterMode},  // 92
    {"reverb_enable", "Reverb Enable (Toggle)", CommandNumber::ReverbEnable, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 93
    {"reverb_enable_set", "Reverb Enable (Set)", CommandNumber::ReverbEnableSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 94
    {"reverb_length", "Reverb Length", CommandNumber::ReverbLength, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 95
    {"reverb_mix", "Reverb Mix", CommandNumber::ReverbMix, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 96
    {"reverb_damping", "Reverb Damping", CommandNumber::ReverbDamping, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 97
    {"metronome_record", "Metronome Record (Toggle)", CommandNumber::MetronomeRecordToggle, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 98
    {"metronome_record_set", "Metronome Record (Set)", CommandNumber::MetronomeRecordSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 99
    {"metronome_playback", "Metronome Playback (Toggle)", CommandNumber::MetronomePlaybackToggle, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 100
    {"metronome_playback_set", "Metronome Playback (Set)", CommandNumber::MetronomePlaybackSet, ActionKind::Set, TrackUse::None, ValueConversion::None},  // 101
    {"metronome_volume", "Metronome Volume", CommandNumber::MetronomeVolume, ActionKind::Adjust, TrackUse::None, ValueConversion::S127},  // 102
    {"track_pan", "Track Pan", CommandNumber::TrackPan, ActionKind::Adjust, TrackUse::Track, ValueConversion::S127},  // 103
    {"next_track", "Next Track", CommandNumber::NextTrack, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 104
    {"prev_track", "Previous Track", CommandNumber::PrevTrack, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 105
    {"set_track", "Set Track", CommandNumber::SetTrack, ActionKind::Trigger, TrackUse::Track, ValueConversion::None},  // 106
    {"load_default_config", "Load Default Config", CommandNumber::NewSession, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 107
    {"save_default_config", "Save Default Config", CommandNumber::SaveDefaultConfig, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 108
    {"load_quicksave01", "Load Quicksave01", CommandNumber::LoadQuicksave01, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 109
    {"load_quicksave02", "Load Quicksave02", CommandNumber::LoadQuicksave02, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 110
    {"load_quicksave03", "Load Quicksave03", CommandNumber::LoadQuicksave03, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 111
    {"load_quicksave04", "Load Quicksave04", CommandNumber::LoadQuicksave04, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 112
    {"load_quicksave05", "Load Quicksave05", CommandNumber::LoadQuicksave05, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 113
    {"load_quicksave06", "Load Quicksave06", CommandNumber::LoadQuicksave06, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 114
    {"load_quicksave07", "Load Quicksave07", CommandNumber::LoadQuicksave07, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 115
    {"load_quicksave08", "Load Quicksave08", CommandNumber::LoadQuicksave08, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 116
    {"save_quicksave01", "Save Quicksave01", CommandNumber::SaveQuicksave01, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 117
    {"save_quicksave02", "Save Quicksave02", CommandNumber::SaveQuicksave02, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 118
    {"save_quicksave03", "Save Quicksave03", CommandNumber::SaveQuicksave03, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 119
    {"save_quicksave04", "Save Quicksave04", CommandNumber::SaveQuicksave04, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 120
    {"save_quicksave05", "Save Quicksave05", CommandNumber::SaveQuicksave05, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 121
    {"save_quicksave06", "Save Quicksave06", CommandNumber::SaveQuicksave06, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 122
    {"save_quicksave07", "Save Quicksave07", CommandNumber::SaveQuicksave07, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 123
    {"save_quicksave08", "Save Quicksave08", CommandNumber::SaveQuicksave08, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 124
    {"mix_to_track", "Mix to Track", CommandNumber::MixToTrack, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 125
    {"mix_to_disk", "Mix to Disk", CommandNumber::MixToDisk, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 126
    {"metronome_record", "Metronome Record", CommandNumber::MetronomeRecord, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 127
    {"metronome_play", "Metronome Play", CommandNumber::MetronomePlay, ActionKind::Toggle, TrackUse::None, ValueConversion::None},  // 128
    {"loop_time_mode", "Loop Time Mode", CommandNumber::LoopTimeMode, ActionKind::Cycle, TrackUse::Mode, ValueConversion::None},  // 129
    {"set_loop_time", "Set Loop Time", CommandNumber::SetLoopTime, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 130
    {"get_loop_time", "Get Loop Time", CommandNumber::GetLoopTime, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 131
    {"tap_loop_time", "Tap Loop Time", CommandNumber::TapLoopTime, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 132
    {"set_current_track_time", "Set Current Track Time", CommandNumber::SetCurrentTrackTime, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 133
    {"set_empty_tracks_time", "Set Empty Tracks Time", CommandNumber::SetEmptyTracksTime, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 134
    {"set_all_tracks_time", "Set All Tracks Time", CommandNumber::SetAllTracksTime, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 135
    {"transport_redo", "Transport Redo", CommandNumber::TransportRedo, ActionKind::Trigger, TrackUse::None, ValueConversion::None},  // 136
};

// The rows that act on a track are described with a track suffix.
struct TrackText {
  uint32_t commandId;
  const char* text;  // followed by " - %d" or " - Current"
};

constexpr TrackText kTrackTexts[] = {
    {CommandNumber::TrackMute, "Mute Track (Toggle)"},
    {CommandNumber::TrackMuteSet, "Mute Track (Set)"},
    {CommandNumber::TrackSolo, "Solo Track (Toggle)"},
    {CommandNumber::TrackSoloSet, "Solo Track (Set)"},
    {CommandNumber::TrackRecord, "Record Track"},
    {CommandNumber::TrackEffect, "Effect Enable Track (Toggle)"},
    {CommandNumber::TrackEffectSet, "Effect Enable Track (Set)"},
    {CommandNumber::TrackEffectMix, "Effect Mix Track"},
    {CommandNumber::TrackSlow, "Slow Track (Toggle)"},
    {CommandNumber::TrackSlowSet, "Slow Track (Set)"},
    {CommandNumber::TrackReverse, "Reverse Track (Toggle)"},
    {CommandNumber::TrackReverseSet, "Reverse Track (Set)"},
    {CommandNumber::TrackVolume, "Volume Track"},
    {CommandNumber::TrackPan, "Pan Track"},
    {CommandNumber::TrackSubmix, "Submix Track (Toggle)"},
    {CommandNumber::TrackSubmixSet, "Submix Track (Set)"},
    {CommandNumber::SetTrack, "Set Track"},
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
