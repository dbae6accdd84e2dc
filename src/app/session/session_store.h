#pragma once
// The application's session store: sessions with their MIDI control files, the eight
// numbered quicksaves and named quicksaves, the default session in ConfigDirectory and
// the in-progress save of the fatal-error path. User-interface thread only.
//
// A quicksave named X is the folder "<base>/X" holding X.session, X_Midi.xml and the
// tracks' WAV files; the base is the quicksave_directory preference, or when that is empty the user's
// data folder (the configuration folder of a portable program). Numbered quicksave N is saved and loaded as
// "<base>/QuicksaveNN/QuicksaveNN" (NN = 01..08), one spelling for both.
#include <string>

#include "app/app_host.h"
#include "app/session/session_file.h"

inline constexpr const char* kDefaultSessionName = "Default";
inline constexpr const char* kInProgressName = "InProgress";

// "Quicksave01" .. "Quicksave08"; empty outside 1..8.
std::string Quicksave_NumberedName(int number);
// The quicksave base directory of the preferences.
std::string Quicksave_BaseDirectory();
// ConfigDirectory + "/Default": the default session, without extension.
std::string Session_DefaultBase();

// The name dialog's rule for the text in its field when OK is pressed: null to accept,
// otherwise the message to show (caption "Error") while the dialog stays open. A name of
// 260 characters or more also empties the field.
const char* QuicksaveName_Check(const std::string& text);
// The name the dialog starts with: the last one quicksaved.
const std::string& Quicksave_LastName();

// The name a quicksave given as `given` is stored under: one extension removed. Empty when
// that is no plain file name: a name holding a path separator or "..", or an absolute
// path, would write outside the base directory.
std::string Quicksave_StoredName(const std::string& given);

// A quicksave of the current session under Quicksave_StoredName(`name`) in `base` (empty:
// the quicksave base directory). `interactive` reports a folder that cannot be made and
// confirms the save when done; `confirmOverwrite` asks before replacing an existing folder
// (while warn_quicksave is on). An empty or refused name is reported and nothing is
// written. Naming the session after the quicksave is the caller's.
bool Session_Quicksave(const SessionParts& parts, const std::string& base, const std::string& name,
                       bool interactive, bool confirmOverwrite);
// The same quicksave in steps: what is asked and checked comes at once; the loop files
// are written off the user-interface thread (see SessionFileSave).
std::unique_ptr<SessionSaving> Session_StartQuicksave(const SessionParts& parts, const std::string& base,
                                                      const std::string& name, bool interactive,
                                                      bool confirmOverwrite);

// Loads quicksave N with the progress window and its MIDI control file. False for N
// outside 1..8 or when not loaded. The questions before and the state after a load are
// the caller's (the shell's SessionLoaded).
bool Session_LoadQuicksave(const SessionParts& parts, int number);

// Saves the default session (no MIDI control file) and SysConfig.xml; the session is
// then clean. True only when both were written. The session directory stays the one in
// use, so the next "Save Session" writes where it did before.
bool Session_SaveDefault(const SessionParts& parts);
// Loads the default session, when it exists, with its MIDI control file. True when loaded.
bool Session_LoadDefault(const SessionParts& parts);

// The SessionStore the application calls: files only, no questions and no window.
class AppSessionStore final : public SessionStore {
 public:
  explicit AppSessionStore(const SessionParts& parts) : parts_(parts) {}
  // The session and then its MIDI control file.
  bool Save(const std::string& base) override;
  // The same, with the loop files written off the user-interface thread.
  std::unique_ptr<SessionSaving> StartSave(const std::string& base) override;
  // The session with the progress window, then its MIDI control file (quietly).
  bool Load(const std::string& base) override;
  bool DefaultExists() override;
  bool SaveDefault() override;
  bool LoadDefault() override;
  // Numbered names ("Quicksave01".."Quicksave08") save without completion message, as
  // the Quick menu's numbered entries do; any other name as one typed by the user.
  bool Quicksave(const std::string& name) override;
  std::unique_ptr<SessionSaving> StartQuicksave(const std::string& name) override;
  bool LoadQuicksave(int number) override;
  // The loads in steps: the loop files read off the user-interface thread, the MIDI
  // control file read once the session has loaded.
  std::unique_ptr<SessionLoading> StartLoad(const std::string& base) override;
  std::unique_ptr<SessionLoading> StartLoadQuicksave(int number) override;
  bool SaveInProgress() override;

 private:
  SessionParts parts_;
};
