#include "gui/latency_dialog_widget.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/dialog_parts.h"

LatencyDialogWidget::LatencyDialogWidget(QWidget* parent) : QDialog(parent), model_(LatencyDialog_Open()) {
  setWindowTitle("Set Latency");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Enter latency in milliseconds:", this));
  milliseconds_ = new QLineEdit(Q(model_.milliseconds), this);
  milliseconds_->setObjectName("milliseconds");
  layout->addWidget(milliseconds_);
  auto* roundTripRow = new QHBoxLayout;
  roundTrip_ = new QLabel(Q(model_.roundTrip), this);
  roundTrip_->setObjectName("roundTrip");
  roundTripRow->addWidget(roundTrip_, 1);
  measure_ = new QPushButton("Measure", this);
  measure_->setObjectName("measure");
  measure_->setAutoDefault(false);
  measure_->setToolTip("Plays a short noise on the outputs and listens for it on the inputs: loop an output "
                       "back to an input (or connect the ports in JACK) first.");
  roundTripRow->addWidget(measure_);
  layout->addLayout(roundTripRow);
  // The ASIO latency controls: never in use here, the check box only shows the flag.
  auto* preferred = new QCheckBox("Use ASIO Preferred Latency", this);
  preferred->setChecked(model_.preferredLatency);
  preferred->setEnabled(false);
  layout->addWidget(preferred);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  poll_ = new QTimer(this);
  poll_->setInterval(20);
  connect(poll_, &QTimer::timeout, this, [this] { PollMeasure(); });
  connect(measure_, &QPushButton::clicked, this, [this] { Measure(); });
  milliseconds_->setFocus();
  milliseconds_->selectAll();
}

void LatencyDialogWidget::Measure() {
  if (!LatencyDialog_Measure(&model_)) return;
  measure_->setEnabled(false);
  roundTrip_->setText("Measuring...");
  poll_->start();
}

void LatencyDialogWidget::PollMeasure() {
  if (!LatencyDialog_PollMeasure(&model_)) return;
  poll_->stop();
  measure_->setEnabled(true);
  roundTrip_->setText(Q(model_.roundTrip));
}

void LatencyDialogWidget::accept() {
  model_.milliseconds = S(milliseconds_->text());
  poll_->stop();
  if (LatencyDialog_Ok(&model_)) {
    QDialog::accept();
    return;
  }
  if (model_.measuring) poll_->start();
}

void LatencyDialogWidget::reject() {
  poll_->stop();
  LatencyDialog_Cancel(&model_);
  QDialog::reject();
}
