#include "app/session/session_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <utility>

#include "app/model/progress_dialog.h"
#include "app/session/session_loops.h"
#include "app/settings/preferences.h"
#include "app/strips/loop_strip.h"
#include "audio_io/file_replace.h"
#include "audio_io/loop_files.h"
#include "engine/audio.h"
#include "engine/effects_ops.h"
#include "engine/loop_ops.h"
#include "engine/message_dialog.h"
#include "engine/metronome.h"
#include "engine/undo.h"
#include "persist/xml_read_state.h"
#include "persist/xml_reader.h"
#include "persist/xml_writer.h"

namespace fs = std::filesystem;

namespace {

// The parts the rows read and write while a session file is written or read.
const SessionParts* g_parts = nullptr;
// Per load: the `empty` value each track section gave (-1: none), and whether a ninth
// track section has been reported.
int g_emptyInFile[kStripCount];
bool g_reportedInvalidTrack = false;
ProgressWindow* g_progress = nullptr;

struct BindParts {
  explicit BindParts(const SessionParts& parts) { g_parts = &parts; }
  ~BindParts() { g_parts = nullptr; }
};

const SessionParts& Parts() { return *g_parts; }
EffectsPanel* Fx() { return g_parts->effects; }
LoopStrip& S(int i) { return g_parts->tracks->strips[i]; }
StripIndex Strip(int i) { return StripIndex{i}; }
int Slot(int i) { return g_parts->tracks->strips[i].slot; }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

int Clamp127(int v) { return std::clamp(v, 0, 127); }
// An engine value 0..1 as a slider position; a position p stored as p / 127 comes back
// as p.
int Position(double v) { return Xml_TruncateToInt(v * 127.0 + 1e-9); }

// ---- Session-level rows ----

#define FX_BOOL(key, member, setter)                                            \
  SettingDescriptor {                                                           \
    .name = key, .setInteger = [](int v) { setter(Fx(), v != 0); },             \
    .getInteger = []() -> int { return Fx()->member ? 1 : 0; }                  \
  }
#define FX_POSITION(key, member, setter)                                        \
  SettingDescriptor {                                                           \
    .name = key, .setInteger = [](int v) { setter(Fx(), Clamp127(v)); },        \
    .getInteger = []() -> int { return Fx()->member; }                          \
  }
#define FX_CHANNEL(key, member, setter, channel)                                \
  SettingDescriptor {                                                           \
    .name = key, .setInteger = [](int v) { setter(Fx(), channel, Clamp127(v)); }, \
    .getInteger = []() -> int { return Fx()->member[channel]; }                 \
  }
#define SUBMIX_VOLUME(key, i)                                                   \
  SettingDescriptor {                                                           \
    .name = key, .setReal = [](double v) { Audio_SetSubmixVolume(i, v); },      \
    .getReal = [] { return Audio_GetEngine()->submixVolume[i].load(); }         \
  }
#define DELAY_TIME(key, channel)                                                \
  SettingDescriptor {                                                           \
    .name = key,                                                                \
    .setInteger = [](int v) { EffectsPanel_SetDelayMilliseconds(Fx(), channel, v); }, \
    .getInteger = [] { return Xml_TruncateToInt(Audio_GetDelayTime(channel) * 1000.01); } \
  }

// ---- Track rows ----

#define TRACK_SWITCH(key, member, setter)                                          \
  SettingDescriptor {                                                              \
    .name = key, .setIndexedInteger = [](int i, int v) { setter(g_parts->tracks, Strip(i), v != 0); }, \
    .getIndexedInteger = [](int i) -> int { return S(i).member ? 1 : 0; }          \
  }
#define TRACK_POSITION(key, member, setter)                                        \
  SettingDescriptor {                                                              \
    .name = key, .setIndexedInteger = [](int i, int v) { setter(g_parts->tracks, Strip(i), v); }, \
    .getIndexedInteger = [](int i) -> int { return S(i).member; }                  \
  }

// The path of a track's directory as written: relative to the session directory, or
// the directory itself when it has no relative form.
std::string RelativeDirectory(const std::string& directory) {
  if (directory.empty()) return ".";
  const fs::path relative = fs::path(directory).lexically_relative(Parts().session->directory);
  return relative.empty() ? directory : relative.string();
}

// The name of a track's loop file as the session stores it. Only a ".wav" an older file
// may carry is removed: the stored name is already without extension, and cutting again
// would lose "drums.v2" to "drums". An empty name keeps the track's default one.
void ReadName(int i, const std::string& text) {
  std::string name = text;
  if (name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".wav") name.resize(name.size() - 4);
  if (!LoopStrip_CleanName(name).empty()) LoopStrip_KeepName(g_parts->tracks, Strip(i), name);
}

// Tempo and the maximum manual time outside what the panel accepts are ignored, as the
// loop time is: no working session holds them, and the metronome could not follow.
bool InTempoRange(double bpm) { return bpm >= 20.0 && bpm <= 300.0; }
bool InLoopRange(double seconds) { return seconds >= MIN_LOOP_SECONDS && seconds <= MAX_LOOP_SECONDS; }

// Edit range ends are written in seconds with six decimals; reading takes the nearest
// frame, so every frame of every rate comes back exactly. Times no loop can reach are
// kept just outside the loop range, where the engine clamps them, so that no later
// conversion to frames overflows.
double NearestFrameSeconds(double seconds) {
  const double rate = Audio_GetEngine()->sampleRate;
  const double frame = std::round(std::clamp(seconds, -1.0, MAX_LOOP_SECONDS + 1.0) * rate);
  return (frame + 0.5) / rate;
}

// The loop time of an empty track, to the nearest frame; a loop already that long stays.
void SetEmptyTrackTime(int i, double seconds) {
  if (!InLoopRange(seconds) || !S(i).empty) return;
  const double exact = NearestFrameSeconds(seconds);
  const auto frames = static_cast<int32_t>(exact * Audio_GetEngine()->sampleRate);
  if (frames != Audio_GetLoopLength(Slot(i))) LoopStrip_Recreate(g_parts->tracks, Strip(i), exact, true);
  Audio_SetLoopSelection(Slot(i), 1);
}


const SettingDescriptor kRows[] = {
    // ---- First pass: track rows (13), then the session rows (43) ----
    {.name = "track"},
    {.name = "path",
     .setText =
         [](int i, const std::string& t) {
           if (Xml_ReadState().textLength < 260) LoopStrip_SetDirectory(g_parts->tracks, Strip(i), t, g_parts->session->directory);
         },
     .getText = [](int i) { return RelativeDirectory(S(i).directory); }},
    {.name = "name",
     .setText = [](int i, const std::string& t) { ReadName(i, t); },
     .getText = [](int i) { return S(i).name; }},
    {.name = "solo",
     .setIndexedInteger = [](int i, int v) { LoopStrip_SetSolo(g_parts->tracks, Strip(i), v != 0, false); },
     .getIndexedInteger = [](int i) -> int { return S(i).solo ? 1 : 0; }},
    TRACK_SWITCH("mute", mute, LoopStrip_SetMute),
    {.name = "empty",
     .setIndexedInteger =
         [](int i, int v) {
           g_emptyInFile[i] = v != 0 ? 1 : 0;
           S(i).empty = v != 0;
         },
     .getIndexedInteger = [](int i) -> int { return S(i).empty ? 1 : 0; }},
    {.name = "record",
     .setIndexedInteger =
         [](int i, int v) {
           if (v != 0) Parts().tracks->current = i;
         },
     .getIndexedInteger = [](int i) -> int { return i == Parts().tracks->current ? 1 : 0; }},
    TRACK_SWITCH("slow", slow, LoopStrip_SetSlow),
    TRACK_SWITCH("reverse", reverse, LoopStrip_SetReverse),
    {.name = "submix",
     .setIndexedInteger = [](int i, int v) { LoopStrip_SetSubmix(g_parts->tracks, Strip(i), v != 0 ? 1 : 0); },
     .getIndexedInteger = [](int i) { return S(i).submix; }},
    TRACK_SWITCH("effects", effects, LoopStrip_SetEffects),
    TRACK_POSITION("effects_mix", effectsMix, LoopStrip_SetEffectsMix),
    TRACK_POSITION("volume", volume, LoopStrip_SetVolume),
    TRACK_POSITION("pan", pan, LoopStrip_SetPan),

    FX_BOOL("filter_link", filterLink, EffectsPanel_SetFilterLink),
    FX_BOOL("filter_lfo_link", lfoLink, EffectsPanel_SetLfoLink),
    {.name = "filter_mode",
     .setInteger = [](int v) { EffectsPanel_SetFilterMode(Fx(), v); },
     .getInteger = [] { return Fx()->filterMode; }},
    FX_BOOL("filter_enable", filterEnabled, EffectsPanel_EnableFilter),
    FX_BOOL("filter_lfo_enable", lfoEnabled, EffectsPanel_EnableLfo),
    FX_CHANNEL("filter_left_frequency", filterFrequency, EffectsPanel_SetFilterFrequency, 0),
    FX_CHANNEL("filter_right_frequency", filterFrequency, EffectsPanel_SetFilterFrequency, 1),
    FX_CHANNEL("filter_left_resonance", filterResonance, EffectsPanel_SetFilterResonance, 0),
    FX_CHANNEL("filter_right_resonance", filterResonance, EffectsPanel_SetFilterResonance, 1),
    FX_CHANNEL("filter_left_rate", lfoRate, EffectsPanel_SetLfoRate, 0),
    FX_CHANNEL("filter_right_rate", lfoRate, EffectsPanel_SetLfoRate, 1),
    FX_CHANNEL("filter_left_depth", lfoDepth, EffectsPanel_SetLfoDepth, 0),
    FX_CHANNEL("filter_right_depth", lfoDepth, EffectsPanel_SetLfoDepth, 1),
    FX_BOOL("filter_pre_loop", filterPreLoop, EffectsPanel_SetFilterPreLoop),
    FX_BOOL("reverb_enable", reverbEnabled, EffectsPanel_EnableReverb),
    FX_POSITION("reverb_length", reverbLength, EffectsPanel_SetReverbLength),
    FX_POSITION("reverb_mix", reverbMix, EffectsPanel_SetReverbMix),
    FX_POSITION("reverb_damping", reverbDamping, EffectsPanel_SetReverbDamping),
    {.name = "loop_time",
     .setReal = [](double v) { LoopTime_SetLoopTime(Parts().loopTime, v); },
     .getReal = [] { return Parts().loopTime->loopTime; }},
    {.name = "loop_tempo",
     .setReal =
         [](double v) {
           if (!InTempoRange(v)) return;
           LoopTime_SetTempo(Parts().loopTime, v);
           Fx()->tempo = v;  // the delay times, read later, sync to it
         },
     .getReal = [] { return Parts().loopTime->tempo; }},
    {.name = "loop_measures",
     .setInteger =
         [](int v) {
           if (v >= 1) LoopTime_SetMeasures(Parts().loopTime, v);
         },
     .getInteger = [] { return Parts().loopTime->measures; }},
    {.name = "looptime_mode",
     .setInteger = [](int v) { LoopTime_SetMode(Parts().loopTime, v); },
     .getInteger = [] { return Parts().loopTime->mode; }},
    {.name = "loop_max_manual_time",
     .setReal =
         [](double v) {
           if (InLoopRange(v)) LoopTime_SetMaxManualTime(Parts().loopTime, v);
         },
     .getReal = [] { return Parts().loopTime->maxManualTime; }},
    {.name = "loop_beats_per_measure",
     .setInteger =
         [](int v) {
           if (LoopTime_SetBeatsPerMeasure(Parts().loopTime, v)) Fx()->beatsPerMeasure = v;
         },
     .getInteger = [] { return Parts().loopTime->beatsPerMeasure; }},
    {.name = "feedback",
     .setInteger = [](int v) { LoopStrip_SetFeedback(g_parts->tracks, v); },
     .getInteger = [] { return Parts().tracks->feedback; }},
    {.name = "master_volume",
     .setReal = [](double v) { Audio_SetMasterVolume(v); },
     .getReal = [] { return Audio_GetMasterVolume(); }},
    SUBMIX_VOLUME("submix_a_volume", 0),
    SUBMIX_VOLUME("submix_b_volume", 1),
    {.name = "metronome_record",
     .setInteger =
         [](int v) {
           Audio_SetMetronomeRecord(v != 0);
           Parts().metronome->recordBox = v != 0;
         },
     .getInteger = [] { return Audio_GetMetronomeRecord(); }},
    {.name = "metronome_playback",
     .setInteger =
         [](int v) {
           Audio_SetMetronomePlayback(v != 0);
           Parts().metronome->playBox = v != 0;
         },
     .getInteger = [] { return Audio_GetMetronomePlayback(); }},
    {.name = "metronome_volume",
     .setInteger =
         [](int v) {
           Parts().metronome->volume = Clamp127(v);
           Audio_SetMetronomeVolume(Parts().metronome->volume / 127.0);
         },
     .getInteger = [] { return Parts().metronome->volume; }},
    {.name = "metronome_pan",
     .setInteger = [](int v) { Audio_SetMetronomePan(Clamp127(v) / 127.0); },
     .getInteger = [] { return Position(Audio_GetMetronomePan()); }},
    {.name = "metronome_max",
     .setInteger = [](int v) { Audio_SetMetronomeMax(v); },
     .getInteger = [] { return Audio_GetMetronomeMax(); }},
    {.name = "metronome_countoff",
     .setInteger = [](int v) { Audio_SetMetronomeCountoff(v); },
     .getInteger = [] { return Audio_GetMetronomeCountoff(); }},
    FX_BOOL("delay_enable", delayEnabled, EffectsPanel_EnableDelay),
    FX_BOOL("delay_link", delayLink, EffectsPanel_SetDelayLink),
    {.name = "delay_mode",
     .setInteger =
         [](int v) {
           if (v == 0 || v == 1) EffectsPanel_SetDelayMode(Fx(), v == 1);
         },
     .getInteger = []() -> int { return Fx()->delayCrossMode ? 1 : 0; }},
    FX_BOOL("delay_sync", delaySync, EffectsPanel_SetDelaySync),
    DELAY_TIME("delay_left_time", 0),
    DELAY_TIME("delay_right_time", 1),
    FX_CHANNEL("delay_left_feedback", delayFeedback, EffectsPanel_SetDelayFeedback, 0),
    FX_CHANNEL("delay_right_feedback", delayFeedback, EffectsPanel_SetDelayFeedback, 1),
    FX_POSITION("delay_mix", delayMix, EffectsPanel_SetDelayMix),

    // ---- Second pass: after the WAV files have given each track its length ----
    {.name = "track"},
    {.name = "edit_begin",
     .setIndexedReal = [](int i, double v) { Audio_SetEditBegin(Slot(i), NearestFrameSeconds(v)); },
     .getIndexedReal = [](int i) { return Audio_GetEditBeginSeconds(Slot(i)); }},
    {.name = "edit_end",
     .setIndexedReal = [](int i, double v) { Audio_SetEditEnd(Slot(i), NearestFrameSeconds(v)); },
     .getIndexedReal = [](int i) { return Audio_GetEditEndSeconds(Slot(i)); }},
    {.name = "track_empty_time",
     .setIndexedReal = [](int i, double v) { SetEmptyTrackTime(i, v); },
     .getIndexedReal = [](int i) { return Audio_GetLoopSeconds(Slot(i)); }},
};

constexpr int kRowCount = static_cast<int>(sizeof kRows / sizeof kRows[0]);
constexpr int kTrackRowCount = 13;
constexpr int kSessionRowCount = 43;
constexpr int kFirstPassCount = 1 + kTrackRowCount + kSessionRowCount;
constexpr int kSecondPassCount = 4;
static_assert(kRowCount == kFirstPassCount + kSecondPassCount);

bool IsTrackRow(const SettingDescriptor& row) {
  return row.setIndexedInteger || row.setIndexedReal || row.setText;
}

const SettingDescriptor* FindRow(SettingTable table, const char* name) {
  for (int r = 0; r < table.count; ++r)
    if (std::strcmp(table.rows[r].name, name) == 0) return &table.rows[r];
  return nullptr;
}

// ---- Reading ----

void StartElement(void*, const char* name, const char**) { XmlReadState_StartElement(name); }
void Text(void*, const char* text, int length) { XmlReadState_Text(text, length); }

// A `track` end tag moves to the next track; a track row of a ninth section is refused
// (reported once per load, however many such sections the file holds).
void EndElement(void*, const char* name) {
  XmlReadState_EndElement();
  XmlReadState& state = Xml_ReadState();
  int& track = *state.index;
  if (std::strcmp(name, "track") == 0) {
    if (track < kStripCount) {
      ++track;
      if (g_progress) g_progress->Step();
    }
    return;
  }
  const SettingDescriptor* row = FindRow(state.table, name);
  if (!row) return;
  if (IsTrackRow(*row) && track >= kStripCount) {
    if (!g_reportedInvalidTrack) MessageDialog_Show(nullptr, "Invalid loop track", "Error");
    g_reportedInvalidTrack = true;
    return;
  }
  XmlReadState_ApplyRow(name);
}

constexpr XmlHandlers kSessionHandlers{StartElement, EndElement, Text};
constexpr XmlHandlers kCheckHandlers{Xml_StartElementHandler, Xml_EndElementHandler,
                                     Xml_CharacterDataHandler};

const XmlReadMessages kReadMessages{"Couldn't open session file.",
                                    "Couldn't seek in session file.",
                                    "bad file size in session file.",
                                    "Couldn't seek to start of session file.",
                                    "Error parsing session file.",
                                    "File error",
                                    "XML error"};

// The state a load starts from once the file's bytes are in memory: the session
// directory is the file's, every track empty with its default name.
struct LoadStart {
  const SessionParts* parts;
  std::string directory;
};

void StartLoad(void* context) {
  auto* start = static_cast<LoadStart*>(context);
  const SessionParts& parts = *start->parts;
  parts.session->directory = start->directory;
  for (int i = 0; i < kStripCount; ++i) {
    parts.tracks->strips[i].empty = true;
    parts.tracks->strips[i].directory = start->directory;
    LoopStrip_SetName(parts.tracks, Strip(i), LoopStrip_DefaultName(Strip(i)));
    g_emptyInFile[i] = -1;
  }
}

// ---- Writing ----

// File names compare without regard to case, so that a session on a file system that
// folds case keeps its tracks apart too.
bool NameTaken(const std::string& name, const std::string* names, int count) {
  const std::string wanted = Lower(name);
  for (int k = 0; k < count; ++k)
    if (Lower(names[k]) == wanted) return true;
  return false;
}

std::string SessionText() {
  std::string text;
  text.reserve(8192);
  Xml_AppendPrologue(text, "Kestrine Session");
  text += "<session>\n\n";
  Xml_AppendRows(text, SessionFile_SessionRows(), "\t");
  text += "\n";
  for (int i = 0; i < kStripCount; ++i) {
    text += "\t<track>\n";
    Xml_AppendIndexedRows(text, SessionFile_TrackRows(), i, "\t\t");
    Xml_AppendIndexedRows(text, SessionFile_TrackRowsAfterAudio(), i, "\t\t");
    text += "\t</track>\n\n";
  }
  text += "</session>\n";
  return text;
}

std::string FormatNumber(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0");
}

std::string FormatFixed(double value) {
  std::string text;
  Xml_AppendReal(text, value);
  return text;
}

}  // namespace

bool SessionFile_IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= kMaxPathChars &&
         name.find('/') == std::string::npos && name.find('\\') == std::string::npos;
}

std::string SessionFile_Path(const std::string& base) {
  const std::string extension = kSessionExtension;
  if (base.size() >= extension.size() &&
      Lower(base.substr(base.size() - extension.size())) == extension)
    return base;
  return base + extension;
}

SettingTable SessionFile_SessionRows() { return {kRows + 1 + kTrackRowCount, kSessionRowCount}; }
SettingTable SessionFile_TrackRows() { return {kRows + 1, kTrackRowCount}; }
SettingTable SessionFile_TrackRowsAfterAudio() { return {kRows + kFirstPassCount + 1, kSecondPassCount - 1}; }
SettingTable SessionFile_FirstPass() { return {kRows, kFirstPassCount}; }
SettingTable SessionFile_SecondPass() { return {kRows + kFirstPassCount, kSecondPassCount}; }

void SessionFile_CommitPanelFields(const SessionParts& parts) {
  const PanelFields& field = *parts.fields;
  LoopTimeSettings& lt = *parts.loopTime;
  switch (lt.mode) {
    case LoopTimeSeconds: LoopTime_ApplyLoopTimeField(&lt, field[PanelField::Seconds]); break;
    case LoopTimeMeasures: LoopTime_ApplyMeasuresField(&lt, field[PanelField::Measures]); break;
    default: LoopTime_ApplyMaxManualTimeField(&lt, field[PanelField::MaxTime]); break;
  }
  if (LoopTime_ApplyTempoFields(&lt, field[PanelField::Tempo], field[PanelField::Beats]))
    EffectsPanel_ApplyTempo(parts.effects, lt.tempo, lt.beatsPerMeasure);
  for (int c = 0; c < 2; ++c) {
    const std::string& text = field[c == 0 ? PanelField::DelayLeft : PanelField::DelayRight];
    int ms = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), ms);
    if (result.ec == std::errc() && ms != parts.effects->delayMilliseconds[c])
      EffectsPanel_SetDelayMilliseconds(parts.effects, c, ms);
  }
}

void SessionFile_RefreshPanel(const SessionParts& parts) {
  PanelFields& field = *parts.fields;
  const LoopTimeSettings& lt = *parts.loopTime;
  field[PanelField::Seconds] = FormatFixed(lt.loopTime);
  field[PanelField::Measures] = std::to_string(lt.measures);
  field[PanelField::MaxTime] = FormatFixed(lt.maxManualTime);
  field[PanelField::Tempo] = FormatNumber(lt.tempo);
  field[PanelField::Beats] = std::to_string(lt.beatsPerMeasure);
  field[PanelField::Countoff] = std::to_string(Audio_GetMetronomeCountoff());
  field[PanelField::MuteAfter] = std::to_string(Audio_GetMetronomeMax());
  field[PanelField::DelayLeft] = std::to_string(parts.effects->delayMilliseconds[0]);
  field[PanelField::DelayRight] = std::to_string(parts.effects->delayMilliseconds[1]);
  for (int i = 0; i < kStripCount; ++i) parts.tracks->nameFields[i] = parts.tracks->strips[i].name;
  Audio_SetMetronomeTime(LoopTime_MeasureSeconds(lt), lt.beatsPerMeasure, false);
}

SessionFileSave::SessionFileSave(const SessionParts& parts, const std::string& base, std::function<void()> wake)
    : parts_(parts), path_(SessionFile_Path(base)), wake_(std::move(wake)) {}

SessionFileSave::~SessionFileSave() = default;

bool SessionFileSave::Begin() {
  directory_ = fs::path(path_).parent_path().string();
  if (directory_.empty()) directory_ = ".";
  BindParts bind(parts_);

  // The names from the name fields; what is not a plain file name becomes "Track %d".
  bool anyAudio = false;
  for (int i = 0; i < kStripCount; ++i) {
    LoopStrip_TakeNameField(parts_.tracks, Strip(i));
    if (!SessionFile_IsPlainName(parts_.tracks->strips[i].name))
      LoopStrip_KeepName(parts_.tracks, Strip(i), LoopStrip_DefaultName(Strip(i)));
    anyAudio = anyAudio || !parts_.tracks->strips[i].empty;
  }

  // Every loop into a folder no session names yet; the session file names it once all
  // of them are on the disk.
  loops_ = anyAudio ? SessionLoops_NewFolder(path_) : std::string();
  std::error_code ec;
  if (anyAudio && !fs::create_directory(loops_, ec)) {
    MessageDialog_Show(nullptr, "Unable to create directory:\n" + loops_, "File Error");
    return false;
  }
  std::string written[kStripCount];
  int count = 0;
  std::vector<LoopFileWrite> files;
  for (int i = 0; i < kStripCount; ++i) {
    LoopStrip& s = parts_.tracks->strips[i];
    if (s.empty) continue;
    std::string name = s.name;
    for (int n = 2; NameTaken(name, written, count); ++n) name = s.name + " (" + std::to_string(n) + ")";
    written[count++] = name;
    files.push_back({s.slot, (fs::path(loops_) / (name + ".wav")).string()});
    LoopStrip_KeepName(parts_.tracks, Strip(i), name);
  }

  // The session file is made now, from the session as it stands while its loops are
  // taken: what changes during the writing is not half in it.
  const std::string previousDirectory = parts_.session->directory;
  std::string previous[kStripCount];
  for (int i = 0; i < kStripCount; ++i) {
    previous[i] = parts_.tracks->strips[i].directory;
    trackDirectories_[i] = parts_.tracks->strips[i].empty ? directory_ : loops_;
    parts_.tracks->strips[i].directory = trackDirectories_[i];
  }
  parts_.session->directory = directory_;
  text_ = SessionText();
  for (int i = 0; i < kStripCount; ++i) parts_.tracks->strips[i].directory = previous[i];
  parts_.session->directory = previousDirectory;

  // Once every loop is on the disk the writer puts the session file beside them, then
  // removes what no session names any more (worked out here: only this thread reads
  // session files).
  const SessionLoopsLeftovers leftovers = SessionLoops_Leftovers(path_, &loops_);
  const auto writeSessionFile = [path = path_, text = text_, leftovers] {
    Xml_TakeBackup(path, fs::path(path).replace_extension(".bak").string());
    if (!Xml_ReplaceFile(path, text)) return false;
    SessionLoops_RemoveLeftovers(leftovers);
    return true;
  };
  writes_ = Audio_StartLoopWrites(std::move(files), anyAudio ? loops_ : std::string(), writeSessionFile, wake_);
  if (!writes_) {
    if (anyAudio) SessionLoops_Remove(loops_);
    MessageDialog_Show(nullptr, "Unable to write loop file:\n" + loops_, "File Error");
    return false;
  }
  return true;
}

bool SessionFileSave::Written() const { return !writes_ || writes_->Done(); }

bool SessionFileSave::End() {
  if (!writes_) return false;
  writes_->Wait();
  const bool failed = writes_->Failed() >= 0;
  const std::string file = writes_->FailedPath();  // empty when the session file failed
  writes_.reset();
  if (failed) {
    if (!loops_.empty()) SessionLoops_Remove(loops_);
    if (!file.empty())
      MessageDialog_Show(nullptr, "Unable to write loop file:\n" + file, "File Error");
    else
      MessageDialog_Show(nullptr, "Unable to open session XML file for writing.", "File Error");
    return false;
  }
  for (int i = 0; i < kStripCount; ++i) parts_.tracks->strips[i].directory = trackDirectories_[i];
  parts_.session->directory = directory_;
  return true;
}

bool SessionFile_Save(const SessionParts& parts, const std::string& base) {
  SessionFileSave save(parts, base, nullptr);
  return save.Begin() && save.End();
}

SessionFileLoad::SessionFileLoad(const SessionParts& parts, const std::string& base, bool showProgress,
                                 std::function<void()> wake)
    : parts_(parts), path_(SessionFile_Path(base)), showProgress_(showProgress), wake_(std::move(wake)) {}

SessionFileLoad::~SessionFileLoad() {
  if (read_) read_->Cancel();
}

void SessionFileLoad::Cancel() {
  cancelled_ = true;
  if (read_ && !read_->Done()) read_->Cancel();  // a file already read is kept
}

bool SessionFileLoad::Begin() {
  // The whole file is read and parsed once before anything is applied, so that a file
  // that cannot be read or is not well formed leaves the session as it was.
  if (Xml_ReadFile(path_, kReadMessages, kCheckHandlers, {}, nullptr) != XmlRead_Done) return false;

  Audio_StopLooping();  // every track back to its start before the session replaces them
  BindParts bind(parts_);
  progress_.emplace(showProgress_, "Loading " + fs::path(path_).stem().string() + " session", kSessionProgressRange);
  g_progress = &*progress_;
  g_reportedInvalidTrack = false;
  const std::string directory = fs::path(path_).parent_path().string();
  LoadStart start{&parts_, directory.empty() ? std::string(".") : directory};
  const int32_t measures = parts_.loopTime->measures;
  int track = 0;
  const XmlReadResult first =
      Xml_ReadFile(path_, kReadMessages, kSessionHandlers, SessionFile_FirstPass(), &track, StartLoad, &start);
  g_progress = nullptr;
  // Measures the panel would refuse: the loop they give is outside the loop-time range
  // at the file's tempo and beats.
  if (!InLoopRange(LoopTime_MeasuresSeconds(*parts_.loopTime))) parts_.loopTime->measures = measures;
  std::copy(std::begin(g_emptyInFile), std::end(g_emptyInFile), std::begin(emptyInFile_));
  return first == XmlRead_Done;
}

void SessionFileLoad::ClearTrack(int i) {
  LoopStrip& s = parts_.tracks->strips[i];
  Audio_EraseLoop(s.slot, 0);
  s.empty = true;
  LoopStrip_SetName(parts_.tracks, Strip(i), LoopStrip_DefaultName(Strip(i)));
}

void SessionFileLoad::TrackDone() {
  Audio_SetLoopSelection(parts_.tracks->strips[track_].slot, 1);
  progress_->Step();
  ++track_;
}

void SessionFileLoad::StartTrack() {
  const int i = track_;
  LoopStrip& s = parts_.tracks->strips[i];
  const Preferences& prefs = App_Preferences();
  // A track the file says is empty is not looked for, nor one the user gave up on: a
  // stale WAV file of an earlier save must not come back in its place.
  if (emptyInFile_[i] == 1 || cancelled_) {
    ClearTrack(i);
    TrackDone();
    return;
  }
  const std::string directory = s.directory.empty() ? parts_.session->directory : s.directory;
  wanted_ = (fs::path(directory) / (s.name + ".wav")).string();
  // Only a file that cannot be opened is offered for locating: one that opened was
  // refused for what it holds (its message shown), and a second try would say so twice.
  bool notOpened = false;
  read_ = Audio_StartLoopRead(s.slot, wanted_.c_str(), 1, prefs.warn_file_load, prefs.warn_sample_rate, false, wake_,
                              &notOpened);
  if (!read_ && notOpened && !s.empty)
    read_ = Audio_StartLoopRead(s.slot, wanted_.c_str(), 1, prefs.warn_file_load, prefs.warn_sample_rate, true, wake_);
  if (!read_) {
    ClearTrack(i);
    TrackDone();
  }
}

void SessionFileLoad::FinishTrack() {
  const int i = track_;
  LoopStrip& s = parts_.tracks->strips[i];
  const std::string loaded = read_->Finish();
  read_.reset();
  if (loaded.empty()) {
    ClearTrack(i);
  } else {
    if (loaded != wanted_) {
      LoopStrip_SetName(parts_.tracks, Strip(i), fs::path(loaded).filename().string());
      s.directory = fs::path(loaded).parent_path().string();
    }
    s.empty = false;
  }
  TrackDone();
}

bool SessionFileLoad::End() {
  // The edit ranges need the new lengths: every loaded buffer must be in place.
  for (int i = 0; i < kStripCount; ++i) Audio_WaitForSwap(parts_.tracks->strips[i].slot);
  BindParts bind(parts_);
  g_progress = &*progress_;
  int track = 0;
  const XmlReadResult second =
      Xml_ReadFile(path_, kReadMessages, kSessionHandlers, SessionFile_SecondPass(), &track);
  g_progress = nullptr;
  progress_.reset();
  if (second != XmlRead_Done) return false;

  const int slot = TrackStrips_CurrentSlot(parts_.tracks);
  Audio_SelectRecordTrack(slot);
  Audio_SetLatentInputTrack(slot);
  Audio_ResetUndo();
  SessionFile_RefreshPanel(parts_);
  SessionLoops_Clean(path_);  // what a save cut short left behind
  return true;
}

bool SessionFileLoad::Advance(bool wait) {
  if (step_ == Step::Ended) return true;
  if (step_ == Step::Begin) {
    if (!Begin()) {
      progress_.reset();
      step_ = Step::Ended;
      return true;
    }
    step_ = Step::Tracks;
  }
  while (track_ < kStripCount) {
    if (progress_->Cancelled()) Cancel();
    if (!read_) {
      StartTrack();
      continue;
    }
    if (!wait && !read_->Cancelled() && !read_->Done()) return false;
    FinishTrack();
  }
  loaded_ = End();
  step_ = Step::Ended;
  return true;
}

bool SessionFile_Load(const SessionParts& parts, const std::string& base, bool showProgress) {
  SessionFileLoad load(parts, base, showProgress, nullptr);
  load.Advance(true);
  return load.Loaded();
}
