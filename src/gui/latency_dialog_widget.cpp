#include "gui/latency_dialog_widget.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/dialog_parts.h"

LatencyDialogWidget::LatencyDialogWidget(QWidget* parent) : QDialog(parent), model_(LatencyDialog_Open()) {
  setWindowTitle("Set Latency");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Enter latency in milliseconds:", this));
  milliseconds_ = new QLineEdit(Q(model_.milliseconds), this);
  milliseconds_->setObjectName("milliseconds");
  layout->addWidget(milliseconds_);
  // The ASIO latency controls: never in use here, the check box only shows the flag.
  auto* preferred = new QCheckBox("Use ASIO Preferred Latency", this);
  preferred->setChecked(model_.preferredLatency);
  preferred->setEnabled(false);
  layout->addWidget(preferred);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  milliseconds_->setFocus();
  milliseconds_->selectAll();
}

void LatencyDialogWidget::accept() {
  model_.milliseconds = S(milliseconds_->text());
  if (LatencyDialog_Ok(&model_)) QDialog::accept();
}
