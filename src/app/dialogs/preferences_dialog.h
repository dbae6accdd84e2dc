#pragma once
// "Preferences": the monitor sliders and switches act at once; the other check boxes,
// the directories and the delay maximum are taken by OK, which writes Preferences.xml.
// Cancel puts back what acted at once. User-interface thread only.
#include <string>
#include <vector>

#include "app/dialogs/midi_output_choice.h"
#include "app/model/sync_follower.h"
#include "app/settings/preferences.h"

enum class MonitorSlider { Volume = 0, Pan = 1, EffectsMix = 2 };

// The check boxes that OK stores (in the order of the preferences file).
struct PreferenceBox {
  const char* label;
  int Preferences::*field;
  void (*apply)(int on);  // for the boxes that act on the engine, else null
};
inline constexpr int kPreferenceBoxCount = 17;
extern const PreferenceBox kPreferenceBoxes[kPreferenceBoxCount];

struct PreferencesDialog {
  int slider[3] = {0, 0, 0};  // 0..127, applied at once
  bool monitor = false;            // "&Monitor", applied at once
  bool useLoopEffectsMix = false;  // "Use active track FX mix", applied at once
  bool sendSync = false;           // "Send MIDI Clock Sync", applied at once
  std::vector<MidiOutputChoice> ports;
  int port = -1;  // the chosen entry of `ports`, applied at once
  bool undo = true;    // "&Undo Enabled"
  bool stereo = true;  // "&Record in Stereo"
  bool boxes[kPreferenceBoxCount] = {};
  std::string quicksaveDirectory;
  std::string mixToDiskDirectory;
  std::string delayMax;  // "%d"
  int loopFileFormat = 0;  // "Save Loops As", an entry of kLoopFileFormatNames
  // "Controller Feedback To": an entry of `ports`, -1 for "None". Taken by OK.
  int feedbackPort = -1;
  // "OSC Port (0 = off)" as typed and "Listen on All Interfaces": taken by OK, after
  // which the application starts, moves or stops its OSC server.
  std::string oscPort;  // "%d"
  bool oscAllInterfaces = false;
  std::string undoMemory;  // "Undo memory (MB)", "%d"
  int seamCrossfadeMs = 5;  // "Crossfade (ms)" at the loops' seams, 0..50
  int syncSource = 0;      // "Follow Tempo From", an entry of kSyncSourceNames
  int syncStartOn = 0;     // "Start Waits For", an entry of kSyncStartOnNames
  bool syncLeadJack = false;  // "Lead JACK Transport" (with Internal)
  bool syncLeadLink = false;  // "Join Ableton Link" (with Internal)

  struct {
    int slider[3];
    int monitor, useLoopEffectsMix, sendSync, syncPort;
  } saved{};
};

// The entries of "Save Loops As", in the order of the loop_file_format values.
inline constexpr const char* kLoopFileFormatNames[3] = {"16-bit PCM WAV", "24-bit PCM WAV", "32-bit float WAV"};

// The feedback output's entries: "None", then the names of `ports`; entry i + 1 is ports[i].
std::vector<std::string> PreferencesDialog_FeedbackPortNames(const PreferencesDialog& d);

PreferencesDialog PreferencesDialog_Open();
// "Volume: %d", "Pan: %d", "Effects Mix: %d" with the position x 100 / 127.
std::string PreferencesDialog_SliderLabel(const PreferencesDialog& d, MonitorSlider which);
void PreferencesDialog_MoveSlider(PreferencesDialog* d, MonitorSlider which, int position);
void PreferencesDialog_SetMonitor(PreferencesDialog* d, bool on);
void PreferencesDialog_SetUseLoopEffectsMix(PreferencesDialog* d, bool on);
inline bool PreferencesDialog_EffectsMixEnabled(const PreferencesDialog& d) { return !d.useLoopEffectsMix; }
void PreferencesDialog_SetSendSync(PreferencesDialog* d, bool on);
inline bool PreferencesDialog_PortEnabled(const PreferencesDialog& d) { return d.sendSync; }
void PreferencesDialog_ChoosePort(PreferencesDialog* d, int entry);
// OK: true when the dialog closes. Every field is checked and the erase question asked
// before anything is applied, so an OK that keeps the dialog open changes nothing.
bool PreferencesDialog_Ok(PreferencesDialog* d);
void PreferencesDialog_Cancel(PreferencesDialog* d);
