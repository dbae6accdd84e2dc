#pragma once
// The loop-time settings: how long new (empty) loops are, from seconds, from tempo,
// beats per measure and measures, or as the maximum of a free first recording; the
// tempo and beats per measure also set the metronome's measure. Kept by the user
// interface and stored in the session under the six keys below.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

enum LoopTimeMode : int32_t {
  LoopTimeSeconds = 0,
  LoopTimeMeasures = 1,
  LoopTimeMaxTime = 2,
};

inline constexpr const char* kLoopTimeModeKey = "looptime_mode";
inline constexpr const char* kLoopTimeKey = "loop_time";
inline constexpr const char* kLoopTempoKey = "loop_tempo";
inline constexpr const char* kLoopBeatsPerMeasureKey = "loop_beats_per_measure";
inline constexpr const char* kLoopMeasuresKey = "loop_measures";
inline constexpr const char* kLoopMaxManualTimeKey = "loop_max_manual_time";

struct LoopTimeSettings {
  int32_t mode = LoopTimeMeasures;  // looptime_mode
  double loopTime = 4.0;            // loop_time, seconds
  double tempo = 120.0;             // loop_tempo, beats per minute
  int32_t beatsPerMeasure = 4;      // loop_beats_per_measure
  int32_t measures = 2;             // loop_measures
  double maxManualTime = 20.0;      // loop_max_manual_time, seconds
};

// "Seconds", "Measures" or "Max Time".
const char* LoopTime_ModeName(int32_t mode);

// Setters with the acceptance rules of the stored values (the panel is stricter, below).
void LoopTime_SetMode(LoopTimeSettings* s, int32_t mode);            // other values: 0
bool LoopTime_SetLoopTime(LoopTimeSettings* s, double seconds);      // 0.1..240, else ignored
void LoopTime_SetTempo(LoopTimeSettings* s, double bpm);             // as given
bool LoopTime_SetBeatsPerMeasure(LoopTimeSettings* s, int32_t beats);  // 1..16, else ignored
void LoopTime_SetMeasures(LoopTimeSettings* s, int32_t measures);    // as given
void LoopTime_SetMaxManualTime(LoopTimeSettings* s, double seconds);  // as given

// One measure in seconds: beats per measure x 60 / tempo (the metronome's loop).
double LoopTime_MeasureSeconds(const LoopTimeSettings& s);
// The loop time of mode "Measures": one measure x measures.
double LoopTime_MeasuresSeconds(const LoopTimeSettings& s);
// The loop time the current mode gives new loops.
double LoopTime_ModeSeconds(const LoopTimeSettings& s);
// The length of the strips' loops created at start: 4.0 s, or the maximum manual time in
// mode "Max Time".
double LoopTime_InitialLoopSeconds(const LoopTimeSettings& s);

// Panel validation. Each reads the field's text, shows what is wrong through
// MessageDialog and keeps the stored value, or stores the new one. True when stored.

// Tempo and beats per measure (step 1 and 2): an empty or over-long tempo text is ignored
// silently. When both are valid they are stored and the metronome is rebuilt for one
// measure, unforced.
bool LoopTime_ApplyTempoFields(LoopTimeSettings* s, const std::string& tempoText,
                               const std::string& beatsText);
bool LoopTime_ApplyLoopTimeField(LoopTimeSettings* s, const std::string& text);
bool LoopTime_ApplyMeasuresField(LoopTimeSettings* s, const std::string& text);
bool LoopTime_ApplyMaxManualTimeField(LoopTimeSettings* s, const std::string& text);

// Tap tempo. The clock reads a high-resolution counter; tests inject their own.
struct TapClock {
  std::function<int64_t()> counter;  // ticks
  int64_t frequency = 0;             // ticks per second
};
// The steady clock in nanoseconds.
TapClock TapClock_Steady();

struct TapTempo {
  TapClock clock = TapClock_Steady();
  int64_t lastTap = 0;
  bool hasLastTap = false;  // the first tap only arms the measurement
  int32_t history[4] = {0, 0, 0, 0};
  int32_t writeIndex = 0;
  bool restart = true;
};

// One tap: returns the averaged tempo it produced and stores it as the loop tempo, or 0
// when the tap only (re)arms the measurement (the interval gives below 20 or above 300
// beats per minute).
int32_t TapTempo_Tap(TapTempo* tap, LoopTimeSettings* s);

// The loop-time panel's target (radio buttons 1218, 1219, 1220).
enum class LoopTimeTarget { Current = 0, Empty = 1, All = 2 };

// The loop time as the application keeps it: the settings the session stores, and what
// the panel adds to them. Owned by the App; user-interface thread only.
struct LoopTimeState : LoopTimeSettings {
  TapTempo tap;
  LoopTimeTarget target = LoopTimeTarget::Current;
  // "Max Time" mode: the first recording (or a loaded loop) has fixed the loop length.
  // This is also the panel's recorded-or-loaded mark.
  bool firstLoopSet = false;
  double lastLoopTime = -1.0;  // the current track's loop time after the last entry point
};

// "Max Time" mode, the loop an empty track is given: the last recorded loop's time when
// `toLastRecording` (the empty_to_last_rec preference) and the first loop is set, else
// the typed maximum.
bool LoopTime_EmptyTakesLastRecording(const LoopTimeState& s, bool toLastRecording);
double LoopTime_EmptyTrackMaxTime(const LoopTimeState& s, bool toLastRecording);
