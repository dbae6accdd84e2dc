#pragma once
// The Qt face of "Select Audio Devices" (model: app/dialogs/device_dialog.h). Constructing it
// closes the stream; Opened() is false when the dialog ended at once (no driver).
// "Rescan" lists the drivers and devices again as the audio layer finds them now.
#include <QDialog>

#include "app/dialogs/device_dialog.h"

class QComboBox;
class QLabel;
class QListWidget;

class DeviceDialogWidget final : public QDialog {
 public:
  DeviceDialogWidget(QWidget* parent, WindowHost* window);
  bool Opened() const { return opened_; }
  void accept() override;
  void reject() override;

  QListWidget* Drivers() const { return drivers_; }
  QListWidget* Inputs() const { return inputs_; }
  QListWidget* Outputs() const { return outputs_; }
  QListWidget* Rates() const { return rates_; }

 private:
  void ShowDrivers();
  void ShowDevices();
  void ShowRates();
  void ShowProcessing();

  DeviceDialog model_;
  bool opened_ = false;
  QListWidget* drivers_;
  QListWidget* inputs_;
  QListWidget* outputs_;
  QListWidget* rates_;
  QLabel* details_[2];
  QComboBox* pairs_[2];
};
