#pragma once
// The Qt face of "Set Latency" (model: app/latency_dialog.h).
#include <QDialog>

#include "app/latency_dialog.h"

class QLineEdit;

class LatencyDialogWidget final : public QDialog {
 public:
  explicit LatencyDialogWidget(QWidget* parent);
  void accept() override;

 private:
  LatencyDialog model_;
  QLineEdit* milliseconds_;
};
