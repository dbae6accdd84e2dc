#include "gui/midi_control_dialog_widget.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>

#include "gui/dialog_parts.h"

MidiControlDialogWidget::MidiControlDialogWidget(QWidget* parent) : QDialog(parent) {
  setWindowTitle("MIDI & Keyboard Control");
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("Trigger Type --> Kestrine Event", this), 0, 0, 1, 4);
  triggers_ = new QListWidget(this);
  triggers_->setObjectName("1171");
  grid->addWidget(triggers_, 1, 0, 1, 4);
  auto* ports = new QListWidget(this);
  ports->setObjectName("1276");
  ports->setSelectionMode(QAbstractItemView::NoSelection);
  grid->addWidget(new QLabel("Available MIDI Ports\n(Just for reference, enter port number below.)", this), 0, 4);
  grid->addWidget(ports, 1, 4);

  const char* ids[kDetailLists] = {"1182", "1183", "1192", "1193", "1186", "1187",
                                   "1184", "1185", "1194", "1195", "feedback"};
  for (int i = 0; i < kDetailLists; ++i) {
    details_[i] = new QListWidget(this);
    details_[i]->setObjectName(ids[i]);
    connect(details_[i], &QListWidget::currentRowChanged, this, [this, i](int row) {
      MidiControlDialog_Choose(&model_, static_cast<ControlList>(i), row);
      ShowAll();
    });
  }
  Dialog_Fill(details_[static_cast<int>(ControlList::Type)], ControlList_Types());
  Dialog_Fill(details_[static_cast<int>(ControlList::Value)], ControlList_Values(false));
  for (ControlList l : {ControlList::InputLow, ControlList::InputHigh, ControlList::OutputLow, ControlList::OutputHigh})
    Dialog_Fill(DetailList(l), ControlList_Range());
  Dialog_Fill(DetailList(ControlList::Port), ControlList_PortsOrChannels());
  Dialog_Fill(DetailList(ControlList::Channel), ControlList_PortsOrChannels());
  Dialog_Fill(DetailList(ControlList::Event), ControlList_Events());
  Dialog_Fill(DetailList(ControlList::Track), ControlList_Tracks());
  Dialog_Fill(DetailList(ControlList::Feedback), ControlList_Feedback());
  DetailList(ControlList::Type)->setMinimumWidth(140);
  DetailList(ControlList::Event)->setMinimumWidth(220);

  valueLabel_ = new QLabel(this);
  rangeLabel_ = new QLabel(this);
  const struct {
    QWidget* label;
    ControlList list;
    int row, column;
  } places[] = {
      {new QLabel("Trigger Type", this), ControlList::Type, 2, 0},
      {valueLabel_, ControlList::Value, 2, 1},
      {new QLabel("Low", this), ControlList::InputLow, 4, 0},
      {new QLabel("High", this), ControlList::InputHigh, 4, 1},
      {new QLabel("Port", this), ControlList::Port, 4, 2},
      {new QLabel("Channel", this), ControlList::Channel, 4, 3},
      {new QLabel("Kestrine Event", this), ControlList::Event, 2, 2},
      {new QLabel("Track", this), ControlList::Track, 2, 3},
      {new QLabel("Feedback", this), ControlList::Feedback, 2, 4},
      {new QLabel("Low", this), ControlList::OutputLow, 6, 0},
      {new QLabel("High", this), ControlList::OutputHigh, 6, 1},
  };
  for (const auto& p : places) {
    grid->addWidget(p.label, p.row, p.column);
    grid->addWidget(DetailList(p.list), p.row + 1, p.column);
  }
  grid->addWidget(rangeLabel_, 4, 4);
  grid->addWidget(new QLabel("Range", this), 6, 4);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* add = buttons->addButton("New Trigger", QDialogButtonBox::ActionRole);
  QPushButton* remove = buttons->addButton("Delete Trigger", QDialogButtonBox::ActionRole);
  QPushButton* load = buttons->addButton("Load Default", QDialogButtonBox::ActionRole);
  connect(add, &QPushButton::clicked, this, [this] { MidiControlDialog_New(&model_), ShowAll(); });
  connect(remove, &QPushButton::clicked, this, [this] { MidiControlDialog_Delete(&model_), ShowAll(); });
  connect(load, &QPushButton::clicked, this, [this] { MidiControlDialog_LoadDefault(&model_), ShowAll(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 8, 0, 1, 5);
  connect(triggers_, &QListWidget::currentRowChanged, this, [this](int row) {
    MidiControlDialog_Select(&model_, row);
    ShowAll();
  });

  // The MIDI poll posts while it runs: the messages are handled when it has returned.
  model_.onLearn = [self = QPointer<MidiControlDialogWidget>(this)] {
    QMetaObject::invokeMethod(
        self.data(),
        [self] {
          if (!self) return;
          MidiControlDialog_TakeLearned(&self->model_);
          self->ShowAll();
        },
        Qt::QueuedConnection);
  };
  MidiControlDialog_Open(&model_);
  Dialog_Fill(ports, model_.ports);
  ShowAll();
}

void MidiControlDialogWidget::ShowAll() {
  const int selected = model_.selected;
  Dialog_Fill(triggers_, MidiControlDialog_Lines(model_));
  Dialog_Select(triggers_, selected);
  const ControlDetails v = MidiControlDialog_Details(model_);
  valueLabel_->setText(v.valueLabel);
  rangeLabel_->setText(v.rangeLabel);
  if (v.keyValues != keyValues_) {
    keyValues_ = v.keyValues;
    Dialog_Fill(DetailList(ControlList::Value), ControlList_Values(keyValues_));
  }
  const int rows[kDetailLists] = {v.type,    v.value, v.inputLow,  v.inputHigh,  v.port,    v.channel,
                                  v.event,   v.track, v.outputLow, v.outputHigh, v.feedback};
  for (int i = 0; i < kDetailLists; ++i) {
    Dialog_Select(details_[i], rows[i]);
    details_[i]->setEnabled(v.enabled);
  }
  DetailList(ControlList::InputLow)->setEnabled(v.enabled && v.rangeEnabled);
  DetailList(ControlList::InputHigh)->setEnabled(v.enabled && v.rangeEnabled);
  DetailList(ControlList::Feedback)->setEnabled(v.enabled && v.feedbackEnabled);
}

void MidiControlDialogWidget::accept() {
  MidiControlDialog_Ok(&model_);
  QDialog::accept();
}

void MidiControlDialogWidget::reject() {
  MidiControlDialog_Cancel(&model_);
  QDialog::reject();
}
