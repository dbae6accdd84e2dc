#pragma once
// Every command the main window executes, named once. The values are the command ids
// that menus, panel buttons, keys, the MIDI control file and triggers carry, so a
// ControlCommand's id converts to a Command directly.
#include <cstdint>

enum class Command : uint16_t {
  // Track selection (no menu entry; triggers only)
  NextTrack = 110,
  PrevTrack = 111,
  SetTrack = 112,
  Exit = 105,

  // Transport
  TransportRecord = 32771,
  TransportStop = 32772,
  TransportPlay = 32776,
  TransportErase = 32777,
  TransportPause = 32778,
  TransportSetLoop = 32792,
  TransportMultiply = 32797,
  TransportDivide = 32942,
  TransportUndo = 32799,
  TransportSlow = 32802,
  TransportSlowSet = 32893,
  TransportReverse = 32803,
  TransportReverseSet = 32894,
  TransportInsert = 32804,
  ToggleStopPlay = 32932,
  ToggleStopRecord = 32933,
  TogglePlayPause = 32934,
  TogglePlayRecord = 32935,

  // Track strip
  TrackSubmix = 32946,
  TrackSubmixSet = 32949,
  TrackMute = 32806,
  TrackMuteSet = 32892,
  TrackSolo = 32807,
  TrackSoloSet = 32895,
  TrackRecord = 32808,
  TrackEffect = 32809,
  TrackEffectSet = 32896,
  TrackEffectMix = 32973,
  TrackSlow = 32811,
  TrackSlowSet = 32897,
  TrackReverse = 32812,
  TrackReverseSet = 32898,
  TrackVolume = 32813,
  TrackPan = 32835,

  // Loop edit view
  EditTrimLoop = 32888,
  ZoomIn = 32902,
  ZoomOut = 32903,
  ZoomOutFull = 32901,
  ZoomSelect = 32900,
  LoopSelected = 32922,
  SetStartPoint = 32924,
  MoveCursorLeft = 33005,
  MoveCursorRight = 33006,
  MoveCursorLeftBeat = 33009,
  MoveCursorRightBeat = 33010,
  SelectCursorLeft = 33011,
  SelectCursorRight = 33018,
  SelectCursorLeftBeat = 33017,
  SelectCursorRightBeat = 33015,
  SetCursor = 33031,
  SetCursorBeat = 33032,
  SetMinSelection = 33035,
  SetMaxSelection = 33039,
  SetMinSelectionBeat = 33036,
  SetMaxSelectionBeat = 33040,
  SetCursorStart = 33023,
  SetCursorEnd = 33024,
  SelectionCursorStart = 33025,
  SelectionCursorEnd = 33026,

  // Mixer
  RecordFeedback = 32814,
  MasterVolume = 32889,
  MasterVolumeMute = 33048,
  SubmixAVolume = 32952,
  SubmixAMute = 33045,
  SubmixBVolume = 32953,
  SubmixBMute = 33046,
  SubmixCrossfade = 32955,

  // Delay
  DelayEnable = 32979,
  DelayEnableSet = 32985,
  DelayLink = 32987,
  DelayLinkSet = 32986,
  DelayMode = 32990,
  DelayModeSet = 32991,
  DelaySync = 32994,
  DelaySyncSet = 32995,
  DelayTimeLeft = 32975,
  DelayTimeRight = 32976,
  DelayFeedbackLeft = 32977,
  DelayFeedbackRight = 32978,
  DelayMix = 32982,

  // Filter
  FilterFrequency = 32815,
  FilterResonance = 32816,
  FilterLfoRate = 32817,
  FilterLfoDepth = 32818,
  FilterEnable = 32819,
  FilterEnableSet = 32913,
  FilterLfoEnable = 32820,
  FilterLfoEnableSet = 32904,
  FilterLink = 32821,
  FilterLinkSet = 32906,
  FilterLfoLink = 32822,
  FilterLfoLinkSet = 32909,
  FilterMode = 32823,
  FilterModeSet = 32911,

  // Reverb
  ReverbEnable = 32825,
  ReverbEnableSet = 32905,
  ReverbLength = 32826,
  ReverbMix = 32827,
  ReverbDamping = 32828,

  // Metronome
  MetronomeRecordToggle = 32829,
  MetronomeRecordSet = 32915,
  MetronomePlaybackToggle = 32830,
  MetronomePlaybackSet = 32907,
  MetronomeVolume = 32831,
  MetronomeRecord = 32868,  // after applying the panel's tempo fields
  MetronomePlay = 32869,

  // Mix modes
  MixToTrack = 32944,
  MixToDisk = 32943,

  // Loop time
  LoopTimeMode = 32936,
  SetLoopTime = 32871,
  GetLoopTime = 32872,
  TapLoopTime = 32876,
  SetCurrentTrackTime = 32873,
  SetEmptyTracksTime = 32874,
  SetAllTracksTime = 32875,

  // Files and dialogs (menus)
  NewSession = 32836,  // also "Load Default Config"
  OpenSession = 32832,
  SaveSession = 32833,
  SaveSessionAs = 32939,
  LoadLoop = 32790,
  SaveLoop = 32789,
  SaveDefaultConfig = 32834,
  MetronomeDialog = 32805,
  SetLatencyDialog = 32788,
  PreferencesDialog = 32800,
  MidiControlDialog = 32824,
  SelectSkinDialog = 32854,
  SelectAudioDevicesDialog = 32784,
  AsioControlPanel = 32837,
  SetLoopTimeDialog = 32781,
  AboutDialog = 32782,
  Quicksave = 32858,
  LoadQuicksave01 = 32859,  // .. 32866
  LoadQuicksave08 = 32866,
  SaveQuicksave01 = 32877,  // .. 32884
  SaveQuicksave08 = 32884,
};

inline constexpr uint16_t CommandId(Command c) { return static_cast<uint16_t>(c); }
inline constexpr Command ToCommand(uint32_t id) { return static_cast<Command>(id & 0xFFFF); }
