#include "app/session/session_store.h"

#include <cstdio>
#include <filesystem>

#include "app/session/session_file.h"
#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "control/fire_action.h"
#include "control/midi_control_file.h"
#include "engine/message_dialog.h"
#include "persist/config_directory.h"

namespace fs = std::filesystem;

namespace {

std::string lastQuicksaveName;

constexpr auto DontWarnQuicksave = Preferences_StopWarning<&Preferences::warn_quicksave>;

// The session, then its MIDI control file (which reports its own failure), then what
// follows a save that succeeded.
class SavingWithTriggers final : public SessionSaving {
 public:
  SavingWithTriggers(const SessionParts& parts, const std::string& base, std::function<void()> saved)
      : base_(base), save_(parts, base, [] { ControlCommands().Wake(); }), saved_(std::move(saved)) {}
  bool Begin() {
    ended_ = !save_.Begin();
    return !ended_;
  }
  bool Advance(bool wait) override {
    if (ended_) return true;
    if (!wait && !save_.Written()) return false;
    ended_ = true;
    written_ = save_.End();
    if (written_) {
      WriteMidiControlFile(SessionFile_Path(base_));
      if (saved_) saved_();
    }
    return true;
  }
  bool Saved() const override { return ended_ && written_; }

 private:
  std::string base_;
  SessionFileSave save_;
  std::function<void()> saved_;
  bool ended_ = false, written_ = false;
};

std::unique_ptr<SessionSaving> StartWithTriggers(const SessionParts& parts, const std::string& base,
                                                 std::function<void()> saved = nullptr) {
  auto save = std::make_unique<SavingWithTriggers>(parts, base, std::move(saved));
  if (!save->Begin()) return std::make_unique<EndedSaving>(false);
  return save;
}

bool Finished(std::unique_ptr<SessionSaving> save) { return save->Advance(true) && save->Saved(); }

bool LoadWithTriggers(const SessionParts& parts, const std::string& base) {
  if (!SessionFile_Load(parts, base, true)) return false;
  ReadMidiControlFile(SessionFile_Path(base), true);
  return true;
}

// A session file load followed by its MIDI control file.
class LoadingWithTriggers final : public SessionLoading {
 public:
  LoadingWithTriggers(const SessionParts& parts, const std::string& base)
      : base_(base), load_(parts, base, true, [] { ControlCommands().Wake(); }) {}
  bool Advance() override {
    if (ended_) return true;
    if (!load_.Advance(false)) return false;
    ended_ = true;
    if (load_.Loaded()) ReadMidiControlFile(SessionFile_Path(base_), true);
    return true;
  }
  bool Loaded() const override { return ended_ && load_.Loaded(); }
  void Cancel() override { load_.Cancel(); }
  bool Cancelled() const override { return load_.Cancelled(); }

 private:
  std::string base_;
  SessionFileLoad load_;
  bool ended_ = false;
};

std::string QuicksaveBase(int number) {
  const std::string name = Quicksave_NumberedName(number);
  return (fs::path(Quicksave_BaseDirectory()) / name / name).string();
}

}  // namespace

std::string Quicksave_NumberedName(int number) {
  if (number < 1 || number > 8) return {};
  char name[16];
  std::snprintf(name, sizeof name, "Quicksave%02d", number);
  return name;
}

std::string Quicksave_BaseDirectory() {
  const std::string& preferred = App_Preferences().quicksave_directory;
  return preferred.empty() ? UserDataDirectory_Path() : preferred;
}

std::string Session_DefaultBase() { return ConfigDirectory_File(kDefaultSessionName); }

const char* QuicksaveName_Check(const std::string& text) {
  if (text.empty()) return "No name entered for quicksave.";
  if (text.size() >= 260) return "Quicksave name too long";
  return nullptr;
}

const std::string& Quicksave_LastName() { return lastQuicksaveName; }

std::string Quicksave_StoredName(const std::string& given) {
  if (given.find('/') != std::string::npos || given.find('\\') != std::string::npos) return {};
  const std::string name = fs::path(given).replace_extension().string();
  return SessionFile_IsPlainName(name) ? name : std::string();
}

std::unique_ptr<SessionSaving> Session_StartQuicksave(const SessionParts& parts, const std::string& base,
                                                      const std::string& given, bool interactive,
                                                      bool confirmOverwrite) {
  const std::string directory = base.empty() ? Quicksave_BaseDirectory() : base;
  auto refused = [] { return std::make_unique<EndedSaving>(false); };
  if (given.empty()) {
    MessageDialog_Show(nullptr, "No name found for quicksave.", "Error");
    return refused();
  }
  const std::string name = Quicksave_StoredName(given);
  if (name.empty()) {
    MessageDialog_Show(nullptr, "Invalid quicksave name", "Error");
    return refused();
  }

  const fs::path folder = fs::path(directory) / name;
  std::error_code ec;
  if (fs::exists(folder, ec)) {
    if (confirmOverwrite && App_Preferences().warn_quicksave) {
      char text[400];
      std::snprintf(text, sizeof text, "Quicksave %s exists, overwrite?", name.c_str());
      if (MessageDialog_Show(nullptr, text, "Overwrite Quicksave?", MB_OKCANCEL, kDontWarnAgain, DontWarnQuicksave) !=
          IDOK)
        return refused();
    }
  } else if (!fs::create_directory(folder, ec) || ec) {
    if (interactive) MessageDialog_Show(nullptr, "Unable to create directory:\n" + folder.string(), "Error");
    return refused();
  }

  SessionFile_CommitPanelFields(parts);
  return StartWithTriggers(parts, (folder / name).string(), [name, interactive] {
    lastQuicksaveName = name;
    if (interactive && App_Preferences().warn_quicksave) {
      char text[400];
      std::snprintf(text, sizeof text, "Quicksaved Session as %s.", name.c_str());
      MessageDialog_Show(nullptr, text, "Quicksave Complete");
    }
  });
}

bool Session_Quicksave(const SessionParts& parts, const std::string& base, const std::string& given,
                       bool interactive, bool confirmOverwrite) {
  return Finished(Session_StartQuicksave(parts, base, given, interactive, confirmOverwrite));
}

bool Session_LoadQuicksave(const SessionParts& parts, int number) {
  return !Quicksave_NumberedName(number).empty() && LoadWithTriggers(parts, QuicksaveBase(number));
}

bool Session_SaveDefault(const SessionParts& parts) {
  if (ConfigDirectoryReadOnly) return false;
  SessionFile_CommitPanelFields(parts);
  const std::string directory = parts.session->directory;
  const bool saved = SessionFile_Save(parts, Session_DefaultBase());
  parts.session->directory = directory;
  const bool configured = WriteSystemConfiguration();
  return saved && configured;
}

bool Session_LoadDefault(const SessionParts& parts) {
  std::error_code ec;
  return fs::exists(SessionFile_Path(Session_DefaultBase()), ec) && LoadWithTriggers(parts, Session_DefaultBase());
}

bool AppSessionStore::Save(const std::string& base) { return Finished(StartSave(base)); }

std::unique_ptr<SessionSaving> AppSessionStore::StartSave(const std::string& base) {
  return StartWithTriggers(parts_, base);
}

bool AppSessionStore::Load(const std::string& base) { return LoadWithTriggers(parts_, base); }

bool AppSessionStore::DefaultExists() {
  std::error_code ec;
  return fs::exists(SessionFile_Path(Session_DefaultBase()), ec);
}

bool AppSessionStore::SaveDefault() { return Session_SaveDefault(parts_); }

bool AppSessionStore::LoadDefault() { return Session_LoadDefault(parts_); }

bool AppSessionStore::Quicksave(const std::string& name) { return Finished(StartQuicksave(name)); }

std::unique_ptr<SessionSaving> AppSessionStore::StartQuicksave(const std::string& name) {
  bool numbered = false;
  for (int n = 1; n <= 8; ++n) numbered = numbered || name == Quicksave_NumberedName(n);
  return Session_StartQuicksave(parts_, {}, name, !numbered, true);
}

bool AppSessionStore::LoadQuicksave(int number) { return Session_LoadQuicksave(parts_, number); }

std::unique_ptr<SessionLoading> AppSessionStore::StartLoad(const std::string& base) {
  return std::make_unique<LoadingWithTriggers>(parts_, base);
}

std::unique_ptr<SessionLoading> AppSessionStore::StartLoadQuicksave(int number) {
  if (Quicksave_NumberedName(number).empty()) return std::make_unique<EndedLoading>(false);
  return std::make_unique<LoadingWithTriggers>(parts_, QuicksaveBase(number));
}

bool AppSessionStore::SaveInProgress() {
  const std::string base = ConfigDirectory.empty() ? std::string(".") : ConfigDirectory;
  return Session_Quicksave(parts_, base, kInProgressName, false, false);
}
