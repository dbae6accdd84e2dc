#pragma once
// The Qt face of "Set Latency" (model: app/dialogs/latency_dialog.h).
#include <QDialog>

#include "app/dialogs/latency_dialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class LatencyDialogWidget final : public QDialog {
 public:
  explicit LatencyDialogWidget(QWidget* parent);
  void accept() override;
  void reject() override;

 private:
  void Measure();
  void PollMeasure();

  LatencyDialog model_;
  QLineEdit* milliseconds_;
  QLabel* roundTrip_;
  QPushButton* measure_;
  QTimer* poll_;  // runs while a measurement is under way
};
