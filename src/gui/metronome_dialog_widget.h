#pragma once
// The Qt face of "Metronome" (model: app/dialogs/metronome_dialog.h).
#include <QDialog>

#include "app/dialogs/metronome_dialog.h"

class QComboBox;
class QLineEdit;

class MetronomeDialogWidget final : public QDialog {
 public:
  explicit MetronomeDialogWidget(QWidget* parent);
  void accept() override;
  void reject() override;

 private:
  void ShowState();

  MetronomeDialog model_;
  QComboBox* combos_[6];  // port, accent note, beat note, accent volume, beat volume, channel
  QLineEdit* beat_;
  QLineEdit* accent_;
};
