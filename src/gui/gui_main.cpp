// Kestrine with its window: the Qt program around the toolkit-free application. The
// window is shown first, then the application starts (configuration, audio device, MIDI,
// default session, timers); the event loop runs until the window closes, and the
// normal shutdown follows.
#include <QApplication>
#include <filesystem>

#include "app/app.h"
#include "app/settings/file_locations.h"
#include "app/session/session_store.h"
#include "app/startup.h"
#include "gui/command_line.h"
#include "gui/dialogs.h"
#include "gui/key_filter.h"
#include "gui/main_window.h"
#include "gui/message_box.h"

namespace {

void Uninstall() {
  MessageDialog_Install(nullptr);
  FileDialog_Install(nullptr);
  ProgressDialog_Install(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCoreApplication::setApplicationName(kAppTitle);
  QCoreApplication::setApplicationVersion(kAppVersion);
  const CommandLine line = CommandLine_Parse(arguments);
  if (line.exit) return line.exitCode;
  if (line.render) return App_RenderCommand(line.renderRequest);

  QApplication qt(argc, argv);
  std::error_code ec;
  const std::filesystem::path start = std::filesystem::current_path(ec);

  static App app;
  MainWindow window(&app);
  QtMessageDialog messages(&window);
  QtFileDialog files(&window);
  QtDialogHost dialogs(&app, &window);
  QtProgressDialog progress(&window);
  AppSessionStore sessions(App_SessionParts(&app));
  MessageDialog_Install(&messages);
  FileDialog_Install(&files);
  ProgressDialog_Install(&progress);
  KeyFilter keys(&app, &window, [&window] { window.Refresh(); });
  qt.installEventFilter(&keys);

  window.PlaceOnScreen();
  window.show();
  AppSeams seams;
  seams.window = &window;
  seams.dialogs = &dialogs;
  seams.sessions = &sessions;
  app.oscPortFromCommandLine = line.oscPort;
  app.syncFromCommandLine = line.syncSource;
  int code = 0;
  const FileLocations where = FileLocations_Resolve(FileLocations_FromEnvironment(ec ? std::string() : start.string()));
  if (!App_Start(&app, where, seams)) {
    Uninstall();
    return 0;
  }
  if (!line.session.empty()) App_OpenSessionFromCommandLine(&app, line.session);
  window.Refresh();
  if (!window.closed()) code = qt.exec();
  qt.removeEventFilter(&keys);
  App_Shutdown(&app);
  Uninstall();
  return code;
}
