#include "gui/loop_time_dialog_widget.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "app/app.h"
#include "gui/dialog_parts.h"

namespace {
constexpr LoopTimeDialogField kFields[4] = {LoopTimeDialogField::Seconds, LoopTimeDialogField::Tempo,
                                            LoopTimeDialogField::Measures, LoopTimeDialogField::MaxTime};
}

LoopTimeDialogWidget::LoopTimeDialogWidget(QWidget* parent, App* app)
    : QDialog(parent), model_(LoopTimeDialog_Open(App_SessionParts(app))) {
  setWindowTitle("Set Loop Time");
  auto* grid = new QGridLayout(this);
  const char* radioTexts[3] = {"Seconds:", "Tempo:", "Manual"};
  const char* ids[4] = {"1013", "1014", "1015", "1016"};
  const std::string* texts[4] = {&model_.seconds, &model_.tempo, &model_.measures, &model_.maxTime};
  for (int i = 0; i < 4; ++i) {
    fields_[i] = new QLineEdit(Q(*texts[i]), this);
    fields_[i]->setObjectName(ids[i]);
    fields_[i]->installEventFilter(this);
  }
  for (int i = 0; i < 3; ++i) {
    radios_[i] = new QRadioButton(radioTexts[i], this);
    connect(radios_[i], &QRadioButton::clicked, this, [this, i] {
      model_.choice = static_cast<LoopTimeChoice>(i);
      ShowChoice();
    });
  }
  radios_[0]->setObjectName("1164");
  radios_[1]->setObjectName("1165");
  radios_[2]->setObjectName("1167");
  grid->addWidget(radios_[0], 0, 0);
  grid->addWidget(fields_[0], 0, 1);
  grid->addWidget(radios_[1], 1, 0);
  grid->addWidget(fields_[1], 1, 1);
  grid->addWidget(new QLabel("Measures:", this), 2, 0);
  grid->addWidget(fields_[2], 2, 1);
  grid->addWidget(radios_[2], 3, 0);
  grid->addWidget(fields_[3], 3, 1);
  setAll_ = new QCheckBox("Set All Loops to This Time", this);
  setAll_->setObjectName("1163");
  setEmpty_ = new QCheckBox("Set Empty Loops to This Time", this);
  setEmpty_->setObjectName("1166");
  grid->addWidget(setAll_, 4, 0, 1, 2);
  grid->addWidget(setEmpty_, 5, 0, 1, 2);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 6, 0, 1, 2);
  ShowChoice();
  QLineEdit* focus = model_.focus == LoopTimeDialogField::Seconds ? fields_[0] : fields_[2];
  focus->setFocus();
  focus->selectAll();
}

bool LoopTimeDialogWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn)
    for (int i = 0; i < 4; ++i)
      if (watched == fields_[i]) {
        LoopTimeDialog_Enter(&model_, kFields[i]);
        ShowChoice();
      }
  return QDialog::eventFilter(watched, event);
}

void LoopTimeDialogWidget::ShowChoice() {
  radios_[static_cast<int>(model_.choice)]->setChecked(true);
  const bool enabled = LoopTimeDialog_CheckBoxesEnabled(model_);
  setAll_->setEnabled(enabled);
  setEmpty_->setEnabled(enabled);
}

void LoopTimeDialogWidget::Take() {
  model_.seconds = S(fields_[0]->text());
  model_.tempo = S(fields_[1]->text());
  model_.measures = S(fields_[2]->text());
  model_.maxTime = S(fields_[3]->text());
  model_.setAll = setAll_->isChecked();
  model_.setEmpty = setEmpty_->isChecked();
}

void LoopTimeDialogWidget::accept() {
  Take();
  if (LoopTimeDialog_Ok(&model_)) QDialog::accept();
}
