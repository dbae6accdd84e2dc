#include "gui/modal_dialogs.h"

#include "app/app.h"
#include "gui/device_dialog_widget.h"
#include "gui/latency_dialog_widget.h"
#include "gui/loop_time_dialog_widget.h"
#include "gui/metronome_dialog_widget.h"
#include "gui/midi_control_dialog_widget.h"
#include "gui/preferences_dialog_widget.h"
#include "gui/skin_dialog.h"

bool Dialogs_Run(QWidget* parent, App* app, ModalDialog which) {
  switch (which) {
    case ModalDialog::SetLoopTime: return LoopTimeDialogWidget(parent, app).exec() == QDialog::Accepted;
    case ModalDialog::SetLatency: return LatencyDialogWidget(parent).exec() == QDialog::Accepted;
    case ModalDialog::Preferences: return PreferencesDialogWidget(parent).exec() == QDialog::Accepted;
    case ModalDialog::Metronome: return MetronomeDialogWidget(parent).exec() == QDialog::Accepted;
    case ModalDialog::MidiControl: return MidiControlDialogWidget(parent).exec() == QDialog::Accepted;
    case ModalDialog::SelectAudioDevices: {
      DeviceDialogWidget dialog(parent, app ? app->window : nullptr);
      return dialog.Opened() && dialog.exec() == QDialog::Accepted;
    }
    case ModalDialog::SelectSkin: return SelectSkinDialog_Run(parent);
    case ModalDialog::AsioControlPanel: return false;
  }
  return false;
}
