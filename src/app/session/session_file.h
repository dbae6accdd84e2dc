#pragma once
// Session files: the whole performance state as one XML file ("<name>.session") with one
// WAV file per non-empty track in the session's loop folder beside it (session_loops.h). The XML holds the mixer, effects, loop-time
// and metronome settings and eight track sections (switches, name, WAV directory
// relative to the session, edit range, the loop time of an empty track).
//
// User-interface thread only; the application's parts named in SessionParts and the
// engine are read and written directly. Every failure is reported through MessageDialog
// by the failing step.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model/effects_panel.h"
#include "app/model/progress_dialog.h"
#include "app/model/loop_time.h"
#include "app/model/metronome_panel.h"
#include "app/model/panel_fields.h"
#include "app/model/session_state.h"
#include "app/strips/track_strips.h"
#include "audio_io/loop_files.h"
#include "persist/setting_table.h"

// The parts of the application a session file holds.
struct SessionParts {
  TrackStrips* tracks = nullptr;
  LoopTimeState* loopTime = nullptr;
  EffectsPanel* effects = nullptr;
  MetronomePanel* metronome = nullptr;
  SessionState* session = nullptr;
  PanelFields* fields = nullptr;
};

inline constexpr const char* kSessionExtension = ".session";
inline constexpr int kSessionProgressRange = 16;  // 8 track sections + 8 WAV files

// A plain file name: not empty, not "." or "..", no directory separator, at most 259
// characters. Track names and quicksave names must be one.
bool SessionFile_IsPlainName(const std::string& name);

// `base` + ".session" (a base that already ends in ".session" is taken as it is).
std::string SessionFile_Path(const std::string& base);

// Saves the session to SessionFile_Path(`base`): the WAV files of the non-empty tracks
// into a new loop folder first, then the XML file naming it (its previous content kept
// as "<name>.bak"); the loop folder the previous save made goes once nothing names it.
// A name field that changed is taken (one extension removed); names that are not plain
// file names become "Track %d"; two tracks of the same name get distinct file names
// ("Name (2)"), stored as their names. A failed save leaves the previous session whole
// and removes what it wrote. On success the session directory is the session file's; on
// failure it is as it was. True when everything was written.
// Waits for the loop files (SessionFileSave does not).
bool SessionFile_Save(const SessionParts& parts, const std::string& base);

// The same save in steps, for the window: the names and the loop folder are settled and
// the session file made at Begin, from the session as it stands then. A thread of its own
// writes the loop files from the loops as they stood then (a take or an edit meanwhile
// changes the track, not the file), then, once they are all on the disk, the session
// file, and removes the loop folders no session names any more. End tells how it went.
// User-interface thread only.
class SessionFileSave {
 public:
  // `wake` is called on the writing thread when the loop files are written.
  SessionFileSave(const SessionParts& parts, const std::string& base, std::function<void()> wake);
  // Waits for the writer.
  ~SessionFileSave();
  SessionFileSave(const SessionFileSave&) = delete;
  SessionFileSave& operator=(const SessionFileSave&) = delete;

  // False when the save failed at once (reported; nothing is left behind).
  bool Begin();
  // The files have been written, or failed: End no longer waits.
  bool Written() const;
  // After a Begin that succeeded: waits for the files, then sets the session and loop
  // directories. True when everything was written; a failure is reported and leaves the
  // previous session whole. Once only.
  bool End();

 private:
  SessionParts parts_;
  std::string path_, directory_, loops_, text_;
  std::function<void()> wake_;
  std::string trackDirectories_[kStripCount];
  std::unique_ptr<LoopFileWrites> writes_;
};

// Loads the session at SessionFile_Path(`base`). The file is checked whole before
// anything is applied: a file that cannot be read or parsed changes nothing. Then the
// transport stops, the settings and track switches are applied (measures that would give
// a loop outside the loop-time range are ignored), each track's WAV file loaded (a missing one
// offered to be located; failing that the track is left empty with its default name),
// the edit ranges and empty tracks' loop times applied, the record track selected and
// the undo history cleared; what an interrupted save left beside it is removed. True
// when loaded.
// Waits for every loop file, for a caller that has nothing else to do.
bool SessionFile_Load(const SessionParts& parts, const std::string& base, bool showProgress);

// The same load in steps, for the window: each track's questions and messages come on
// the user-interface thread in the same order, but its samples are read on a thread of
// their own, so the window keeps running in between. User-interface thread only.
class SessionFileLoad {
 public:
  // `wake` is called on the reading thread when a file has been read.
  SessionFileLoad(const SessionParts& parts, const std::string& base, bool showProgress, std::function<void()> wake);
  // A read still running is stopped; its track keeps what it held.
  ~SessionFileLoad();
  SessionFileLoad(const SessionFileLoad&) = delete;
  SessionFileLoad& operator=(const SessionFileLoad&) = delete;

  // Goes on as far as it can: true once the load has ended (Loaded then says how). Until
  // then it returns whenever a file is still being read, unless `wait` asks it to wait.
  bool Advance(bool wait);
  bool Loaded() const { return loaded_; }
  // Stops the read under way and skips the files not yet read: those tracks are left
  // empty, as for a missing file, and the rest of the session is applied. The progress
  // window's Cancel button asks the same.
  void Cancel();
  bool Cancelled() const { return cancelled_; }

 private:
  enum class Step { Begin, Tracks, Ended };
  bool Begin();
  void StartTrack();
  void FinishTrack();
  void ClearTrack(int i);
  void TrackDone();
  bool End();

  SessionParts parts_;
  std::string path_;
  bool showProgress_;
  std::function<void()> wake_;
  Step step_ = Step::Begin;
  int track_ = 0;
  int emptyInFile_[kStripCount] = {};
  std::string wanted_;
  std::unique_ptr<LoopFileRead> read_;
  std::optional<ProgressWindow> progress_;
  bool cancelled_ = false;
  bool loaded_ = false;
};

// The row tables, for tests: 43 session rows, 13 + 3 track rows, and the two read passes.
SettingTable SessionFile_SessionRows();
SettingTable SessionFile_TrackRows();
SettingTable SessionFile_TrackRowsAfterAudio();
SettingTable SessionFile_FirstPass();
SettingTable SessionFile_SecondPass();

// Writes the loop-time, tempo and delay-time fields of the panel into the settings
// without re-sizing any loop (saving never changes a recording).
void SessionFile_CommitPanelFields(const SessionParts& parts);
// Puts the panel's fields and the metronome length in step with the settings.
void SessionFile_RefreshPanel(const SessionParts& parts);
