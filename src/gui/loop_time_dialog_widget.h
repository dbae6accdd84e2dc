#pragma once
// The Qt face of "Set Loop Time" (model: app/dialogs/loop_time_dialog.h).
#include <QDialog>

#include "app/dialogs/loop_time_dialog.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;
struct App;

class LoopTimeDialogWidget final : public QDialog {
 public:
  LoopTimeDialogWidget(QWidget* parent, App* app);
  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Take();  // the fields into the model
  void ShowChoice();

  LoopTimeDialog model_;
  QLineEdit* fields_[4];  // seconds, tempo, measures, maximum
  QRadioButton* radios_[3];
  QCheckBox* setAll_;
  QCheckBox* setEmpty_;
};
