#include "app/file_commands.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>

#include "app/app.h"
#include "app/session/session_file.h"
#include "app/session/session_store.h"
#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "app/settings/skin_select.h"
#include "control/fire_action.h"
#include "audio_io/audio_device.h"
#include "audio_io/file_dialog.h"
#include "audio_io/loop_files.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"
#include "engine/metronome.h"
#include "persist/config_directory.h"

namespace fs = std::filesystem;

namespace {

constexpr auto DontWarnDefaultConfig = Preferences_StopWarning<&Preferences::warn_default_config>;

std::vector<FileFilter> SessionFilters() {
  return {{std::string("Session Files (*") + kSessionExtension + ")", std::string("*") + kSessionExtension},
          {"All Files (*.*)", "*.*"}};
}

std::string Format(const char* format, int n) {
  char text[128];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

// Gives the loop-file dialogs their title: the loop file functions open the dialog
// themselves with the toolkit's default title.
class TitledFileDialog final : public FileDialog {
 public:
  explicit TitledFileDialog(std::string title) : inner_(FileDialog_Installed()), title_(std::move(title)) {
    FileDialog_Install(this);
  }
  ~TitledFileDialog() override { FileDialog_Install(inner_); }
  std::string Open(void* owner, const std::string& title, const std::vector<FileFilter>& filters) override {
    return inner_ ? inner_->Open(owner, title.empty() ? title_ : title, filters) : std::string();
  }
  std::string Save(void* owner, const std::string& title, const std::vector<FileFilter>& filters) override {
    return inner_ ? inner_->Save(owner, title.empty() ? title_ : title, filters) : std::string();
  }

 private:
  FileDialog* inner_;
  std::string title_;
};

// Every track back to its start before a session is written. A load stops the music
// itself, once every question has been answered and the file is known to be good.
void RewindAll() { Audio_StopLooping(); }

// Saving stores what the fields say; it never applies a loop time to the strips, which
// would cut or pad the loops being saved.
void CommitPanelFields(App* app) { SessionFile_CommitPanelFields(App_SessionParts(app)); }

void SetMetronomeLength(App* app) {
  Audio_SetMetronomeTime(LoopTime_MeasureSeconds(app->loopTime), app->loopTime.beatsPerMeasure, false);
}

// After every session load, whatever its source: its name (the default session is no
// name of the user's), a clean state, the name fields, the loop-time mark cleared and
// the metronome in step.
void SessionLoaded(App* app, const std::string& name, bool named) {
  for (int i = 0; i < kStripCount; ++i) app->tracks.nameFields[i] = app->tracks.strips[i].name;
  app->loopTime.lastLoopTime = -1.0;
  app->loopTime.firstLoopSet = false;
  app->session.dirty = false;
  App_SetSessionName(app, name, named);
  SetMetronomeLength(app);
  if (app->loopEdit) app->loopEdit->Reset(app->tracks.current);
}

// The strip the loop command acts on: the popup's pending track, else "Select Track".
bool ChooseStrip(App* app, int* strip) {
  if (app->pendingTrack > 0) {
    *strip = app->pendingTrack - 1;
    app->pendingTrack = 0;
    return true;
  }
  return app->dialogs && app->dialogs->SelectTrack(strip) && *strip >= 0 && *strip < kStripCount;
}

void NewSession(App* app) {
  Preferences& prefs = App_Preferences();
  if (prefs.warn_default_config &&
      MessageDialog_Show(nullptr, "This will erase all current loops, proceed?", "Start New Session?", MB_OKCANCEL,
                         kDontWarnAgain, DontWarnDefaultConfig) != IDOK)
    return;
  App_SystemConfiguration().skin.clear();
  ReadSystemConfiguration();
  if (!App_LoadDefaultSession(app)) {
    MessageDialog_Show(nullptr, "New session was not loaded.", "No New Session");
    return;
  }
  if (app->window) app->window->FocusPanel();
  if (prefs.warn_default_config) MessageDialog_Show(nullptr, "Configuration Loaded.", "");
}

void SaveSessionAs(App* app);

// A session never named is not written under a made-up name: the user chooses one.
void SaveSession(App* app) {
  if (!app->session.named) {
    SaveSessionAs(app);
    return;
  }
  App_StartSessionSave(app, (fs::path(app->session.directory) / app->session.name).string());
}

void SaveSessionAs(App* app) {
  RewindAll();
  std::string file = FileDialog_Save(nullptr, "Save Session As:", SessionFilters());
  if (file.empty() || file.size() > kMaxPathChars) return;
  std::error_code ec;
  if (fs::exists(file, ec) &&
      MessageDialog_Show(nullptr, "Session file exists, overwrite?", "Overwrite Session?", MB_OKCANCEL) != IDOK)
    return;
  App_StartSessionSave(app, fs::path(file).replace_extension().string());
}

void SaveDefault(App* app) {
  const Preferences& prefs = App_Preferences();
  if (prefs.warn_default_config &&
      MessageDialog_Show(nullptr, "Save current state as default configuration?", "Save as Default?", MB_OKCANCEL,
                         kDontWarnAgain, DontWarnDefaultConfig) != IDOK)
    return;
  App_WaitForSaves(app);
  if (!app->sessions || !app->sessions->SaveDefault()) {
    MessageDialog_Show(nullptr, "Error while saving configuration.", "Error");
    return;
  }
  if (App_Preferences().warn_default_config) MessageDialog_Show(nullptr, "Configuration Saved.", "");
}

void LoadLoopCommand(App* app) {
  int strip = 0;
  if (!ChooseStrip(app, &strip)) return;
  App_LoadLoop(app, StripIndex{strip}, {}, false);
  if (app->loopEdit) app->loopEdit->Redraw();
}

void SaveLoopCommand(App* app) {
  int strip = 0;
  if (!ChooseStrip(app, &strip)) return;
  // Its loop is about to be replaced: saving it now would write the one going away.
  if (App_StripLoading(app, strip) && App_RefusedWhileLoading(app, Command::LoadLoop, StripIndex{strip})) return;
  App_WaitForSaves(app);  // one save at a time, in the order asked
  std::string file;
  {
    TitledFileDialog titled(Format("Save Track %d As:", strip + 1));
    file = Audio_ChooseLoopSavePath(app->tracks.strips[strip].slot, nullptr, true);
  }
  if (file.empty()) return;
  const int slot = app->tracks.strips[strip].slot;
  App_AddSave(app, std::make_unique<LoopSaving>(slot, file), [strip, file](App* done, bool saved) {
    if (!saved) return;
    LoopStrip_SetName(&done->tracks, StripIndex{strip}, fs::path(file).filename().string());
    done->tracks.strips[strip].directory = fs::path(file).parent_path().string();
  });
}

// A clean mark only for what the save holds: a change made while its files were written
// keeps the session dirty.
void MarkSaved(App* app, uint64_t changesAtStart) {
  if (app->session.changes == changesAtStart) App_SetDirty(app, false);
}

void Quicksave(App* app, const std::string& name) {
  RewindAll();
  if (!app->sessions) return;
  App_WaitForSaves(app);
  std::unique_ptr<SessionSaving> saving = app->sessions->StartQuicksave(name);
  const uint64_t changes = app->session.changes;
  App_AddSave(app, std::move(saving), [name, changes](App* app, bool saved) {
    if (!saved) return;
    App_SetSessionName(app, Quicksave_StoredName(name), true);
    MarkSaved(app, changes);
  });
}

void About(App* app) {
  if (!app->dialogs) return;
  app->dialogs->About(AboutText{kAppTitle, std::string("Version ") + kAppVersion, Skin_AboutName(), Skin_AboutAuthor()});
}

bool RunDialog(App* app, ModalDialog dialog) {
  if (!app->dialogs) {
    MessageDialog_Show(nullptr, "Dialog failed!", "Error");
    return false;
  }
  return app->dialogs->Run(dialog);
}

}  // namespace

bool App_LoadLoop(App* app, StripIndex strip, const std::string& path, bool dropped) {
  if (!strip.Valid()) return false;
  if (app->loads.session) return App_RefuseSessionChange(app) && false;
  LoopStrip& s = app->tracks.strips[strip.value];
  const Preferences& prefs = App_Preferences();
  TitledFileDialog titled(Format("Load Track %d:", strip.Number()));
  const char* given = path.empty() ? nullptr : path.c_str();
  const auto wake = [] { ControlCommands().Wake(); };
  bool notOpened = false;
  std::unique_ptr<LoopFileRead> read =
      Audio_StartLoopRead(s.slot, given, 1, prefs.warn_file_load, prefs.warn_sample_rate, false, wake, &notOpened);
  const bool firstAttempt = read != nullptr;
  if (!firstAttempt) {
    // Locating helps only a file that cannot be opened; one that opened was refused for
    // what it holds, and reading it again would only say so twice.
    std::error_code ec;
    if (!dropped || s.empty || !notOpened || fs::is_regular_file(path, ec)) return false;
    read = Audio_StartLoopRead(s.slot, given, 1, prefs.warn_file_load, prefs.warn_sample_rate, true, wake);
    if (!read) return false;
  }
  App_AddTrackLoad(app, strip.value, std::move(read), firstAttempt);
  return true;
}

void App_OpenSession(App* app, const std::string& path) {
  if (App_RefuseSessionChange(app) || !App_ConfirmUnsaved(app)) return;
  std::string file = path;
  if (file.empty()) {
    file = FileDialog_Open(nullptr, "Load Session:", SessionFilters());
    if (file.empty()) return;
  } else if (!fs::path(file).has_filename()) {
    return;
  }
  const fs::path base = fs::path(file).replace_extension();
  if (!app->sessions) return;
  App_WaitForSaves(app);  // a load cleans the folders a save under way may be writing
  App_AddSessionLoad(app, app->sessions->StartLoad(base.string()), [base](App* loaded) {
    loaded->session.directory = base.parent_path().string();
    SessionLoaded(loaded, base.filename().string(), true);
  });
}

bool App_LoadSessionBase(App* app, const std::string& base) {
  App_CancelLoads(app);  // this session replaces whatever is still being read
  App_WaitForSaves(app);
  if (!app->sessions || !app->sessions->Load(base)) return false;
  app->session.directory = fs::path(base).parent_path().string();
  SessionLoaded(app, fs::path(base).filename().string(), true);
  return true;
}

bool App_StartSessionSave(App* app, const std::string& base) {
  RewindAll();
  CommitPanelFields(app);
  if (!app->sessions) return false;
  App_WaitForSaves(app);
  std::unique_ptr<SessionSaving> saving = app->sessions->StartSave(base);
  const uint64_t changes = app->session.changes;
  App_AddSave(app, std::move(saving), [base, changes](App* app, bool saved) {
    if (!saved) return;
    app->session.directory = fs::path(base).parent_path().string();
    App_SetSessionName(app, fs::path(base).filename().string(), true);
    MarkSaved(app, changes);
  });
  return true;
}

bool App_SaveSessionBase(App* app, const std::string& base) {
  return App_StartSessionSave(app, base) && App_WaitForSaves(app);
}

void App_OpenSessionFromCommandLine(App* app, const std::string& path) {
  std::error_code ec;
  const fs::path file = fs::absolute(path, ec);
  if (ec || !fs::is_regular_file(file, ec)) {
    MessageDialog_Show(nullptr, "Couldn't open session file.\n" + path, "File error");
    return;
  }
  App_OpenSession(app, file.string());
}

bool App_LoadDefaultSession(App* app) { return App_ConfirmUnsaved(app) && App_StartFromDefault(app); }

bool App_StartFromDefault(App* app) {
  App_WaitForSaves(app);
  const bool loaded = app->sessions && app->sessions->LoadDefault();
  if (loaded) {
    SessionLoaded(app, "Untitled", false);
    // Sessions are saved among the user's, not beside the configuration.
    app->session.directory = UserDataDirectory_Path();
  }

  // Whatever happened: the configured skin, and the panel in step with the settings.
  SkinSelect_LoadConfigured(&app->meterLeds);
  SessionFile_RefreshPanel(App_SessionParts(app));
  if (app->loopTime.mode == LoopTimeMaxTime) {
    if (app->tracks.strips[app->tracks.current].empty) App_CommitLoopTime(app);
    App_SelectTrack(app, StripIndex{app->tracks.current});
    app->loopTime.firstLoopSet = false;
  }
  if (app->window)
    app->window->EnableMenuEntry(CommandId(Command::AsioControlPanel), Audio_GetHostApiType() == kAsioHostApiType);
  return loaded;
}

void App_Drop(App* app, int strip, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (strip < 0 || strip >= kStripCount) break;
    std::string extension = fs::path(path).extension().string();
    for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    // Loops and a session dropped together load in the order given: the one ahead is
    // waited for (a rare drop: only this one waits on this thread).
    if (Audio_IsLoopFileExtension(extension)) {
      if (app->loads.session) App_WaitForLoads(app);
      App_LoadLoop(app, StripIndex{strip}, path, true);
      ++strip;  // the next file goes to the next track, loaded or not
    } else if (extension == kSessionExtension) {
      App_WaitForLoads(app);
      App_OpenSession(app, path);
    }
  }
  if (app->loopEdit) app->loopEdit->Redraw();
  App_SampleLoopTime(app);
}

void FileCommand_LoadQuicksave(App* app, int number) {
  const std::string name = Quicksave_NumberedName(number);
  if (name.empty() || App_RefuseSessionChange(app) || !App_ConfirmUnsaved(app) || !app->sessions) return;
  App_WaitForSaves(app);
  App_AddSessionLoad(app, app->sessions->StartLoadQuicksave(number),
                     [name](App* loaded) { SessionLoaded(loaded, name, true); });
}

void FileCommand_SaveQuicksave(App* app, int number) { Quicksave(app, Quicksave_NumberedName(number)); }

bool FileCommand_Run(App* app, Command command) {
  switch (command) {
    case Command::NewSession: NewSession(app); break;
    case Command::OpenSession: App_OpenSession(app, {}); break;
    case Command::SaveSession: SaveSession(app); break;
    case Command::SaveSessionAs: SaveSessionAs(app); break;
    case Command::SaveDefaultConfig: SaveDefault(app); break;
    case Command::LoadLoop: LoadLoopCommand(app); break;
    case Command::SaveLoop: SaveLoopCommand(app); break;
    case Command::Quicksave: {
      std::string name;
      if (app->dialogs && app->dialogs->QuicksaveName(&name) && !name.empty()) Quicksave(app, name);
      break;
    }
    case Command::MetronomeDialog: RunDialog(app, ModalDialog::Metronome); break;
    case Command::SetLatencyDialog: RunDialog(app, ModalDialog::SetLatency); break;
    case Command::PreferencesDialog:
      if (RunDialog(app, ModalDialog::Preferences)) App_OscPreferencesChanged(app);
      break;
    case Command::MidiControlDialog: RunDialog(app, ModalDialog::MidiControl); break;
    case Command::SelectAudioDevicesDialog: RunDialog(app, ModalDialog::SelectAudioDevices); break;
    case Command::SelectSkinDialog:
      if (RunDialog(app, ModalDialog::SelectSkin)) SkinSelect_LoadConfigured(&app->meterLeds);
      break;
    case Command::AsioControlPanel: RunDialog(app, ModalDialog::AsioControlPanel); break;
    case Command::SetLoopTimeDialog: RunDialog(app, ModalDialog::SetLoopTime); break;
    case Command::AboutDialog: About(app); break;
    case Command::HelpDialog: App_ShowHelp(app); break;
    case Command::Exit:
      if (App_Close(app) && app->window) app->window->Close();
      break;
    default:
      return false;
  }
  return true;
}

bool Help_ReadLines(const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string line;
  bool any = false;
  bool ended = false;  // a byte 255 ended the line: skip to its line feed
  int feeds = 0;       // consecutive line feeds
  auto finish = [&]() {
    lines->push_back(line);
    const bool copyright = line.size() >= 9 && [&] {
      for (int i = 0; i < 9; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != "copyright"[i]) return false;
      return true;
    }();
    line.clear();
    ended = false;
    return copyright;
  };
  int c;
  bool stop = false;
  while (!stop && (c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') {
      if (feeds > 0) lines->push_back({});  // each further line feed: one empty line
      else stop = finish();
      ++feeds;
      continue;
    }
    feeds = 0;
    if (c == '\t' || c == '\r' || ended) continue;
    if (c == 255) {
      ended = true;
      continue;
    }
    if (line.size() < kHelpLineLimit) line.push_back(static_cast<char>(c));
  }
  const bool readError = std::ferror(f) != 0;
  std::fclose(f);
  if (!any || readError) return false;
  if (!stop && (!line.empty() || ended)) finish();  // the last line has no line feed
  return true;
}

void App_ShowHelp(App* app) {
  std::vector<std::string> lines;
  if (!Help_ReadLines(DataDirectory_File("help.txt"), &lines)) {
    MessageDialog_Show(nullptr, "Couldn't open help file named Help.txt in the Kestrine directory.", "Error");
    return;
  }
  if (app->dialogs) app->dialogs->Help(lines);
}
