#pragma once
// The modal dialogs and the progress window the application asks for through its seams, on Qt: file open and
// save, Select Track, the quicksave name, About and Help. Run opens the option dialogs
// of modal_dialogs.h (metronome, latency, preferences, MIDI control, devices, loop
// time); Select Skin and the ASIO control panel answer Cancel here.
#include <QString>

#include "app/app_host.h"
#include "app/model/progress_dialog.h"
#include "audio_io/file_dialog.h"

struct App;

class QDialog;
class QProgressBar;
class QWidget;

class QtFileDialog final : public FileDialog {
 public:
  explicit QtFileDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  std::string Open(void* owner, const std::string& title, const std::vector<FileFilter>& filters) override;
  std::string Save(void* owner, const std::string& title, const std::vector<FileFilter>& filters) override;

 private:
  App* app_;
  QWidget* owner_;
};

// "desc;;desc" for Qt, with "*.*" meaning every file.
QString FileDialog_QtFilter(const std::vector<FileFilter>& filters);

class QtDialogHost final : public DialogHost {
 public:
  // `app` is the application whose dialogs run (their models read and write it).
  explicit QtDialogHost(App* app, QWidget* owner = nullptr) : app_(app), owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  bool SelectTrack(int* strip) override;
  bool QuicksaveName(std::string* name) override;
  bool Run(ModalDialog dialog) override;
  void About(const AboutText& text) override;
  void Help(const std::vector<std::string>& lines) override;

 private:
  App* app_;
  QWidget* owner_;
};

// The small modeless window shown while a session or a loop file loads. Its Cancel
// button (or closing it) asks the load to stop; the load polls CancelRequested.
class QtProgressDialog final : public ProgressDialog {
 public:
  explicit QtProgressDialog(QWidget* owner = nullptr);
  ~QtProgressDialog() override;
  void Open(const std::string& title, int range) override;
  void Step() override;
  void Close() override;
  bool CancelRequested() override { return cancelled_; }

 private:
  void Paint();
  QWidget* owner_;
  QDialog* window_ = nullptr;
  QProgressBar* bar_ = nullptr;
  bool cancelled_ = false;
};
