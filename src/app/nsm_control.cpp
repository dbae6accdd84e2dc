#include "app/nsm_control.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/app.h"
#include "app/file_commands.h"
#include "app/session/session_file.h"
#include "control/fire_action.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOpen = "/nsm/client/open";
constexpr const char* kSave = "/nsm/client/save";

// The manager ends its clients with SIGTERM: the window closes through the normal
// shutdown at the next timer tick, without a question (the manager saved first if it
// meant to). Only an atomic store happens in the handler.
std::atomic<std::atomic<bool>*> g_closeOnTerm{nullptr};
void OnTerm(int) {
  if (std::atomic<bool>* close = g_closeOnTerm.load()) close->store(true);
}

void WakeUserInterface() { ControlCommands().Wake(); }

void Print(const std::string& text) { std::fprintf(stderr, "Kestrine (session manager): %s\n", text.c_str()); }

// One line for the manager's message: the box's lines joined.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

// What a message box would have said: printed, kept for the reply to the request that
// runs, and sent to the manager, which shows it to its user.
void TellUser(AppNsm* nsm, const std::string& text) {
  const std::string line = OneLine(text);
  Print(line);
  if (nsm->handling) nsm->told.push_back(line);
  // Priority 2 of 0..3: what a message box said is worth the user's eye.
  nsm->client.Send(NsmMessage{"/nsm/client/message", {2, line}});
}

// A folder is writable when a file can be made in it (whoever the user is, whatever the
// file system): the only test that a save will not fail for the folder's sake.
bool FolderWritable(const fs::path& folder, std::string* why) {
  std::string probe = (folder / ".kestrine-write-test-XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

// A manager's request runs: nothing asks, and a guarded command that comes meanwhile (a
// trigger drained inside a progress window) is dropped as while any command runs.
class Handling {
 public:
  explicit Handling(App* app) : app_(app) {
    app->nsm->handling = true;
    app->nsm->told.clear();
    app->busy = true;
  }
  ~Handling() {
    app_->nsm->handling = false;
    app_->busy = false;
  }

 private:
  App* app_;
};

// A message box or file dialog is open in the window. The window goes on taking the
// manager's requests meanwhile (the dialog's own event loop runs them), but an open or a
// save now would pull the session from under the step that asked.
class Asking {
 public:
  explicit Asking(AppNsm* nsm) : nsm_(nsm) { ++nsm_->asking; }
  ~Asking() { --nsm_->asking; }

 private:
  AppNsm* nsm_;
};

// Whether an open or a save must wait: another command runs or the window asks something.
bool NotNow(const App* app) { return app->busy || app->nsm->asking > 0; }

// What the failing step said, for the manager's error message.
std::string Because(const AppNsm& nsm) {
  std::string text;
  for (std::string t : nsm.told) {
    while (!t.empty() && (t.back() == '.' || t.back() == ' ')) t.pop_back();
    text += (text.empty() ? ": " : "; ") + t;
  }
  return text;
}

void TellDirty(App* app) {
  AppNsm* nsm = app->nsm.get();
  const int dirty = app->session.dirty ? 1 : 0;
  if (dirty == nsm->toldDirty) return;
  nsm->toldDirty = dirty;
  nsm->client.Tell(dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean");
}

void ShowGui(App* app, bool shown) {
  AppNsm* nsm = app->nsm.get();
  nsm->guiHidden = !shown;
  if (app->window) app->window->ShowWindow(shown);
  nsm->client.Tell(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden");
}

void Open(App* app, const NsmRequest& request) {
  AppNsm* nsm = app->nsm.get();
  if (NotNow(app)) return nsm->client.Fail(kOpen, NSM_ERR_NOT_NOW, "Kestrine is busy with another command or a question; try again.");
  // Whatever happens, the session the manager had is not the one it asks for now: a
  // save after a failed open must not write over the previous session's folder.
  nsm->base.clear();
  const std::string base = Nsm_SessionBase(request.path);
  if (base.empty())
    return nsm->client.Fail(kOpen, NSM_ERR_CREATE_FAILED, "No session can be named after \"" + request.path + "\".");
  const fs::path folder = fs::path(base).parent_path();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec)
    return nsm->client.Fail(kOpen, NSM_ERR_CREATE_FAILED,
                            "The session folder " + folder.string() + " cannot be made: " + ec.message() + ".");
  std::string why;
  if (!FolderWritable(folder, &why))
    return nsm->client.Fail(kOpen, NSM_ERR_CREATE_FAILED,
                            "The session folder " + folder.string() + " cannot be written: " + why + ".");

  const bool exists = fs::is_regular_file(SessionFile_Path(base), ec);
  bool done = false;
  {
    Handling handling(app);
    if (exists) {
      done = App_LoadSessionBase(app, base);
    } else {
      App_StartFromDefault(app);
      done = App_SaveSessionBase(app, base);
    }
  }
  if (!done) {
    if (exists)
      nsm->client.Fail(kOpen, NSM_ERR_BAD_PROJECT, "The session " + SessionFile_Path(base) + " cannot be loaded" + Because(*nsm) + ".");
    else
      nsm->client.Fail(kOpen, NSM_ERR_CREATE_FAILED, "A new session cannot be written to " + folder.string() + Because(*nsm) + ".");
    return;
  }
  nsm->base = base;
  nsm->client.Reply(kOpen, exists ? "Session opened." : "New session created.");
  TellDirty(app);
}

void Save(App* app) {
  AppNsm* nsm = app->nsm.get();
  if (nsm->base.empty()) return nsm->client.Fail(kSave, NSM_ERR_NO_SESSION_OPEN, "No session has been opened.");
  if (NotNow(app)) return nsm->client.Fail(kSave, NSM_ERR_NOT_NOW, "Kestrine is busy with another command or a question; try again.");
  bool done = false;
  {
    Handling handling(app);
    done = App_SaveSessionBase(app, nsm->base);
  }
  if (done)
    nsm->client.Reply(kSave, "Saved.");
  else
    nsm->client.Fail(kSave, NSM_ERR_GENERAL, "The session " + SessionFile_Path(nsm->base) + " was not saved" + Because(*nsm) + ".");
  TellDirty(app);
}

}  // namespace

// ---- Quiet dialogs ----

// While the manager is in charge nothing is shown. Messages go to the manager and the
// error stream; questions asked for the manager's own request (loading the session's own
// loops: "Sample rate ... differs") are answered Yes/OK, so the session it asked for
// loads whole; any other question (a trigger while the window is
// hidden: "unsaved changes, continue anyway?") is answered No/Cancel, so nothing the
// user did not see is lost. "Do not warn me again" is never ticked.
int NsmQuietMessages::Show(void* owner, const std::string& text, const std::string& caption, int kind,
                           const std::string& checkBoxText, MessageCheckAction checkBoxAction) {
  if (!nsm_->Quiet())
    if (inner_) {
      Asking asking(nsm_);
      return inner_->Show(owner, text, caption, kind, checkBoxText, checkBoxAction);
    }
  if (!nsm_->Quiet()) {  // no window to show it in: printed, and nothing is confirmed
    Print(OneLine(text));
    return kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
  }
  if (kind == MB_OK) {
    TellUser(nsm_, caption.empty() ? text : caption + ": " + text);
    return IDOK;
  }
  const bool yes = nsm_->handling;
  Print(OneLine(text) + (yes ? " -> answered yes" : " -> answered no"));
  if (kind == MB_YESNO) return yes ? IDYES : IDNO;
  return yes ? IDOK : IDCANCEL;
}

std::string NsmQuietFiles::Open(void* owner, const std::string& title, const std::vector<FileFilter>& filters) {
  if (!nsm_->Quiet()) {
    Asking asking(nsm_);
    return inner_ ? inner_->Open(owner, title, filters) : std::string();
  }
  TellUser(nsm_, title + ": no file chosen (no file dialog under the session manager).");
  return {};
}

std::string NsmQuietFiles::Save(void* owner, const std::string& title, const std::vector<FileFilter>& filters) {
  if (!nsm_->Quiet()) {
    Asking asking(nsm_);
    return inner_ ? inner_->Save(owner, title, filters) : std::string();
  }
  return {};
}

// ---- The client ----

NsmIdentity App_NsmIdentity() {
  NsmIdentity who;
  who.name = kAppTitle;
  who.capabilities = kNsmCapabilities;
  who.executable = program_invocation_short_name;
  who.pid = static_cast<int>(::getpid());
  return who;
}

std::string Nsm_SessionBase(const std::string& path) {
  fs::path folder = fs::path(path).lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();  // "a/b/" names "b"
  const std::string name = folder.filename().string();
  if (!SessionFile_IsPlainName(name) || name.empty()) return {};
  return (folder / name).string();
}

bool App_StartNsm(App* app, const std::string& url) {
  App_StopNsm(app);
  if (url.empty()) return false;
  auto nsm = std::make_unique<AppNsm>();
  std::string error;
  nsm->client.SetNotify(WakeUserInterface);
  if (!nsm->client.Start(url, App_NsmIdentity(), &error)) {
    Print(error + " Kestrine runs without it.");
    return false;
  }
  nsm->messages = std::make_unique<NsmQuietMessages>(nsm.get(), MessageDialog_Installed());
  nsm->files = std::make_unique<NsmQuietFiles>(nsm.get(), FileDialog_Installed());
  MessageDialog_Install(nsm->messages.get());
  FileDialog_Install(nsm->files.get());
  app->nsm = std::move(nsm);
  g_closeOnTerm.store(&app->closeRequested);
  struct sigaction term {};
  term.sa_handler = OnTerm;
  sigemptyset(&term.sa_mask);
  term.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &term, nullptr);
  return true;
}

void App_NsmReady(App* app) {
  if (!app->nsm) return;
  app->nsm->ready = true;
  WakeUserInterface();
}

AppNsm::~AppNsm() {
  if (g_closeOnTerm.load()) {
    ::signal(SIGTERM, SIG_DFL);
    g_closeOnTerm.store(nullptr);
  }
  client.Stop();
  // Whoever installed dialogs over ours keeps them; ours give back what they wrapped.
  if (messages && MessageDialog_Installed() == messages.get()) MessageDialog_Install(messages->inner());
  if (files && FileDialog_Installed() == files.get()) FileDialog_Install(files->inner());
}

void App_StopNsm(App* app) { app->nsm.reset(); }

void App_NsmDrain(App* app) {
  AppNsm* nsm = app->nsm.get();
  if (!nsm || !nsm->ready) return;
  NsmRequest request;
  while (nsm->client.Take(&request)) {
    switch (request.kind) {
      case NsmRequestKind::Announced:
        nsm->announced = true;
        nsm->managerHidesGui = request.capabilities.find(":optional-gui:") != std::string::npos;
        Print("announced to " + request.manager + ": " + request.text);
        // The manager learns at once whether the window shows.
        nsm->client.Tell(nsm->guiHidden ? "/nsm/client/gui_is_hidden" : "/nsm/client/gui_is_shown");
        break;
      case NsmRequestKind::Refused:
        Print("the manager refused Kestrine (" + std::to_string(request.code) + "): " + request.text);
        break;
      case NsmRequestKind::Open: Open(app, request); break;
      case NsmRequestKind::Save: Save(app); break;
      case NsmRequestKind::ShowGui: ShowGui(app, true); break;
      case NsmRequestKind::HideGui: ShowGui(app, false); break;
      case NsmRequestKind::Loaded: break;
    }
  }
}

void App_NsmTick(App* app) {
  AppNsm* nsm = app->nsm.get();
  // Dirty is told once a session of the manager's is open: before, there is none.
  if (!nsm || !nsm->ready) return;
  if (!nsm->problemPrinted) {
    const std::string problem = nsm->client.Problem();
    if (!problem.empty()) Print(problem + " Kestrine runs without it.");
    nsm->problemPrinted = !problem.empty();
  }
  if (!nsm->base.empty()) TellDirty(app);
}

bool App_NsmHideOnClose(App* app) {
  AppNsm* nsm = app->nsm.get();
  if (!nsm || !nsm->managerHidesGui || app->exitInProgress) return false;
  ShowGui(app, false);
  return true;
}
