// The window as a user drives it: menus, panel clicks, keys through the event filter,
// files dropped on a track, the effects sliders. Each checks that the input reached the
// application and that the window shows the application's state afterwards.
#include <QAction>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <fstream>
#include <set>

#include "app/loads.h"
#include "app/loopedit/loop_edit_model.h"
#include "app/panel_view.h"
#include "control/fire_action.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "gui/gui_fixture.h"
#include "gui/loop_edit_widget.h"
#include "gui/panel_widgets.h"
#include "persist/config_directory.h"

namespace {

bool Lit(QWidget* w) { return w && w->property("lit").toBool(); }

}  // namespace

TEST_F(GuiTest, MenusCarryDistinctCommandIds) {
  // Every entry names its command by id; two entries with one id would run the same command.
  const QList<QAction*> menus = window_->menuBar()->actions();
  ASSERT_EQ(menus.size(), 4);
  const int entries[] = {8, 7, 17, 2};  // File, Options, Quick (one save, eight of each), Help
  std::set<int> ids;
  for (int m = 0; m < 4; ++m) {
    int shown = 0;
    for (QAction* a : menus[m]->menu()->actions()) {
      if (a->isSeparator()) continue;
      ++shown;
      EXPECT_TRUE(ids.insert(a->data().toInt()).second) << a->text().toStdString();
      EXPECT_EQ(window_->MenuAction(a->data().toInt()), a);
    }
    EXPECT_EQ(shown, entries[m]) << menus[m]->text().toStdString();
  }
  EXPECT_EQ(window_->MenuAction(32859)->text(), "Load Quicksave0&1");
  // No ASIO driver exists here; the application may enable entries through its host.
  EXPECT_FALSE(window_->MenuAction(32837)->isEnabled());
  window_->EnableMenuEntry(32799, false);  // an id without an entry is ignored
}

TEST_F(GuiTest, AMenuEntryRunsItsCommandAndF1ShowsTheKeyList) {
  window_->MenuAction(32782)->trigger();  // About
  EXPECT_EQ(dialogs.about.version, "Version 1.73");

  std::ofstream(DataDirectory_File("help.txt"), std::ios::binary) << "r\trecord\n";
  EXPECT_EQ(window_->MenuAction(32783)->text(), "Keyboard Shortcuts...\tF1");
  window_->MenuAction(32783)->trigger();
  EXPECT_EQ(dialogs.help, std::vector<std::string>{"rrecord"});
  dialogs.help.clear();
  QTest::keyClick(window_->panel(), Qt::Key_F1);
  Settle();
  EXPECT_EQ(dialogs.help, std::vector<std::string>{"rrecord"});
}

TEST_F(GuiTest, TheGlobalSlowAndReverseLightsFollowTheirKeysAndButtons) {
  QTest::keyClick(window_->panel(), 's');
  Settle();
  EXPECT_TRUE(Lit(Control(1008)));
  Click(1009);  // Reverse
  EXPECT_TRUE(Lit(Control(1009)));
  QTest::keyClick(window_->panel(), 'v');
  Settle();
  EXPECT_FALSE(Lit(Control(1009)));
  EXPECT_TRUE(Lit(Control(1008)));
}

TEST_F(GuiTest, TheLoopEditViewDrawsTheApplicationsViewInAWindowThatFitsTheScreen) {
  auto* wave = Control<LoopEditWidget>(1275);
  ASSERT_NE(wave, nullptr);
  EXPECT_TRUE(wave->isVisible());
  EXPECT_GE(wave->height(), 90);
  EXPECT_EQ(wave->hasModel(), App_LoopEditView(app_.get()) != nullptr);
  // The whole window, panel and menu bar, fits a 1280x720 screen (a laptop, a projector)
  // below a window manager's title bar.
  const QSize least = window_->minimumSizeHint();
  EXPECT_LE(least.width(), 1280);
  EXPECT_LE(least.height(), 680);
  std::printf("window at least %dx%d\n", least.width(), least.height());
}

// Counts the paint events of every widget while it lives.
class PaintCounter : public QObject {
 public:
  PaintCounter() { qApp->installEventFilter(this); }
  ~PaintCounter() override { qApp->removeEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint;
    return false;
  }
};

// Idle, the refresh timer repaints nothing: a laptop on battery keeps its core asleep.
TEST_F(GuiTest, AnIdleRefreshRepaintsNothingAndAChangeRepaintsIt) {
  auto tick = [&] {
    App_Timer1(&app());
    window_->Refresh();
    Settle();
  };
  for (int i = 0; i < 5; ++i) tick();  // the first ticks may still lay out and paint
  PaintCounter counter;
  for (int i = 0; i < 30; ++i) tick();
  EXPECT_EQ(counter.paints, 0) << "a second of idle refreshes repainted";
  Click(1142);  // solo track 2
  tick();
  EXPECT_GT(counter.paints, 0);
}

// Timer 1's refresh touches no widget while nothing it shows has changed, and draws what
// changed during the tick itself (a followed tempo moves the delay, say) at once.
TEST_F(GuiTest, TheTimersRefreshDrawsOnlyWhenSomethingShownHasChanged) {
  TransportPanel* panel = window_->panel();
  panel->ShowView(App_Panel(&app()));
  auto* master = Named<QSlider>("masterVolume");
  const int shown = master->value();
  {
    const QSignalBlocker quiet(master);
    master->setValue(shown - 20);  // a widget out of step: only a real redraw puts it back
  }
  panel->ShowViewIfChanged(App_Panel(&app()));
  EXPECT_EQ(master->value(), shown - 20) << "an idle tick redrew";
  app().effects.delayMix = 10;
  panel->ShowViewIfChanged(App_Panel(&app()));
  EXPECT_EQ(Named<QSlider>("delayMix")->value(), 10);
  EXPECT_EQ(master->value(), shown);
}

TEST_F(GuiTest, TransportButtonsAndStripSwitchesReachTheCore) {
  Click(1001);  // Record
  EXPECT_EQ(Audio_GetTransportState(), Recording);
  EXPECT_TRUE(Lit(Control(1001)));
  EXPECT_FALSE(Lit(Control(1000)));
  Click(1000);  // Stop
  EXPECT_NE(Audio_GetTransportState(), Recording);
  EXPECT_FALSE(Lit(Control(1001)));

  // Solo on track 3 clears track 2's; with Shift held both stay.
  const int solo2 = 1142, solo3 = 1143;
  Click(solo2);
  Click(solo3);
  EXPECT_FALSE(strip(1).solo);
  EXPECT_TRUE(strip(2).solo);
  EXPECT_TRUE(Lit(Control(solo3)));
  EXPECT_FALSE(Lit(Control(solo2)));
  QTest::keyPress(window_->panel(), Qt::Key_Shift);
  Click(solo2);
  QTest::keyRelease(window_->panel(), Qt::Key_Shift);
  EXPECT_TRUE(strip(1).solo);
  EXPECT_TRUE(strip(2).solo);

  // Active selects the track; the "Editing" label follows.
  Click(1151);  // track 4 Active
  EXPECT_EQ(app().tracks.current, 3);
  EXPECT_EQ(Control<QLabel>(1274)->text(), "Editing 4: Track 4");
  EXPECT_TRUE(Lit(Control(1151)));
}

TEST_F(GuiTest, KeysReachTheKeyboardHandlerBeforeTheWidgets) {
  QWidget* panel = window_->panel();
  // Upper case does nothing; "r" posts Record, which the window drains.
  QTest::keyClick(panel, 'R');
  Settle();
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  QTest::keyClick(panel, 'r');
  Settle();
  EXPECT_EQ(Audio_GetTransportState(), Recording);
  EXPECT_TRUE(Lit(Control(1001)));
  QTest::keyClick(panel, Qt::Key_Return);
  Settle();
  EXPECT_NE(Audio_GetTransportState(), Recording);

  // Ctrl+Z with Control held posts Undo.
  ControlCommands().SetNotify(nullptr, nullptr);  // keep the post in the queue to look at it
  QTest::keyPress(panel, Qt::Key_Control);
  QTest::keyClick(panel, Qt::Key_Z, Qt::ControlModifier);
  QTest::keyRelease(panel, Qt::Key_Control);
  ControlCommand posted;
  ASSERT_TRUE(ControlCommands().Take(&posted));
  EXPECT_EQ(posted.commandId, 32799);
  EXPECT_FALSE(ControlCommands().Take(&posted));
  QTest::keyPress(panel, Qt::Key_Control);  // Ctrl+Y posts Redo
  QTest::keyClick(panel, Qt::Key_Y, Qt::ControlModifier);
  QTest::keyRelease(panel, Qt::Key_Control);
  ASSERT_TRUE(ControlCommands().Take(&posted));
  EXPECT_EQ(posted.commandId, CommandId(Command::TransportRedo));

  // Characters typed into a name field are the field's; Enter commits the names.
  auto* name = Control<QLineEdit>(1107);  // track 3
  name->setFocus();
  Settle();
  name->selectAll();
  QTest::keyClicks(name, "pr");
  EXPECT_EQ(ControlCommands().Size(), 0u);
  EXPECT_EQ(Audio_GetTransportState(), Stopped);
  QTest::keyClick(name, Qt::Key_Return);
  Settle();
  EXPECT_EQ(strip(2).name, "pr");
  EXPECT_TRUE(window_->panel()->hasFocus());
  EXPECT_TRUE(app().session.dirty);
  EXPECT_TRUE(window_->windowTitle().endsWith("*"));
}

TEST_F(GuiTest, TwoWavFilesDroppedOnTrack7LoadIntoTracks7And8) {
  const std::string a = MakeWav("kick.wav", 4800, 1000);
  const std::string b = MakeWav("snare.WAV", 9600, 2000);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)), QUrl::fromLocalFile(QString::fromStdString(b))});
  auto* target = Control(1233);  // track 7's number button
  ASSERT_NE(target, nullptr);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  App_WaitForLoads(&app());  // the files are read off the window's thread
  Settle();
  EXPECT_FALSE(strip(6).empty);
  EXPECT_FALSE(strip(7).empty);
  EXPECT_EQ(strip(6).name, "kick");
  EXPECT_EQ(strip(7).name, "snare");
  EXPECT_EQ(Control<QLineEdit>(1111)->text(), "kick");
  EXPECT_EQ(Control<QLabel>(1230)->text(), "0.10");
  EXPECT_EQ(Control<QLabel>(1231)->text(), "0.20");
}

TEST_F(GuiTest, EffectsSlidersGoThroughTheEffectsModel) {
  // Linked filter channels move together; the texts are the model's.
  auto* left = Named<QSlider>("filterFrequency0");
  ASSERT_NE(left, nullptr);
  left->setValue(0);
  EXPECT_EQ(app().effects.filterFrequency[0], 0);
  EXPECT_EQ(app().effects.filterFrequency[1], 0);
  EXPECT_EQ(Named<QSlider>("filterFrequency1")->value(), 0);
  EXPECT_EQ(Named<QLabel>("filterFrequency1Text")->text(), "1");

  // A delay time typed into its box and committed with Enter.
  auto* ms = Control<QLineEdit>(1294);
  ms->setFocus();
  Settle();
  ms->selectAll();
  QTest::keyClicks(ms, "320");
  QTest::keyClick(ms, Qt::Key_Return);
  Settle();
  EXPECT_EQ(app().effects.delayMilliseconds[0], 320);
  EXPECT_EQ(Named<QLabel>("delayTime0Text")->text(), "320");
  EXPECT_EQ(Control<QLineEdit>(1295)->text(), "320");  // linked

  // Master and submix faders send their commands; crossfade_ab keeps A and B opposite.
  Named<QSlider>("submixA")->setValue(32);
  EXPECT_NEAR(Audio_GetEngine()->submixVolume[0], 32 / 127.0, 1e-9);
  EXPECT_NEAR(Audio_GetEngine()->submixVolume[1], 95 / 127.0, 1e-9);
  EXPECT_EQ(Named<QSlider>("submixB")->value(), 95);
}

TEST_F(GuiTest, PopupMenuOnATrackNumberButtonNamesTheTrack) {
  auto* number = Control(1235);  // track 5
  QStringList texts;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* a : menu->actions()) texts << a->text();
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, number->mapTo(window_->panel(), QPoint(3, 3)),
                          number->mapToGlobal(QPoint(3, 3)));
  QCoreApplication::sendEvent(window_->panel(), &event);
  ASSERT_GE(texts.size(), 3);
  EXPECT_EQ(texts[1], "Load Loop to Track 5...");
  EXPECT_EQ(texts[2], "Save Track 5 Loop...");
  // Closed without a choice: nothing stays pending, and Load Loop asks for the track.
  EXPECT_EQ(app().pendingTrack, 0);
  dialogs.selectTrack = 1;
  window_->MenuAction(32790)->trigger();
  EXPECT_EQ(files.titles, std::vector<std::string>{"Load Track 2:"});
}

TEST_F(GuiTest, WithoutItsTitleBarTheWindowMovesByItsPanel) {
  const int heightWithMenus = window_->height();
  App_PopupChoose(&app(), App_PopupMenu(&app(), -1)[0]);  // "Hide Title Bar"
  EXPECT_TRUE(window_->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->menuBar()->isVisible());  // the bare panel
  EXPECT_EQ(window_->height(), window_->panel()->height());
  EXPECT_LT(window_->height(), heightWithMenus);
  EXPECT_EQ(window_->width(), window_->panel()->width());

  QWidget* panel = window_->panel();
  const QPoint start = window_->pos();
  const QPoint grip(2, 2);  // the panel's own background, outside every control
  ASSERT_EQ(panel->childAt(grip), nullptr);
  QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, grip);
  QMouseEvent move(QEvent::MouseMove, QPointF(grip + QPoint(40, 25)), panel->mapToGlobal(QPointF(grip + QPoint(40, 25))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(panel, &move);
  QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, grip + QPoint(40, 25));
  EXPECT_EQ(window_->pos(), start + QPoint(40, 25));

  App_PopupChoose(&app(), App_PopupMenu(&app(), -1)[0]);  // "Show Title Bar"
  EXPECT_FALSE(window_->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(window_->menuBar()->isVisible());
  EXPECT_EQ(window_->height(), window_->panel()->height() + window_->menuBar()->height());
}

// Inputs that wake the window when input arrives need no 2 ms poll: a pad's note reaches
// the application through the window's drain. Only an input whose layer cannot wake the
// window (JACK MIDI) brings the poll back, and only while it is enabled.
TEST_F(GuiTest, TheTwoMillisecondPollRunsOnlyForEnabledInputsThatCannotWakeTheWindow) {
  ASSERT_GT(MidiPorts().inputCount, 0);
  RecomputeEnabledInputs();  // no trigger wants an input
  ASSERT_TRUE(window_->StartTimers());
  EXPECT_FALSE(window_->PollingMidi());
  Trigger t = Trigger_Make(TriggerType::NoteOn);
  t.action.commandId = CommandId(Command::TransportRecord);
  t.data1.SetInput(60, ValueRange::kSingle);
  Triggers().Add(TriggerType::NoteOn, t);
  RecomputeEnabledInputs();
  QTest::qWait(80);  // the next refresh tick notices
  EXPECT_FALSE(window_->PollingMidi());
  midi.Inject(midiIn, MidiMessage(0x90, 60, 100));
  EXPECT_TRUE(QTest::qWaitFor([] { return Audio_GetTransportState() == Recording; }, 5000));
  EXPECT_FALSE(window_->PollingMidi());

  midi.OfferWakeDescriptors(false);
  EnableAllInputs();  // as the MIDI control dialog does while it learns
  QTest::qWait(80);
  EXPECT_TRUE(window_->PollingMidi());
  Triggers().ClearAll();
  RecomputeEnabledInputs();
  QTest::qWait(80);
  EXPECT_FALSE(window_->PollingMidi());
  window_->StopTimers();
}
