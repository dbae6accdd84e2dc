#include "app/model/progress_dialog.h"

namespace {
ProgressDialog* installed = nullptr;
}

void ProgressDialog_Install(ProgressDialog* dialog) { installed = dialog; }
ProgressDialog* ProgressDialog_Installed() { return installed; }

ProgressWindow::ProgressWindow(bool shown, const std::string& title, int range)
    : dialog_(shown ? installed : nullptr), left_(range) {
  if (dialog_) dialog_->Open(title, range);
}

ProgressWindow::~ProgressWindow() {
  if (dialog_) dialog_->Close();
}

void ProgressWindow::Step() {
  if (!dialog_ || left_ <= 0) return;
  --left_;
  dialog_->Step();
}
