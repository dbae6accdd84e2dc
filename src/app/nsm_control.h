#pragma once
// Kestrine under a session manager (NSM_URL set at start-up): the manager's requests
// acted on, on the user-interface thread, and what the manager wants to know told back.
//
// The manager names a path; Kestrine keeps the session in a folder of that path,
// "<path>/<name>.session" with <name> the path's last part, its MIDI control file and its
// loop folders beside it, as any session of the program. Opening a path that holds no
// session creates the folder and a new session there (from the default session, as New
// Session does) and writes it at once, so an unwritable place is told at the open.
//
// Nothing done for the manager shows a window or waits for an answer: while a request
// runs, during start-up and while the manager keeps the window hidden, messages are told
// to the manager (and printed) instead of shown, and questions get fixed answers
// (NsmQuietMessages). With the window shown, what the user does there asks as usual.
#include <memory>
#include <string>
#include <vector>

#include "audio_io/file_dialog.h"
#include "control/nsm_client.h"
#include "engine/message_dialog.h"

struct App;
struct AppNsm;

// The message box while the manager is in charge: the installed one otherwise.
class NsmQuietMessages final : public MessageDialog {
 public:
  NsmQuietMessages(AppNsm* nsm, MessageDialog* inner) : nsm_(nsm), inner_(inner) {}
  int Show(void* owner, const std::string& text, const std::string& caption, int kind,
           const std::string& checkBoxText, MessageCheckAction checkBoxAction) override;
  MessageDialog* inner() const { return inner_; }

 private:
  AppNsm* nsm_;
  MessageDialog* inner_;
};

// File dialogs while the manager is in charge are cancelled (a loop that cannot be
// found is not looked for).
class NsmQuietFiles final : public FileDialog {
 public:
  NsmQuietFiles(AppNsm* nsm, FileDialog* inner) : nsm_(nsm), inner_(inner) {}
  std::string Open(void* owner, const std::string& title, const std::vector<FileFilter>& filters) override;
  std::string Save(void* owner, const std::string& title, const std::vector<FileFilter>& filters) override;
  FileDialog* inner() const { return inner_; }

 private:
  AppNsm* nsm_;
  FileDialog* inner_;
};

struct AppNsm {
  AppNsm() = default;
  // Stops the client and gives back the dialogs and the SIGTERM handling it took over.
  ~AppNsm();
  AppNsm(const AppNsm&) = delete;
  AppNsm& operator=(const AppNsm&) = delete;

  NsmClient client;
  std::string base;            // "<path>/<name>" of the manager's session; empty before an open
  bool ready = false;          // start-up is done: requests are acted on
  bool announced = false;      // the manager accepted the announce
  bool managerHidesGui = false;  // the manager can show a hidden window again
  bool handling = false;       // a manager's request runs
  bool guiHidden = false;      // the manager (or closing the window) hid it
  int asking = 0;              // message boxes and file dialogs open in the window
  bool problemPrinted = false;  // the manager cannot be reached, and that was printed
  int toldDirty = -1;          // 0/1 as last told to the manager; -1 nothing yet
  std::vector<std::string> told;  // messages of the request that runs
  std::unique_ptr<NsmQuietMessages> messages;
  std::unique_ptr<NsmQuietFiles> files;
  bool Quiet() const { return handling || !ready || guiHidden; }
};

// What Kestrine says of itself in the announce.
inline constexpr const char* kNsmCapabilities = ":dirty:optional-gui:message:";
NsmIdentity App_NsmIdentity();

// The manager's folder for `path` and the session base inside it ("<path>/<name>").
// Empty for a path with no last part to name the session by.
std::string Nsm_SessionBase(const std::string& path);

// Starts the client for the manager at `url` (the value of NSM_URL; empty: nothing).
// A URL that is not one is printed and the program runs on without a manager; a manager
// that does not answer stalls nothing. True when the client runs.
bool App_StartNsm(App* app, const std::string& url);
// Start-up is over: requests that came meanwhile are acted on from now.
void App_NsmReady(App* app);
void App_StopNsm(App* app);
// Acts on every request waiting (App_DrainCommands calls it).
void App_NsmDrain(App* app);
// Tells the manager when the session's unsaved-changes state changed (timer 1).
void App_NsmTick(App* app);
// Closing the window under a manager that can show it again: it is hidden instead, and
// the manager told. True when hidden (the program goes on).
bool App_NsmHideOnClose(App* app);
