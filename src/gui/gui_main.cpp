// Kestrine with its window: the Qt program around the toolkit-free application. The
// window is shown first, then the application starts (configuration, audio device, MIDI,
// default session, timers); the event loop runs until the window closes, and the
// normal shutdown follows.
#include <QApplication>
#include <filesystem>

#include "app/app.h"
#include "app/startup.h"
#include "gui/dialogs.h"
#include "gui/key_filter.h"
#include "gui/main_window.h"
#include "gui/message_box.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName(kAppTitle);
  std::error_code ec;
  const std::filesystem::path start = std::filesystem::current_path(ec);

  static App app;
  MainWindow window(&app);
  QtMessageDialog messages(&window);
  QtFileDialog files(&window);
  QtDialogHost dialogs(&window);
  MessageDialog_Install(&messages);
  FileDialog_Install(&files);
  KeyFilter keys(&app, &window, [&window] { window.Refresh(); });
  qt.installEventFilter(&keys);

  window.PlaceOnScreen();
  window.show();
  AppSeams seams;
  seams.window = &window;
  seams.dialogs = &dialogs;
  int code = 0;
  if (!App_Start(&app, ec ? std::string() : start.string(), seams)) {
    MessageDialog_Install(nullptr);
    FileDialog_Install(nullptr);
    return 0;
  }
  window.Refresh();
  if (!window.closed()) code = qt.exec();
  qt.removeEventFilter(&keys);
  App_Shutdown(&app);
  MessageDialog_Install(nullptr);
  FileDialog_Install(nullptr);
  return code;
}
