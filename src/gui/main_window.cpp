#include "gui/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>

#include "app/panel_view.h"
#include "control/fire_action.h"
#include "gui/transport_panel.h"

namespace {

struct MenuRow {
  const char* text;  // null: separator
  int command;
};

const MenuRow kFileMenu[] = {
    {"&New Session (Default Session)", CommandId(Command::NewSession)},
    {"&Open Session...", CommandId(Command::OpenSession)},
    {"&Save Session...", CommandId(Command::SaveSession)},
    {"Save Session &As...", CommandId(Command::SaveSessionAs)},
    {nullptr, 0},
    {"&Load Loop...", CommandId(Command::LoadLoop)},
    {"Sa&ve Loop...", CommandId(Command::SaveLoop)},
    {nullptr, 0},
    {"Save &Current Session as Default", CommandId(Command::SaveDefaultConfig)},
    {nullptr, 0},
    {"E&xit", CommandId(Command::Exit)},
};
const MenuRow kOptionsMenu[] = {
    {"&Metronome...", CommandId(Command::MetronomeDialog)},
    {"Set &Latency...", CommandId(Command::SetLatencyDialog)},
    {"&Preferences...", CommandId(Command::PreferencesDialog)},
    {"MIDI and Keyboard &Control...", CommandId(Command::MidiControlDialog)},
    {"Select &Skin...", CommandId(Command::SelectSkinDialog)},
    {"Select Audio &Devices...", CommandId(Command::SelectAudioDevicesDialog)},
    {"ASIO Control Panel", CommandId(Command::AsioControlPanel)},
};
// Room left on the screen for the window manager's title bar and frame: a 720-pixel
// screen keeps 680 for the window.
constexpr int kTitleBarAllowance = 40;

// F1 itself is the keyboard handler's (it works with the menu bar hidden too); the
// entry only shows the key.
const MenuRow kHelpMenu[] = {{"Keyboard Shortcuts...\tF1", CommandId(Command::HelpDialog)},
                             {"&About ...", CommandId(Command::AboutDialog)}};

}  // namespace

void MainWindow::CommandPosted(void* user) {
  // Announced from the posting thread; one queued drain runs every command posted so far.
  auto* window = static_cast<MainWindow*>(user);
  if (window->drainQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(window, [window] { window->Drain(); }, Qt::QueuedConnection);
}

MainWindow::MainWindow(App* app, QWidget* parent) : QMainWindow(parent), app_(app) {
  setObjectName("MainWindow");
  setWindowTitle(kAppTitle);
  panel_ = new TransportPanel(app, [this] { Refresh(); }, this);
  setCentralWidget(panel_);
  BuildMenus();
  EnableMenuEntry(CommandId(Command::AsioControlPanel), false);  // no ASIO driver on this platform

  refresh_.setInterval(33);
  connect(&refresh_, &QTimer::timeout, this, &MainWindow::Tick);
  midi_.setInterval(2);
  midi_.setTimerType(Qt::PreciseTimer);
  connect(&midi_, &QTimer::timeout, this, [this] { App_Timer2(app_); });
  flash_.setSingleShot(true);
  connect(&flash_, &QTimer::timeout, this, [this] {
    App_Timer3(app_);
    Refresh();
  });
  ControlCommands().SetNotify(CommandPosted, this);
}

MainWindow::~MainWindow() { ControlCommands().SetNotify(nullptr, nullptr); }

void MainWindow::BuildMenus() {
  auto add = [this](const char* title, const MenuRow* rows, size_t count) {
    QMenu* menu = menuBar()->addMenu(title);
    for (size_t i = 0; i < count; ++i) {
      if (!rows[i].text) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(rows[i].text);
      const int command = rows[i].command;
      action->setData(command);
      actions_.insert(command, action);
      connect(action, &QAction::triggered, this, [this, command] {
        App_Command(app_, static_cast<uint32_t>(command));
        Refresh();
      });
    }
    return menu;
  };
  add("&File", kFileMenu, std::size(kFileMenu));
  add("&Options", kOptionsMenu, std::size(kOptionsMenu));
  std::vector<MenuRow> quick = {{"Quick&save Session and Loops...", CommandId(Command::Quicksave)}, {nullptr, 0}};
  static std::string texts[16];
  for (int n = 1; n <= 8; ++n) {
    texts[n - 1] = "Save Quicksave0" + std::to_string(n);
    quick.push_back({texts[n - 1].c_str(), CommandId(Command::SaveQuicksave01) + n - 1});
  }
  quick.push_back({nullptr, 0});
  for (int n = 1; n <= 8; ++n) {
    texts[7 + n] = "Load Quicksave0&" + std::to_string(n);
    quick.push_back({texts[7 + n].c_str(), CommandId(Command::LoadQuicksave01) + n - 1});
  }
  add("&Quick", quick.data(), quick.size());
  add("&Help", kHelpMenu, std::size(kHelpMenu));
}

void MainWindow::Refresh() {
  if (closed_) return;
  panel_->ShowView(App_Panel(app_));
}

void MainWindow::Drain() {
  drainQueued_ = false;
  App_DrainCommands(app_);
  Refresh();
}

void MainWindow::Tick() {
  App_Timer1(app_);
  if (closed_) return;
  PollMidiWhenWanted();
  panel_->TakeLevels();
  panel_->ShowViewIfChanged(App_Panel(app_));
}

void MainWindow::FitToPanel() {
  if (layout()) layout()->activate();  // the menu bar may just have been shown or hidden
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return setFixedSize(sizeHint());
  const QRect area = screen->availableGeometry();
  // On a small screen the panel gives up what it can (the strips' faders grow shorter),
  // leaving room for a title bar.
  setFixedSize(sizeHint().boundedTo(area.size() - QSize(0, kTitleBarAllowance)).expandedTo(minimumSizeHint()));
}

void MainWindow::PlaceOnScreen() {
  adjustSize();
  FitToPanel();
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  QRect frame = frameGeometry();
  frame.moveCenter(area.center());
  move(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
}

void MainWindow::SetTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

void MainWindow::ShowTitleBar(bool shown) {
  // Without its title bar the window is the bare panel: the popup menu reaches every
  // entry of the menu bar.
  if (menuBar()->isVisibleTo(this) != shown) {
    menuBar()->setVisible(shown);
    if (isVisible()) FitToPanel();
  }
  if (windowFlags().testFlag(Qt::FramelessWindowHint) == !shown) return;
  const bool visible = isVisible();
  setWindowFlag(Qt::FramelessWindowHint, !shown);
  if (visible) show();
}

void MainWindow::EnableMenuEntry(int command, bool enabled) {
  if (QAction* action = actions_.value(command, nullptr)) action->setEnabled(enabled);
}

void MainWindow::FocusPanel() { panel_->setFocus(); }

void MainWindow::ShowWindow(bool shown) {
  if (closed_) return;
  if (!shown) return hide();
  show();
  raise();
  activateWindow();
}

void MainWindow::Close() {
  closing_ = true;
  close();
}

bool MainWindow::StartTimers() {
  refresh_.start();
  PollMidiWhenWanted();
  return refresh_.isActive() && midi_.isActive() == App_Timer2Wanted(app_);
}

void MainWindow::PollMidiWhenWanted() {
  const bool wanted = App_Timer2Wanted(app_);
  if (wanted && !midi_.isActive()) midi_.start();
  if (!wanted && midi_.isActive()) midi_.stop();
}

void MainWindow::StopTimers() {
  refresh_.stop();
  midi_.stop();
  flash_.stop();
}

void MainWindow::StartFlashTimer(int milliseconds) { flash_.start(std::max(1, milliseconds)); }

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_ && !App_Close(app_)) {
    event->ignore();
    return;
  }
  StopTimers();
  closed_ = true;
  event->accept();
  // A hidden window's close does not count as the last window closing (the session
  // manager hid it): the program ends all the same.
  if (!isVisible()) QCoreApplication::quit();
}
