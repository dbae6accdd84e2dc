#pragma once
// The command id of every action a controller can fire: the action catalogue's rows,
// among them the immediate transport commands. These numbers are written in users' MIDI
// control files and carried in a ControlCommand's 16 bits, so none of them may ever
// change. The application's Command enum takes its values from here; it defines only the
// menu commands no action fires.
#include <cstdint>

namespace CommandNumber {

// Track selection (no menu entry; triggers only)
inline constexpr uint16_t NextTrack = 110;
inline constexpr uint16_t PrevTrack = 111;
inline constexpr uint16_t SetTrack = 112;

// Transport
inline constexpr uint16_t TransportRecord = 32771;
inline constexpr uint16_t TransportStop = 32772;
inline constexpr uint16_t TransportPlay = 32776;
inline constexpr uint16_t TransportErase = 32777;
inline constexpr uint16_t TransportPause = 32778;
inline constexpr uint16_t TransportSetLoop = 32792;
inline constexpr uint16_t TransportMultiply = 32797;
inline constexpr uint16_t TransportDivide = 32942;
inline constexpr uint16_t TransportUndo = 32799;
inline constexpr uint16_t TransportRedo = 32798;
inline constexpr uint16_t TransportSlow = 32802;
inline constexpr uint16_t TransportSlowSet = 32893;
inline constexpr uint16_t TransportReverse = 32803;
inline constexpr uint16_t TransportReverseSet = 32894;
inline constexpr uint16_t TransportInsert = 32804;
inline constexpr uint16_t ToggleStopPlay = 32932;
inline constexpr uint16_t ToggleStopRecord = 32933;
inline constexpr uint16_t TogglePlayPause = 32934;
inline constexpr uint16_t TogglePlayRecord = 32935;

// Track strip
inline constexpr uint16_t TrackSubmix = 32946;
inline constexpr uint16_t TrackSubmixSet = 32949;
inline constexpr uint16_t TrackMute = 32806;
inline constexpr uint16_t TrackMuteSet = 32892;
inline constexpr uint16_t TrackSolo = 32807;
inline constexpr uint16_t TrackSoloSet = 32895;
inline constexpr uint16_t TrackRecord = 32808;
inline constexpr uint16_t TrackEffect = 32809;
inline constexpr uint16_t TrackEffectSet = 32896;
inline constexpr uint16_t TrackEffectMix = 32973;
inline constexpr uint16_t TrackSlow = 32811;
inline constexpr uint16_t TrackSlowSet = 32897;
inline constexpr uint16_t TrackReverse = 32812;
inline constexpr uint16_t TrackReverseSet = 32898;
inline constexpr uint16_t TrackVolume = 32813;
inline constexpr uint16_t TrackPan = 32835;

// Loop edit view
inline constexpr uint16_t EditTrimLoop = 32888;
inline constexpr uint16_t ZoomIn = 32902;
inline constexpr uint16_t ZoomOut = 32903;
inline constexpr uint16_t ZoomOutFull = 32901;
inline constexpr uint16_t ZoomSelect = 32900;
inline constexpr uint16_t LoopSelected = 32922;
inline constexpr uint16_t SetStartPoint = 32924;
inline constexpr uint16_t MoveCursorLeft = 33005;
inline constexpr uint16_t MoveCursorRight = 33006;
inline constexpr uint16_t MoveCursorLeftBeat = 33009;
inline constexpr uint16_t MoveCursorRightBeat = 33010;
inline constexpr uint16_t SelectCursorLeft = 33011;
inline constexpr uint16_t SelectCursorRight = 33018;
inline constexpr uint16_t SelectCursorLeftBeat = 33017;
inline constexpr uint16_t SelectCursorRightBeat = 33015;
inline constexpr uint16_t SetCursor = 33031;
inline constexpr uint16_t SetCursorBeat = 33032;
inline constexpr uint16_t SetMinSelection = 33035;
inline constexpr uint16_t SetMaxSelection = 33039;
inline constexpr uint16_t SetMinSelectionBeat = 33036;
inline constexpr uint16_t SetMaxSelectionBeat = 33040;
inline constexpr uint16_t SetCursorStart = 33023;
inline constexpr uint16_t SetCursorEnd = 33024;
inline constexpr uint16_t SelectionCursorStart = 33025;
inline constexpr uint16_t SelectionCursorEnd = 33026;

// Mixer
inline constexpr uint16_t RecordFeedback = 32814;
inline constexpr uint16_t MasterVolume = 32889;
inline constexpr uint16_t MasterVolumeMute = 33048;
inline constexpr uint16_t SubmixAVolume = 32952;
inline constexpr uint16_t SubmixAMute = 33045;
inline constexpr uint16_t SubmixBVolume = 32953;
inline constexpr uint16_t SubmixBMute = 33046;
inline constexpr uint16_t SubmixCrossfade = 32955;

// Delay
inline constexpr uint16_t DelayEnable = 32979;
inline constexpr uint16_t DelayEnableSet = 32985;
inline constexpr uint16_t DelayLink = 32987;
inline constexpr uint16_t DelayLinkSet = 32986;
inline constexpr uint16_t DelayMode = 32990;
inline constexpr uint16_t DelayModeSet = 32991;
inline constexpr uint16_t DelaySync = 32994;
inline constexpr uint16_t DelaySyncSet = 32995;
inline constexpr uint16_t DelayTimeLeft = 32975;
inline constexpr uint16_t DelayTimeRight = 32976;
inline constexpr uint16_t DelayFeedbackLeft = 32977;
inline constexpr uint16_t DelayFeedbackRight = 32978;
inline constexpr uint16_t DelayMix = 32982;

// Filter
inline constexpr uint16_t FilterFrequency = 32815;
inline constexpr uint16_t FilterResonance = 32816;
inline constexpr uint16_t FilterLfoRate = 32817;
inline constexpr uint16_t FilterLfoDepth = 32818;
inline constexpr uint16_t FilterEnable = 32819;
inline constexpr uint16_t FilterEnableSet = 32913;
inline constexpr uint16_t FilterLfoEnable = 32820;
inline constexpr uint16_t FilterLfoEnableSet = 32904;
inline constexpr uint16_t FilterLink = 32821;
inline constexpr uint16_t FilterLinkSet = 32906;
inline constexpr uint16_t FilterLfoLink = 32822;
inline constexpr uint16_t FilterLfoLinkSet = 32909;
inline constexpr uint16_t FilterMode = 32823;
inline constexpr uint16_t FilterModeSet = 32911;

// Reverb
inline constexpr uint16_t ReverbEnable = 32825;
inline constexpr uint16_t ReverbEnableSet = 32905;
inline constexpr uint16_t ReverbLength = 32826;
inline constexpr uint16_t ReverbMix = 32827;
inline constexpr uint16_t ReverbDamping = 32828;

// Metronome
inline constexpr uint16_t MetronomeRecordToggle = 32829;
inline constexpr uint16_t MetronomeRecordSet = 32915;
inline constexpr uint16_t MetronomePlaybackToggle = 32830;
inline constexpr uint16_t MetronomePlaybackSet = 32907;
inline constexpr uint16_t MetronomeVolume = 32831;
inline constexpr uint16_t MetronomeRecord = 32868;  // after applying the panel's tempo fields
inline constexpr uint16_t MetronomePlay = 32869;

// Mix modes
inline constexpr uint16_t MixToTrack = 32944;
inline constexpr uint16_t MixToDisk = 32943;

// Loop time
inline constexpr uint16_t LoopTimeMode = 32936;
inline constexpr uint16_t SetLoopTime = 32871;
inline constexpr uint16_t GetLoopTime = 32872;
inline constexpr uint16_t TapLoopTime = 32876;
inline constexpr uint16_t SetCurrentTrackTime = 32873;
inline constexpr uint16_t SetEmptyTracksTime = 32874;
inline constexpr uint16_t SetAllTracksTime = 32875;

// Sessions and quicksaves
inline constexpr uint16_t NewSession = 32836;  // "Load Default Config"; the menus' New Session
inline constexpr uint16_t SaveDefaultConfig = 32834;
inline constexpr uint16_t LoadQuicksave01 = 32859;
inline constexpr uint16_t LoadQuicksave02 = 32860;
inline constexpr uint16_t LoadQuicksave03 = 32861;
inline constexpr uint16_t LoadQuicksave04 = 32862;
inline constexpr uint16_t LoadQuicksave05 = 32863;
inline constexpr uint16_t LoadQuicksave06 = 32864;
inline constexpr uint16_t LoadQuicksave07 = 32865;
inline constexpr uint16_t LoadQuicksave08 = 32866;
inline constexpr uint16_t SaveQuicksave01 = 32877;
inline constexpr uint16_t SaveQuicksave02 = 32878;
inline constexpr uint16_t SaveQuicksave03 = 32879;
inline constexpr uint16_t SaveQuicksave04 = 32880;
inline constexpr uint16_t SaveQuicksave05 = 32881;
inline constexpr uint16_t SaveQuicksave06 = 32882;
inline constexpr uint16_t SaveQuicksave07 = 32883;
inline constexpr uint16_t SaveQuicksave08 = 32884;

}  // namespace CommandNumber
