#include "app/session_store.h"

#include <cstdio>
#include <filesystem>

#include "app/app.h"
#include "app/config_files.h"
#include "app/preferences.h"
#include "app/session_file.h"
#include "control/midi_control_file.h"
#include "engine/message_dialog.h"
#include "persist/config_directory.h"

namespace fs = std::filesystem;

namespace {

std::string lastQuicksaveName;

constexpr auto DontWarnQuicksave = Preferences_StopWarning<&Preferences::warn_quicksave>;

// The session and its MIDI control file.
bool SaveWithTriggers(App* app, const std::string& base) {
  if (!SessionFile_Save(app, base)) return false;
  WriteMidiControlFile(SessionFile_Path(base));  // reports its own failure
  return true;
}

bool LoadWithTriggers(App* app, const std::string& base) {
  if (!SessionFile_Load(app, base, true)) return false;
  ReadMidiControlFile(SessionFile_Path(base), true);
  return true;
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
  return preferred.empty() ? ConfigDirectory : preferred;
}

std::string Session_DefaultBase() { return ConfigDirectory_File(kDefaultSessionName); }

const char* QuicksaveName_Check(const std::string& text) {
  if (text.empty()) return "No name entered for quicksave.";
  if (text.size() >= 260) return "Quicksave name too long";
  return nullptr;
}

const std::string& Quicksave_LastName() { return lastQuicksaveName; }

bool Session_Quicksave(App* app, const std::string& base, const std::string& given, bool interactive,
                       bool confirmOverwrite) {
  const std::string directory = base.empty() ? Quicksave_BaseDirectory() : base;
  std::string name = given;
  if (name.empty()) {
    if (!interactive || !app->dialogs || !app->dialogs->QuicksaveName(&name)) return false;
    if (name.empty()) {
      MessageDialog_Show(nullptr, "No name found for quicksave.", "Error");
      return false;
    }
  }
  const bool separator = name.find('/') != std::string::npos || name.find('\\') != std::string::npos;
  if (!separator) name = fs::path(name).replace_extension().string();
  if (separator || !SessionFile_IsPlainName(name)) {
    MessageDialog_Show(nullptr, "Invalid quicksave name", "Error");
    return false;
  }

  const fs::path folder = fs::path(directory) / name;
  std::error_code ec;
  if (fs::exists(folder, ec)) {
    if (confirmOverwrite && App_Preferences().warn_quicksave) {
      char text[400];
      std::snprintf(text, sizeof text, "Quicksave %s exists, overwrite?", name.c_str());
      if (MessageDialog_Show(nullptr, text, "Overwrite Quicksave?", MB_OKCANCEL, kDontWarnAgain, DontWarnQuicksave) !=
          IDOK)
        return false;
    }
  } else if (!fs::create_directory(folder, ec) || ec) {
    if (interactive) MessageDialog_Show(nullptr, "Unable to create directory:\n" + folder.string(), "Error");
    return false;
  }

  SessionFile_CommitPanelFields(app);
  if (!SaveWithTriggers(app, (folder / name).string())) return false;
  lastQuicksaveName = name;
  App_SetSessionName(app, name, true);
  App_SetDirty(app, false);
  if (interactive && App_Preferences().warn_quicksave) {
    char text[400];
    std::snprintf(text, sizeof text, "Quicksaved Session as %s.", name.c_str());
    MessageDialog_Show(nullptr, text, "Quicksave Complete");
  }
  return true;
}

bool Session_LoadQuicksave(App* app, int number) {
  const std::string name = Quicksave_NumberedName(number);
  return !name.empty() && LoadWithTriggers(app, (fs::path(Quicksave_BaseDirectory()) / name / name).string());
}

bool Session_SaveDefault(App* app) {
  SessionFile_CommitPanelFields(app);
  const std::string directory = app->session.directory;
  const bool saved = SessionFile_Save(app, Session_DefaultBase());
  app->session.directory = directory;
  const bool configured = WriteSystemConfiguration();
  return saved && configured;
}

bool Session_LoadDefault(App* app) {
  std::error_code ec;
  return fs::exists(SessionFile_Path(Session_DefaultBase()), ec) && LoadWithTriggers(app, Session_DefaultBase());
}

bool AppSessionStore::Save(const std::string& base) { return SaveWithTriggers(app_, base); }

bool AppSessionStore::Load(const std::string& base) { return LoadWithTriggers(app_, base); }

bool AppSessionStore::DefaultExists() {
  std::error_code ec;
  return fs::exists(SessionFile_Path(Session_DefaultBase()), ec);
}

bool AppSessionStore::SaveDefault() { return Session_SaveDefault(app_); }

bool AppSessionStore::LoadDefault() { return Session_LoadDefault(app_); }

bool AppSessionStore::Quicksave(const std::string& name) {
  bool numbered = false;
  for (int n = 1; n <= 8; ++n) numbered = numbered || name == Quicksave_NumberedName(n);
  return Session_Quicksave(app_, {}, name, !numbered, true);
}

bool AppSessionStore::LoadQuicksave(int number) { return Session_LoadQuicksave(app_, number); }

bool AppSessionStore::SaveInProgress() {
  const std::string base = ConfigDirectory.empty() ? std::string(".") : ConfigDirectory;
  return Session_Quicksave(app_, base, kInProgressName, false, false);
}
