// Loop-time settings, their panel validation and tap tempo.
#include "app/model/loop_time.h"

#include <charconv>
#include <cmath>

#include "engine/audio.h"
#include "engine/message_dialog.h"
#include "engine/metronome.h"

namespace {

constexpr size_t kMaxFieldLength = 30;
constexpr double kMinTempo = 20.0;
constexpr double kMaxTempo = 300.0;
constexpr int32_t kMaxBeatsPerMeasure = 16;

bool InLoopRange(double seconds) { return seconds >= MIN_LOOP_SECONDS && seconds <= MAX_LOOP_SECONDS; }

std::string Trim(const std::string& text) {
  const char* spaces = " \t\r\n";
  const size_t first = text.find_first_not_of(spaces);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

// A number at the start of the text, as a field's numeric reading takes it; 0 when the
// text does not start with one. Independent of the locale.
double ReadNumber(const std::string& text) {
  std::string t = Trim(text);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  double value = 0.0;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), value);
  return result.ec == std::errc() && std::isfinite(value) ? value : 0.0;
}

// A whole field holding an integer (surrounding blanks allowed).
bool ReadInteger(const std::string& text, int32_t* value) {
  std::string t = Trim(text);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  if (t.empty()) return false;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), *value);
  return result.ec == std::errc() && result.ptr == t.data() + t.size();
}

void Show(const char* text, const char* caption) { MessageDialog_Show(nullptr, text, caption); }

void ShowLoopTimeOutOfRange() { Show("Loop time is out of range.", "Loop Time Out of Range"); }

// A seconds field: at most 30 characters, not empty, within 0.1..240.
bool ReadSecondsField(const std::string& text, double* seconds) {
  if (text.empty() || text.size() > kMaxFieldLength) return false;
  *seconds = ReadNumber(text);
  return InLoopRange(*seconds);
}

}  // namespace

const char* LoopTime_ModeName(int32_t mode) {
  switch (mode) {
    case LoopTimeMeasures:
      return "Measures";
    case LoopTimeMaxTime:
      return "Max Time";
    default:
      return "Seconds";
  }
}

void LoopTime_SetMode(LoopTimeSettings* s, int32_t mode) {
  s->mode = mode >= LoopTimeSeconds && mode <= LoopTimeMaxTime ? mode : LoopTimeSeconds;
}

bool LoopTime_SetLoopTime(LoopTimeSettings* s, double seconds) {
  if (!InLoopRange(seconds)) return false;
  s->loopTime = seconds;
  return true;
}

void LoopTime_SetTempo(LoopTimeSettings* s, double bpm) { s->tempo = bpm; }

bool LoopTime_SetBeatsPerMeasure(LoopTimeSettings* s, int32_t beats) {
  if (beats < 1 || beats > kMaxBeatsPerMeasure) return false;
  s->beatsPerMeasure = beats;
  return true;
}

void LoopTime_SetMeasures(LoopTimeSettings* s, int32_t measures) { s->measures = measures; }

void LoopTime_SetMaxManualTime(LoopTimeSettings* s, double seconds) { s->maxManualTime = seconds; }

double LoopTime_MeasureSeconds(const LoopTimeSettings& s) { return s.beatsPerMeasure * (60.0 / s.tempo); }

double LoopTime_MeasuresSeconds(const LoopTimeSettings& s) { return LoopTime_MeasureSeconds(s) * s.measures; }

double LoopTime_ModeSeconds(const LoopTimeSettings& s) {
  switch (s.mode) {
    case LoopTimeMeasures:
      return LoopTime_MeasuresSeconds(s);
    case LoopTimeMaxTime:
      return s.maxManualTime;
    default:
      return s.loopTime;
  }
}

double LoopTime_InitialLoopSeconds(const LoopTimeSettings& s) {
  return s.mode == LoopTimeMaxTime ? s.maxManualTime : 4.0;
}

bool LoopTime_ApplyTempoFields(LoopTimeSettings* s, const std::string& tempoText,
                               const std::string& beatsText) {
  if (tempoText.empty() || tempoText.size() > kMaxFieldLength) return false;
  const double tempo = ReadNumber(tempoText);
  if (!(tempo >= kMinTempo && tempo <= kMaxTempo)) {
    Show("Tempo is out of range.\nUse 20 to 300 BPM.", "Tempo Out of Range");
    return false;
  }
  int32_t beats = 0;
  if (!ReadInteger(beatsText, &beats) || beats > kMaxBeatsPerMeasure) {
    Show("Beats per measure is out of range.", "Out of Range");
    return false;
  }
  // Beats of 0 or fewer pass the panel; the setter ignores them and the metronome
  // refuses a measure of no length.
  LoopTime_SetTempo(s, tempo);
  LoopTime_SetBeatsPerMeasure(s, beats);
  Audio_SetMetronomeTime(beats * 60.0 / tempo, beats, false);
  return true;
}

bool LoopTime_ApplyLoopTimeField(LoopTimeSettings* s, const std::string& text) {
  double seconds = 0.0;
  if (!ReadSecondsField(text, &seconds)) {
    ShowLoopTimeOutOfRange();
    return false;
  }
  return LoopTime_SetLoopTime(s, seconds);
}

bool LoopTime_ApplyMeasuresField(LoopTimeSettings* s, const std::string& text) {
  int32_t measures = 0;
  if (!ReadInteger(text, &measures)) {
    Show("Measures is out of range.", "Measures Out of Range");
    return false;
  }
  LoopTimeSettings trial = *s;
  trial.measures = measures;
  if (!InLoopRange(LoopTime_MeasuresSeconds(trial))) {
    ShowLoopTimeOutOfRange();
    return false;
  }
  LoopTime_SetMeasures(s, measures);
  return true;
}

bool LoopTime_ApplyMaxManualTimeField(LoopTimeSettings* s, const std::string& text) {
  double seconds = 0.0;
  if (!ReadSecondsField(text, &seconds)) {
    ShowLoopTimeOutOfRange();
    return false;
  }
  LoopTime_SetMaxManualTime(s, seconds);
  return true;
}

TapClock TapClock_Steady() {
  using Clock = std::chrono::steady_clock;
  TapClock clock;
  clock.counter = [] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
  };
  clock.frequency = 1000000000;
  return clock;
}

int32_t TapTempo_Tap(TapTempo* tap, LoopTimeSettings* s) {
  if (!tap->clock.counter) return 0;
  const int64_t now = tap->clock.counter();
  const int64_t frequency = tap->clock.frequency;
  if (now <= 0 || frequency <= 0) return 0;

  // The tempo the interval gives, checked before it is truncated to whole beats per
  // minute; no earlier tap, or none measurably earlier, arms the measurement only.
  const double seconds =
      tap->hasLastTap ? static_cast<double>(now - tap->lastTap) / static_cast<double>(frequency) : 0.0;
  const double bpm = seconds > 0.0 ? 60.0 / seconds : 0.0;
  tap->lastTap = now;
  tap->hasLastTap = true;
  if (!(bpm >= kMinTempo && bpm < kMaxTempo + 1.0)) {
    tap->writeIndex = 0;
    tap->restart = true;
    return 0;
  }
  const auto whole = static_cast<int32_t>(bpm);
  if (tap->restart) {
    for (int32_t& slot : tap->history) slot = whole;
    tap->restart = false;
  }
  tap->history[tap->writeIndex] = whole;
  tap->writeIndex = (tap->writeIndex + 1) % 4;
  const int32_t tempo = (tap->history[0] + tap->history[1] + tap->history[2] + tap->history[3]) / 4;
  LoopTime_SetTempo(s, tempo);
  return tempo;
}

bool LoopTime_EmptyTakesLastRecording(const LoopTimeState& s, bool toLastRecording) {
  return toLastRecording && s.firstLoopSet && s.lastLoopTime > 0;
}

double LoopTime_EmptyTrackMaxTime(const LoopTimeState& s, bool toLastRecording) {
  return LoopTime_EmptyTakesLastRecording(s, toLastRecording) ? s.lastLoopTime : s.maxManualTime;
}
