#include "gui/device_dialog_widget.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialog_parts.h"

namespace {

QString DetailsText(const DeviceDetails& d) {
  return QString("Name: %1\nChannels: %2\nPortaudio Device Index: %3\nSample Rates: %4\n%5")
      .arg(Q(d.name))
      .arg(d.channels)
      .arg(d.index)
      .arg(d.rateCount)
      .arg(Q(d.rates));
}

QListWidget* Titled(QWidget* parent, QGridLayout* grid, const char* title, int column, QWidget** box) {
  auto* group = new QGroupBox(title, parent);
  auto* layout = new QVBoxLayout(group);
  auto* list = new QListWidget(group);
  layout->addWidget(list);
  grid->addWidget(group, 0, column);
  *box = group;
  return list;
}

}  // namespace

DeviceDialogWidget::DeviceDialogWidget(QWidget* parent, WindowHost* window) : QDialog(parent) {
  setWindowTitle("Select Audio Devices");
  auto* grid = new QGridLayout(this);
  QWidget* group = nullptr;
  drivers_ = Titled(this, grid, "Select a Driver", 0, &group);
  inputs_ = Titled(this, grid, "Select Input Device", 1, &group);
  outputs_ = Titled(this, grid, "Select Output Device", 2, &group);
  rates_ = Titled(this, grid, "Select a Sample Rate", 3, &group);
  group->layout()->addWidget(new QLabel("(Kestrine compatible rates shown.)", group));
  const char* pairTitles[2] = {"Select Input Channels", "Select Output Channels"};
  const char* pairLabels[2] = {"Input Channels:", "Output Channels:"};
  for (int side = 0; side < 2; ++side) {
    details_[side] = new QLabel(this);
    details_[side]->setWordWrap(true);
    grid->addWidget(details_[side], 1, 1 + side);
    // Channel pairs belong to ASIO, which no driver here is.
    auto* pairs = new QGroupBox(pairTitles[side], this);
    auto* layout = new QVBoxLayout(pairs);
    layout->addWidget(new QLabel(pairLabels[side], pairs));
    pairs_[side] = new QComboBox(pairs);
    layout->addWidget(pairs_[side]);
    pairs->setEnabled(false);
    grid->addWidget(pairs, 2, 1 + side);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  QPushButton* rescan = buttons->addButton("Rescan", QDialogButtonBox::ActionRole);
  rescan->setAutoDefault(false);
  connect(rescan, &QPushButton::clicked, this, [this] {
    ShowProcessing();
    DeviceDialog_Rescan(&model_);
    ShowDrivers();
  });
  grid->addWidget(buttons, 3, 0, 1, 4);

  connect(drivers_, &QListWidget::currentRowChanged, this, [this](int row) {
    ShowProcessing();
    DeviceDialog_ChooseDriver(&model_, row);
    ShowDevices();
  });
  connect(inputs_, &QListWidget::currentRowChanged, this, [this](int row) {
    ShowProcessing();
    DeviceDialog_ChooseInput(&model_, row);
    ShowRates();
  });
  connect(outputs_, &QListWidget::currentRowChanged, this, [this](int row) {
    ShowProcessing();
    DeviceDialog_ChooseOutput(&model_, row);
    ShowRates();
  });
  connect(rates_, &QListWidget::currentRowChanged, this, [this](int row) { DeviceDialog_ChooseRate(&model_, row); });

  opened_ = DeviceDialog_Open(&model_, window);
  ShowDrivers();
}

void DeviceDialogWidget::ShowDrivers() {
  std::vector<std::string> names;
  for (const HostApiChoice& d : model_.drivers) names.push_back(d.name);
  Dialog_Fill(drivers_, names);
  Dialog_Select(drivers_, model_.driver);
  ShowDevices();
}

void DeviceDialogWidget::ShowProcessing() {
  for (QLabel* label : details_) label->setText(QString("Name: ") + kDeviceProcessingText);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void DeviceDialogWidget::ShowDevices() {
  std::vector<std::string> names;
  for (const DeviceChoice& d : model_.inputs) names.push_back(d.name);
  Dialog_Fill(inputs_, names);
  names.clear();
  for (const DeviceChoice& d : model_.outputs) names.push_back(d.name);
  Dialog_Fill(outputs_, names);
  Dialog_Select(inputs_, model_.input);
  Dialog_Select(outputs_, model_.output);
  ShowRates();
}

void DeviceDialogWidget::ShowRates() {
  Dialog_Fill(rates_, DeviceDialog_RateTexts(model_));
  Dialog_Select(rates_, model_.rate);
  details_[0]->setText(DetailsText(model_.inputDetails));
  details_[1]->setText(DetailsText(model_.outputDetails));
}

void DeviceDialogWidget::accept() {
  if (DeviceDialog_Ok(&model_)) QDialog::accept();
}

void DeviceDialogWidget::reject() {
  DeviceDialog_Cancel(&model_);
  QDialog::reject();
}
