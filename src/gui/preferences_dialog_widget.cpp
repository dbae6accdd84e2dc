#include "gui/preferences_dialog_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/dialog_parts.h"

PreferencesDialogWidget::PreferencesDialogWidget(QWidget* parent)
    : QDialog(parent), model_(PreferencesDialog_Open()) {
  setWindowTitle("Preferences");
  auto* layout = new QVBoxLayout(this);

  auto* monitorGroup = new QGroupBox("Monitor Input", this);
  auto* monitorGrid = new QGridLayout(monitorGroup);
  auto* monitor = new QCheckBox("&Monitor", monitorGroup);
  monitor->setChecked(model_.monitor);
  connect(monitor, &QCheckBox::toggled, this, [this](bool on) { PreferencesDialog_SetMonitor(&model_, on); });
  monitorGrid->addWidget(monitor, 0, 0);
  const char* sliderIds[3] = {"1206", "1207", "1210"};
  for (int i = 0; i < 3; ++i) {
    sliders_[i] = new QSlider(Qt::Horizontal, monitorGroup);
    sliders_[i]->setObjectName(sliderIds[i]);
    sliders_[i]->setRange(0, 127);
    sliders_[i]->setValue(model_.slider[i]);
    sliderLabels_[i] = new QLabel(monitorGroup);
    connect(sliders_[i], &QSlider::valueChanged, this, [this, i](int position) {
      PreferencesDialog_MoveSlider(&model_, static_cast<MonitorSlider>(i), position);
      ShowState();
    });
    monitorGrid->addWidget(sliderLabels_[i], i + 1, 0);
    monitorGrid->addWidget(sliders_[i], i + 1, 1);
  }
  auto* useLoop = new QCheckBox("Use active track FX mix", monitorGroup);
  useLoop->setChecked(model_.useLoopEffectsMix);
  connect(useLoop, &QCheckBox::toggled, this, [this](bool on) {
    PreferencesDialog_SetUseLoopEffectsMix(&model_, on);
    ShowState();
  });
  monitorGrid->addWidget(useLoop, 4, 0, 1, 2);
  layout->addWidget(monitorGroup);

  auto* boxGrid = new QGridLayout;
  undo_ = new QCheckBox("&Undo Enabled", this);
  undo_->setChecked(model_.undo);
  stereo_ = new QCheckBox("&Record in Stereo", this);
  stereo_->setChecked(model_.stereo);
  boxGrid->addWidget(undo_, 0, 0);
  boxGrid->addWidget(stereo_, 0, 1);
  for (int i = 0; i < kPreferenceBoxCount; ++i) {
    boxes_[i] = new QCheckBox(kPreferenceBoxes[i].label, this);
    boxes_[i]->setChecked(model_.boxes[i]);
    boxGrid->addWidget(boxes_[i], 1 + i / 2, i % 2);
  }
  layout->addLayout(boxGrid);

  auto* form = new QFormLayout;
  auto* sendSync = new QCheckBox("Send MIDI Clock Sync", this);
  sendSync->setChecked(model_.sendSync);
  port_ = new QComboBox(this);
  port_->setObjectName("1289");
  std::vector<std::string> names;
  for (const MidiOutputChoice& c : model_.ports) names.push_back(c.name);
  Dialog_Fill(port_, names);
  connect(sendSync, &QCheckBox::toggled, this, [this](bool on) {
    PreferencesDialog_SetSendSync(&model_, on);
    ShowState();
  });
  connect(port_, &QComboBox::activated, this, [this](int entry) { PreferencesDialog_ChoosePort(&model_, entry); });
  form->addRow(sendSync, port_);
  quicksave_ = new QLineEdit(Q(model_.quicksaveDirectory), this);
  quicksave_->setObjectName("1255");
  mixToDisk_ = new QLineEdit(Q(model_.mixToDiskDirectory), this);
  mixToDisk_->setObjectName("1256");
  delayMax_ = new QLineEdit(Q(model_.delayMax), this);
  delayMax_->setObjectName("1144");
  form->addRow("Quicksave Directory:", quicksave_);
  form->addRow("Mix to Disk Directory:", mixToDisk_);
  form->addRow("Max Delay Time (200 to 5000 milliseconds)", delayMax_);
  loopFileFormat_ = new QComboBox(this);
  loopFileFormat_->setObjectName("loop_file_format");
  Dialog_Fill(loopFileFormat_, std::vector<std::string>(std::begin(kLoopFileFormatNames), std::end(kLoopFileFormatNames)));
  Dialog_Select(loopFileFormat_, model_.loopFileFormat);
  form->addRow("Save Loops As:", loopFileFormat_);
  feedbackPort_ = new QComboBox(this);
  feedbackPort_->setObjectName("midi_feedback_port");
  Dialog_Fill(feedbackPort_, PreferencesDialog_FeedbackPortNames(model_));
  Dialog_Select(feedbackPort_, model_.feedbackPort + 1);
  form->addRow("Controller Feedback To:", feedbackPort_);
  oscPort_ = new QLineEdit(Q(model_.oscPort), this);
  oscPort_->setObjectName("osc_port");
  oscAllInterfaces_ = new QCheckBox("Listen on All Interfaces", this);
  oscAllInterfaces_->setObjectName("osc_all_interfaces");
  oscAllInterfaces_->setChecked(model_.oscAllInterfaces);
  auto* osc = new QHBoxLayout;
  osc->addWidget(oscPort_);
  osc->addWidget(oscAllInterfaces_);
  form->addRow("OSC Port (0 = off):", osc);
  undoMemory_ = new QLineEdit(Q(model_.undoMemory), this);
  undoMemory_->setObjectName("undo_memory_mb");
  form->addRow("Undo memory (MB)", undoMemory_);
  // The loops' seam crossfades (not the mixer's A/B crossfade).
  seamCrossfade_ = new QSpinBox(this);
  seamCrossfade_->setObjectName("seam_crossfade_ms");
  seamCrossfade_->setRange(0, MAX_SEAM_MILLISECONDS);
  seamCrossfade_->setValue(model_.seamCrossfadeMs);
  form->addRow("Crossfade (ms)", seamCrossfade_);
  syncSource_ = new QComboBox(this);
  syncSource_->setObjectName("sync_source");
  Dialog_Fill(syncSource_, std::vector<std::string>(std::begin(kSyncSourceNames), std::end(kSyncSourceNames)));
  Dialog_Select(syncSource_, model_.syncSource);
  form->addRow("Follow Tempo From:", syncSource_);
  syncStartOn_ = new QComboBox(this);
  syncStartOn_->setObjectName("sync_start_on");
  Dialog_Fill(syncStartOn_, std::vector<std::string>(std::begin(kSyncStartOnNames), std::end(kSyncStartOnNames)));
  Dialog_Select(syncStartOn_, model_.syncStartOn);
  form->addRow("Start Waits For:", syncStartOn_);
  syncLeadJack_ = new QCheckBox("Lead JACK Transport (timebase master) with Internal", this);
  syncLeadJack_->setObjectName("sync_lead_jack");
  syncLeadJack_->setChecked(model_.syncLeadJack);
  form->addRow(syncLeadJack_);
  syncLeadLink_ = new QCheckBox("Join Ableton Link with Internal", this);
  syncLeadLink_->setObjectName("sync_lead_link");
  syncLeadLink_->setChecked(model_.syncLeadLink);
  form->addRow(syncLeadLink_);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  ShowState();
}

void PreferencesDialogWidget::ShowState() {
  for (int i = 0; i < 3; ++i)
    sliderLabels_[i]->setText(Q(PreferencesDialog_SliderLabel(model_, static_cast<MonitorSlider>(i))));
  const bool mix = PreferencesDialog_EffectsMixEnabled(model_);
  sliders_[2]->setEnabled(mix);
  sliderLabels_[2]->setEnabled(mix);
  port_->setEnabled(PreferencesDialog_PortEnabled(model_));
  Dialog_Select(port_, model_.port);
}

void PreferencesDialogWidget::accept() {
  model_.undo = undo_->isChecked();
  model_.stereo = stereo_->isChecked();
  for (int i = 0; i < kPreferenceBoxCount; ++i) model_.boxes[i] = boxes_[i]->isChecked();
  model_.quicksaveDirectory = S(quicksave_->text());
  model_.mixToDiskDirectory = S(mixToDisk_->text());
  model_.delayMax = S(delayMax_->text());
  model_.loopFileFormat = loopFileFormat_->currentIndex();
  model_.feedbackPort = feedbackPort_->currentIndex() - 1;
  model_.oscPort = S(oscPort_->text());
  model_.oscAllInterfaces = oscAllInterfaces_->isChecked();
  model_.undoMemory = S(undoMemory_->text());
  model_.seamCrossfadeMs = seamCrossfade_->value();
  model_.syncSource = syncSource_->currentIndex();
  model_.syncStartOn = syncStartOn_->currentIndex();
  model_.syncLeadJack = syncLeadJack_->isChecked();
  model_.syncLeadLink = syncLeadLink_->isChecked();
  const bool closes = PreferencesDialog_Ok(&model_);
  // A field the model emptied (a path too long) shows empty.
  quicksave_->setText(Q(model_.quicksaveDirectory));
  mixToDisk_->setText(Q(model_.mixToDiskDirectory));
  if (closes) QDialog::accept();
}

void PreferencesDialogWidget::reject() {
  PreferencesDialog_Cancel(&model_);
  QDialog::reject();
}
