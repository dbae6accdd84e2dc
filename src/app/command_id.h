#pragma once
// Every command the main window executes, named once. The values are the command ids
// that menus, panel buttons, keys, the MIDI control file and triggers carry, so a
// ControlCommand's id converts to a Command directly. The commands an action can fire
// take their numbers from the control layer's list; only the menu commands no action
// fires are numbered here.
#include <cstdint>

#include "control/command_numbers.h"

enum class Command : uint16_t {
  // Track selection (no menu entry; triggers only)
  NextTrack = CommandNumber::NextTrack,
  PrevTrack = CommandNumber::PrevTrack,
  SetTrack = CommandNumber::SetTrack,
  Exit = 105,

  // Transport
  TransportRecord = CommandNumber::TransportRecord,
  TransportStop = CommandNumber::TransportStop,
  TransportPlay = CommandNumber::TransportPlay,
  TransportErase = CommandNumber::TransportErase,
  TransportPause = CommandNumber::TransportPause,
  TransportSetLoop = CommandNumber::TransportSetLoop,
  TransportMultiply = CommandNumber::TransportMultiply,
  TransportDivide = CommandNumber::TransportDivide,
  TransportUndo = CommandNumber::TransportUndo,
  TransportRedo = CommandNumber::TransportRedo,
  TransportSlow = CommandNumber::TransportSlow,
  TransportSlowSet = CommandNumber::TransportSlowSet,
  TransportReverse = CommandNumber::TransportReverse,
  TransportReverseSet = CommandNumber::TransportReverseSet,
  TransportInsert = CommandNumber::TransportInsert,
  ToggleStopPlay = CommandNumber::ToggleStopPlay,
  ToggleStopRecord = CommandNumber::ToggleStopRecord,
  TogglePlayPause = CommandNumber::TogglePlayPause,
  TogglePlayRecord = CommandNumber::TogglePlayRecord,

  // Track strip
  TrackSubmix = CommandNumber::TrackSubmix,
  TrackSubmixSet = CommandNumber::TrackSubmixSet,
  TrackMute = CommandNumber::TrackMute,
  TrackMuteSet = CommandNumber::TrackMuteSet,
  TrackSolo = CommandNumber::TrackSolo,
  TrackSoloSet = CommandNumber::TrackSoloSet,
  TrackRecord = CommandNumber::TrackRecord,
  TrackEffect = CommandNumber::TrackEffect,
  TrackEffectSet = CommandNumber::TrackEffectSet,
  TrackEffectMix = CommandNumber::TrackEffectMix,
  TrackSlow = CommandNumber::TrackSlow,
  TrackSlowSet = CommandNumber::TrackSlowSet,
  TrackReverse = CommandNumber::TrackReverse,
  TrackReverseSet = CommandNumber::TrackReverseSet,
  TrackVolume = CommandNumber::TrackVolume,
  TrackPan = CommandNumber::TrackPan,

  // Loop edit view
  EditTrimLoop = CommandNumber::EditTrimLoop,
  ZoomIn = CommandNumber::ZoomIn,
  ZoomOut = CommandNumber::ZoomOut,
  ZoomOutFull = CommandNumber::ZoomOutFull,
  ZoomSelect = CommandNumber::ZoomSelect,
  LoopSelected = CommandNumber::LoopSelected,
  SetStartPoint = CommandNumber::SetStartPoint,
  MoveCursorLeft = CommandNumber::MoveCursorLeft,
  MoveCursorRight = CommandNumber::MoveCursorRight,
  MoveCursorLeftBeat = CommandNumber::MoveCursorLeftBeat,
  MoveCursorRightBeat = CommandNumber::MoveCursorRightBeat,
  SelectCursorLeft = CommandNumber::SelectCursorLeft,
  SelectCursorRight = CommandNumber::SelectCursorRight,
  SelectCursorLeftBeat = CommandNumber::SelectCursorLeftBeat,
  SelectCursorRightBeat = CommandNumber::SelectCursorRightBeat,
  SetCursor = CommandNumber::SetCursor,
  SetCursorBeat = CommandNumber::SetCursorBeat,
  SetMinSelection = CommandNumber::SetMinSelection,
  SetMaxSelection = CommandNumber::SetMaxSelection,
  SetMinSelectionBeat = CommandNumber::SetMinSelectionBeat,
  SetMaxSelectionBeat = CommandNumber::SetMaxSelectionBeat,
  SetCursorStart = CommandNumber::SetCursorStart,
  SetCursorEnd = CommandNumber::SetCursorEnd,
  SelectionCursorStart = CommandNumber::SelectionCursorStart,
  SelectionCursorEnd = CommandNumber::SelectionCursorEnd,

  // Mixer
  RecordFeedback = CommandNumber::RecordFeedback,
  MasterVolume = CommandNumber::MasterVolume,
  MasterVolumeMute = CommandNumber::MasterVolumeMute,
  SubmixAVolume = CommandNumber::SubmixAVolume,
  SubmixAMute = CommandNumber::SubmixAMute,
  SubmixBVolume = CommandNumber::SubmixBVolume,
  SubmixBMute = CommandNumber::SubmixBMute,
  SubmixCrossfade = CommandNumber::SubmixCrossfade,

  // Delay
  DelayEnable = CommandNumber::DelayEnable,
  DelayEnableSet = CommandNumber::DelayEnableSet,
  DelayLink = CommandNumber::DelayLink,
  DelayLinkSet = CommandNumber::DelayLinkSet,
  DelayMode = CommandNumber::DelayMode,
  DelayModeSet = CommandNumber::DelayModeSet,
  DelaySync = CommandNumber::DelaySync,
  DelaySyncSet = CommandNumber::DelaySyncSet,
  DelayTimeLeft = CommandNumber::DelayTimeLeft,
  DelayTimeRight = CommandNumber::DelayTimeRight,
  DelayFeedbackLeft = CommandNumber::DelayFeedbackLeft,
  DelayFeedbackRight = CommandNumber::DelayFeedbackRight,
  DelayMix = CommandNumber::DelayMix,

  // Filter
  FilterFrequency = CommandNumber::FilterFrequency,
  FilterResonance = CommandNumber::FilterResonance,
  FilterLfoRate = CommandNumber::FilterLfoRate,
  FilterLfoDepth = CommandNumber::FilterLfoDepth,
  FilterEnable = CommandNumber::FilterEnable,
  FilterEnableSet = CommandNumber::FilterEnableSet,
  FilterLfoEnable = CommandNumber::FilterLfoEnable,
  FilterLfoEnableSet = CommandNumber::FilterLfoEnableSet,
  FilterLink = CommandNumber::FilterLink,
  FilterLinkSet = CommandNumber::FilterLinkSet,
  FilterLfoLink = CommandNumber::FilterLfoLink,
  FilterLfoLinkSet = CommandNumber::FilterLfoLinkSet,
  FilterMode = CommandNumber::FilterMode,
  FilterModeSet = CommandNumber::FilterModeSet,

  // Reverb
  ReverbEnable = CommandNumber::ReverbEnable,
  ReverbEnableSet = CommandNumber::ReverbEnableSet,
  ReverbLength = CommandNumber::ReverbLength,
  ReverbMix = CommandNumber::ReverbMix,
  ReverbDamping = CommandNumber::ReverbDamping,

  // Metronome
  MetronomeRecordToggle = CommandNumber::MetronomeRecordToggle,
  MetronomeRecordSet = CommandNumber::MetronomeRecordSet,
  MetronomePlaybackToggle = CommandNumber::MetronomePlaybackToggle,
  MetronomePlaybackSet = CommandNumber::MetronomePlaybackSet,
  MetronomeVolume = CommandNumber::MetronomeVolume,
  MetronomeRecord = CommandNumber::MetronomeRecord,  // after applying the panel's tempo fields
  MetronomePlay = CommandNumber::MetronomePlay,

  // Mix modes
  MixToTrack = CommandNumber::MixToTrack,
  MixToDisk = CommandNumber::MixToDisk,

  // Loop time
  LoopTimeMode = CommandNumber::LoopTimeMode,
  SetLoopTime = CommandNumber::SetLoopTime,
  GetLoopTime = CommandNumber::GetLoopTime,
  TapLoopTime = CommandNumber::TapLoopTime,
  SetCurrentTrackTime = CommandNumber::SetCurrentTrackTime,
  SetEmptyTracksTime = CommandNumber::SetEmptyTracksTime,
  SetAllTracksTime = CommandNumber::SetAllTracksTime,

  // Files and dialogs (menus)
  NewSession = CommandNumber::NewSession,  // also "Load Default Config"
  OpenSession = 32832,
  SaveSession = 32833,
  SaveSessionAs = 32939,
  LoadLoop = 32790,
  SaveLoop = 32789,
  SaveDefaultConfig = CommandNumber::SaveDefaultConfig,
  MetronomeDialog = 32805,
  SetLatencyDialog = 32788,
  PreferencesDialog = 32800,
  MidiControlDialog = 32824,
  SelectSkinDialog = 32854,
  SelectAudioDevicesDialog = 32784,
  AsioControlPanel = 32837,
  SetLoopTimeDialog = 32781,
  AboutDialog = 32782,
  HelpDialog = 32783,  // the key list (help.txt): Help menu, popup menu, F1
  Quicksave = 32858,
  LoadQuicksave01 = CommandNumber::LoadQuicksave01,  // .. 08, consecutive
  LoadQuicksave08 = CommandNumber::LoadQuicksave08,
  SaveQuicksave01 = CommandNumber::SaveQuicksave01,  // .. 08, consecutive
  SaveQuicksave08 = CommandNumber::SaveQuicksave08,
};

inline constexpr uint16_t CommandId(Command c) { return static_cast<uint16_t>(c); }
inline constexpr Command ToCommand(uint32_t id) { return static_cast<Command>(id & 0xFFFF); }
