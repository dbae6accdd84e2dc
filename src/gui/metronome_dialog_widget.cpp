#include "gui/metronome_dialog_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

#include "gui/dialog_parts.h"
#include "gui/path_field.h"

MetronomeDialogWidget::MetronomeDialogWidget(QWidget* parent) : QDialog(parent), model_(MetronomeDialog_Open()) {
  setWindowTitle("Metronome");
  auto* form = new QFormLayout(this);
  auto* send = new QCheckBox("Send MIDI Notes", this);
  send->setObjectName("1283");
  send->setChecked(model_.sendNotes);
  connect(send, &QCheckBox::toggled, this, [this](bool on) {
    MetronomeDialog_SetSendNotes(&model_, on);
    ShowState();
  });
  form->addRow(send);

  const char* labels[6] = {"MIDI Port", "Accent Note", "Beat Note", "Accent Volume", "Beat Volume", "MIDI Channel"};
  const char* ids[6] = {"1285", "1286", "1287", "1288", "1289", "1290"};
  void (*const choose[6])(MetronomeDialog*, int) = {
      MetronomeDialog_ChoosePort,     MetronomeDialog_SetAccentNote,  MetronomeDialog_SetBeatNote,
      MetronomeDialog_SetAccentVolume, MetronomeDialog_SetBeatVolume, MetronomeDialog_SetChannel};
  std::vector<std::string> ports;
  for (const MidiOutputChoice& c : model_.ports) ports.push_back(c.name);
  const std::vector<std::string> seven = Dialog_Numbers(0, 127);
  const std::vector<std::string>* items[6] = {&ports, &seven, &seven, &seven, &seven, nullptr};
  const std::vector<std::string> channels = Dialog_Numbers(1, 16);
  items[5] = &channels;
  for (int i = 0; i < 6; ++i) {
    combos_[i] = new QComboBox(this);
    combos_[i]->setObjectName(ids[i]);
    Dialog_Fill(combos_[i], *items[i]);
    connect(combos_[i], &QComboBox::activated, this, [this, i, f = choose[i]](int entry) { f(&model_, entry); });
    form->addRow(labels[i], combos_[i]);
  }
  const QString wavFiles = "WAV Files (*.wav);;All Files (*)";
  auto* beatRow = new PathRow(Q(model_.beatPath), "Beat .wav File", wavFiles, this);
  beat_ = beatRow->field();
  beat_->setObjectName("1144");
  auto* accentRow = new PathRow(Q(model_.accentPath), "Accent .wav File", wavFiles, this);
  accent_ = accentRow->field();
  accent_->setObjectName("1145");
  form->addRow("Beat .wav File", beatRow);
  form->addRow("Accent .wav File", accentRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
  ShowState();
}

void MetronomeDialogWidget::ShowState() {
  const int selected[6] = {model_.port,      model_.accentNote, model_.beatNote,
                           model_.accentVolume, model_.beatVolume, model_.channel};
  for (int i = 0; i < 6; ++i) {
    Dialog_Select(combos_[i], selected[i]);
    combos_[i]->setEnabled(model_.sendNotes);
  }
}

void MetronomeDialogWidget::accept() {
  model_.beatPath = S(beat_->text());
  model_.accentPath = S(accent_->text());
  const bool closes = MetronomeDialog_Ok(&model_);
  beat_->setText(Q(model_.beatPath));
  accent_->setText(Q(model_.accentPath));
  if (closes) QDialog::accept();
}

void MetronomeDialogWidget::reject() {
  MetronomeDialog_Cancel(&model_);
  QDialog::reject();
}
