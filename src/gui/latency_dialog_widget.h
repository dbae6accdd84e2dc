#pragma once
// The Qt face of "Set Latency" (model: app/dialogs/latency_dialog.h).
#include <QDialog>

#include "app/dialogs/latency_dialog.h"

class QLineEdit;

class LatencyDialogWidget final : public QDialog {
 public:
  explicit LatencyDialogWidget(QWidget* parent);
  void accept() override;

 private:
  LatencyDialog model_;
  QLineEdit* milliseconds_;
};
