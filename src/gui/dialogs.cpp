#include "gui/dialogs.h"

#include <QButtonGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QCoreApplication>
#include <algorithm>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdio>

#include "app/app.h"
#include "app/session/session_store.h"
#include "engine/message_dialog.h"
#include "gui/modal_dialogs.h"

namespace {

QDialogButtonBox* OkCancel(QDialog* dialog, bool withCancel = true) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | (withCancel ? QDialogButtonBox::Cancel
                                                                         : QDialogButtonBox::NoButton),
                                       dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

// Radio buttons of the Select Track dialog, tracks 1 to 8.
constexpr int kSelectTrackIds[8] = {1159, 1160, 1161, 1162, 1119, 1120, 1121, 1122};

}  // namespace

QString FileDialog_QtFilter(const std::vector<FileFilter>& filters) {
  QStringList parts;
  for (const FileFilter& f : filters) {
    QString description = QString::fromStdString(f.description);
    const QString pattern = QString::fromStdString(f.pattern);
    // Qt reads the patterns from the parentheses; "*.*" would miss files without a dot.
    if (pattern == "*.*") description.replace("(*.*)", "(*)");
    if (!description.contains('(')) description += " (" + (pattern == "*.*" ? QString("*") : pattern) + ")";
    parts << description;
  }
  return parts.join(";;");
}

std::string QtFileDialog::Open(void*, const std::string& title, const std::vector<FileFilter>& filters) {
  const QString path = QFileDialog::getOpenFileName(owner_, QString::fromStdString(title), QString(),
                                                    FileDialog_QtFilter(filters), nullptr,
                                                    QFileDialog::DontUseNativeDialog);
  return path.toStdString();
}

std::string QtFileDialog::Save(void*, const std::string& title, const std::vector<FileFilter>& filters) {
  // The program asks its own overwrite questions.
  const QString path = QFileDialog::getSaveFileName(
      owner_, QString::fromStdString(title), QString(), FileDialog_QtFilter(filters), nullptr,
      QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
  return path.toStdString();
}

bool QtDialogHost::SelectTrack(int* strip) {
  QDialog dialog(owner_);
  dialog.setWindowTitle("Select Track");
  dialog.setObjectName("SelectTrackDialog");
  auto* layout = new QGridLayout(&dialog);
  QButtonGroup group(&dialog);
  for (int i = 0; i < 8; ++i) {
    auto* radio = new QRadioButton(QString("Track %1").arg(i + 1), &dialog);
    radio->setObjectName(QString("id%1").arg(kSelectTrackIds[i]));
    group.addButton(radio, i);
    layout->addWidget(radio, i % 4, i / 4);
  }
  const int start = strip && *strip >= 0 && *strip < 8 ? *strip : 0;
  group.button(start)->setChecked(true);
  layout->addWidget(OkCancel(&dialog), 4, 0, 1, 2);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (strip) *strip = group.checkedId();
  return true;
}

bool QtDialogHost::QuicksaveName(std::string* name) {
  QDialog dialog(owner_);
  dialog.setWindowTitle("Quicksave");
  dialog.setObjectName("QuicksaveNameDialog");
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel("Enter name for session quicksave:", &dialog));
  // The field starts with the last name quicksaved.
  const std::string start = name && !name->empty() ? *name : Quicksave_LastName();
  auto* field = new QLineEdit(QString::fromStdString(start), &dialog);
  field->setObjectName("id1257");
  layout->addWidget(field);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  // OK keeps the dialog open while the application refuses the name.
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    const std::string text = field->text().toStdString();
    const char* refusal = QuicksaveName_Check(text);
    if (!refusal) return dialog.accept();
    if (text.size() >= 260) field->clear();
    MessageDialog_Show(nullptr, refusal, "Error");
  });
  field->selectAll();
  if (dialog.exec() != QDialog::Accepted) return false;
  if (name) *name = field->text().toStdString();
  return true;
}

bool QtDialogHost::Run(ModalDialog dialog) {
  if (dialog != ModalDialog::AsioControlPanel) return Dialogs_Run(owner_, app_, dialog);
  // No ASIO driver on this platform: the control panel answers Cancel.
  std::fprintf(stderr, "Dialog %d is not available in this build.\n", static_cast<int>(dialog));
  return false;
}

void QtDialogHost::About(const AboutText& text) {
  QDialog dialog(owner_);
  dialog.setWindowTitle("About");
  dialog.setObjectName("AboutDialog");
  auto* layout = new QVBoxLayout(&dialog);
  const std::pair<int, std::string> rows[] = {
      {1008, text.title}, {1007, text.version}, {1253, text.skin}, {1252, text.author}};
  for (const auto& [id, value] : rows) {
    auto* label = new QLabel(QString::fromStdString(value), &dialog);
    label->setObjectName(QString("id%1").arg(id));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
  }
  layout->addWidget(OkCancel(&dialog, false));
  dialog.exec();
}

void QtDialogHost::Help(const std::vector<std::string>& lines) {
  QDialog dialog(owner_);
  dialog.setWindowTitle("Kestrine Help");
  dialog.setObjectName("HelpDialog");
  auto* layout = new QVBoxLayout(&dialog);
  auto* list = new QListWidget(&dialog);
  list->setObjectName("id1273");
  list->setUpdatesEnabled(false);
  for (const std::string& line : lines) list->addItem(QString::fromLocal8Bit(line.c_str()));
  list->setUpdatesEnabled(true);
  layout->addWidget(list);
  layout->addWidget(OkCancel(&dialog, false));
  dialog.resize(560, 480);
  dialog.exec();
}

QtProgressDialog::QtProgressDialog(QWidget* owner) : owner_(owner) {}
QtProgressDialog::~QtProgressDialog() { Close(); }

void QtProgressDialog::Open(const std::string& title, int range) {
  Close();
  window_ = new QDialog(owner_, Qt::Dialog);
  window_->setObjectName("ProgressDialog");
  window_->setWindowTitle(QString::fromStdString(title));
  window_->setModal(false);
  auto* layout = new QVBoxLayout(window_);
  bar_ = new QProgressBar(window_);
  bar_->setRange(0, std::max(range, 1));
  bar_->setValue(0);
  layout->addWidget(bar_);
  cancelled_ = false;
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, window_);
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("ProgressCancel");
  QObject::connect(buttons, &QDialogButtonBox::rejected, window_, [this] { cancelled_ = true; });
  QObject::connect(window_, &QDialog::rejected, window_, [this] { cancelled_ = true; });  // Escape, the close box
  layout->addWidget(buttons);
  window_->resize(300, 90);
  window_->show();
  Paint();
}

void QtProgressDialog::Step() {
  if (!bar_) return;
  bar_->setValue(std::min(bar_->value() + 1, bar_->maximum()));
  Paint();
}

void QtProgressDialog::Close() {
  delete window_;
  window_ = nullptr;
  bar_ = nullptr;
}

void QtProgressDialog::Paint() {
  // A load that runs on this thread (a skin) still lets the window draw itself, but
  // takes no input; a loop file's samples are read on a thread of their own.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
