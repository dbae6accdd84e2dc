#pragma once
// The Select Skin dialog on Qt: the list of skins and OK/Cancel. Its rules (what is
// listed, what OK does) are the application's (app/settings/skin_select.h).
//
// Threads: user-interface thread only.
#include <QDialog>
#include <string>
#include <vector>

class QListWidget;

class SelectSkinDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit SelectSkinDialog(QWidget* owner = nullptr);
  // Fills the list from ConfigDirectory's Skins folder; false (message shown) when it
  // cannot be listed, and the dialog should not be shown.
  bool Fill();
  QListWidget* list() const { return list_; }

 public slots:
  void accept() override;

 private:
  QListWidget* list_;
  std::vector<std::string> entries_;
};

// Runs the dialog modally: true when it closed with OK (the configured skin name is then
// set; the application loads it). For DialogHost::Run(ModalDialog::SelectSkin).
bool SelectSkinDialog_Run(QWidget* owner);
