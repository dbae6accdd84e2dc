#pragma once
// The Qt face of "MIDI & Keyboard Control" (model: app/dialogs/midi_control_dialog.h). Learn
// messages from the MIDI poll are queued by the model and handled here from the event
// loop, never inside the poll.
#include <QDialog>

#include "app/dialogs/midi_control_dialog.h"

class QLabel;
class QListWidget;

class MidiControlDialogWidget final : public QDialog {
 public:
  explicit MidiControlDialogWidget(QWidget* parent);
  void accept() override;
  void reject() override;

  // The lists by what they choose, in ControlList order (tests find them here too).
  QListWidget* DetailList(ControlList list) const { return details_[static_cast<int>(list)]; }
  QListWidget* TriggerList() const { return triggers_; }

 private:
  static constexpr int kDetailLists = static_cast<int>(ControlList::Feedback) + 1;
  void ShowAll();

  MidiControlDialog model_;
  QListWidget* triggers_;
  QListWidget* details_[kDetailLists];
  QLabel* valueLabel_;
  QLabel* rangeLabel_;
  bool keyValues_ = false;
};
