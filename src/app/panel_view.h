#pragma once
// What the transport panel shows, as data: the window reads it after every entry point
// and draws it without rules of its own. User-interface thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_host.h"
#include "app/model/track_numbers.h"

struct App;

struct StripView {
  bool mute = false;
  bool solo = false;
  bool reverse = false;
  bool slow = false;
  bool effects = false;
  bool submixB = false;
  bool active = false;  // the current (record) track
  bool empty = true;
  int volume = 127;
  int pan = 63;
  int effectsMix = 0;
  std::string name;
  std::string loopTime;  // "%.2f" seconds
  bool operator==(const StripView&) const = default;
};

struct MeterView {
  int lit = 0;   // LEDs lit from the left
  int held = 0;  // the LED showing the held peak
  bool operator==(const MeterView&) const = default;
};

struct PanelView {
  // Transport buttons ticked
  bool stop = false, play = false, record = false, pause = false;
  bool slow = false, reverse = false, mixToTrack = false, mixToDisk = false;
  // Loop-time section
  int loopTimeMode = 0;
  bool targetButtonsEnabled = false, secondsFieldEnabled = false, measuresFieldEnabled = false;
  bool getEnabled = false, setEnabled = false, loopButtonEnabled = false, maxTimeFieldEnabled = false;
  int loopTimeTarget = 0;  // 0 Current, 1 Empty, 2 All
  bool editButtonsEnabled = false;
  // Each loop edit button: the view's own rule, and for 1260..1270 editButtonsEnabled.
  LoopEditButtons loopEdit;
  std::string editing;    // "Editing %d: %s"
  std::string undoLabel;  // control 1291
  std::string undoDepth;  // beside it (control 1293): "3 more", "1 to redo"
  std::string syncStatus;  // the followed source's tempo beside the loop's own; empty with Internal
  bool undoEnabled = true;  // Undo button 1007, Redo button 1292 and the menu entry of Command::TransportUndo
  // Metronome boxes as shown (switch state or beat flash)
  bool metronomeRecord = false, metronomePlay = false;
  // Loop position bar
  int progress = 0;        // 0..100
  std::string lengthText;  // label 1016
  std::string halfText;    // label 1017
  MeterView meters[4];  // input L, input R, output L, output R
  int meterLeds = 22;
  StripView strips[kStripCount];
  bool operator==(const PanelView&) const = default;
};

PanelView App_Panel(const App* app);

// LEDs lit for a level: trunc(N x min(level x 1.12, 0.999)).
int Meter_LitCount(double level, int leds);
// One display refresh of a meter with peak hold (held level and counter).
struct MeterState;
void Meter_Update(MeterState* meter, double level, bool peakHold);

// The command a panel button gives (command 0 for a control that gives none). The loop-
// time mode buttons carry their mode in the track field, as Loop Time Mode reads it.
struct PanelCommand {
  int command = 0;
  uint32_t parameter = 0;
};
PanelCommand Panel_Button(int controlId);

// The popup menu: entries in order; `strip` is the track-number button under the
// pointer (-1 elsewhere), which sets the pending track.
// With the title bar hidden the menu bar is hidden too, so the popup reaches every
// entry of the menu bar; the quicksave entries sit in a submenu of their own.
struct MenuEntry {
  std::string text;  // empty for a separator
  int command = 0;   // 0 for "Hide/Show Title Bar"
  std::string submenu = {};  // the submenu holding the entry; empty for the menu itself
};
std::vector<MenuEntry> App_PopupMenu(App* app, int strip);
// A popup entry was chosen: all but the two loop entries clear the pending track.
void App_PopupChoose(App* app, const MenuEntry& entry);
// The popup closed without a choice: the track it named is no longer pending, so a
// later Load or Save Loop asks which track.
void App_PopupDismissed(App* app);
