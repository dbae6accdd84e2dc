#pragma once
// The Qt face of "Preferences" (model: app/dialogs/preferences_dialog.h).
#include <QDialog>

#include "app/dialogs/preferences_dialog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

class PreferencesDialogWidget final : public QDialog {
 public:
  explicit PreferencesDialogWidget(QWidget* parent);
  void accept() override;
  void reject() override;

 private:
  void ShowState();

  PreferencesDialog model_;
  QSlider* sliders_[3];
  QLabel* sliderLabels_[3];
  QCheckBox* undo_;
  QCheckBox* stereo_;
  QCheckBox* boxes_[kPreferenceBoxCount];
  QComboBox* port_;
  QLineEdit* quicksave_;
  QLineEdit* mixToDisk_;
  QLineEdit* delayMax_;
  QComboBox* loopFileFormat_;
  QComboBox* feedbackPort_;
  QLineEdit* oscPort_;
  QCheckBox* oscAllInterfaces_;
  QLineEdit* undoMemory_;
  QSpinBox* seamCrossfade_;
  QComboBox* syncSource_;
  QComboBox* syncStartOn_;
  QCheckBox* syncLeadJack_;
  QCheckBox* syncLeadLink_;
};
