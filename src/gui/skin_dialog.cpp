#include "gui/skin_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/settings/skin_select.h"
#include "persist/config_directory.h"

SelectSkinDialog::SelectSkinDialog(QWidget* owner) : QDialog(owner), list_(new QListWidget(this)) {
  setWindowTitle("Select Skin");
  setObjectName("193");
  list_->setObjectName("1254");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SelectSkinDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SelectSkinDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &SelectSkinDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Select Skin:", this));
  layout->addWidget(list_);
  layout->addWidget(buttons);
}

bool SelectSkinDialog::Fill() {
  list_->clear();
  if (!SkinSelect_List(SkinParentDirectories(), &entries_)) return false;
  for (const std::string& entry : entries_) list_->addItem(QString::fromStdString(entry));
  list_->setCurrentRow(-1);
  return true;
}

void SelectSkinDialog::accept() {
  const QListWidgetItem* item = list_->currentItem();
  const int row = item && item->isSelected() ? list_->row(item) : -1;
  if (SkinSelect_Confirm(entries_, row)) QDialog::accept();
}

bool SelectSkinDialog_Run(QWidget* owner) {
  SelectSkinDialog dialog(owner);
  if (!dialog.Fill()) return false;
  return dialog.exec() == QDialog::Accepted;
}
