#pragma once
// The program's file-open and file-save dialogs, toolkit-free. The Qt window and the
// scripted test double both implement FileDialog; file commands call FileDialog_Open and
// FileDialog_Save.
#include <string>
#include <vector>

struct FileFilter {
  std::string description;  // e.g. "wav Files (*.wav)"
  std::string pattern;      // e.g. "*.wav"
};

class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // Each returns the chosen path, or an empty text when the user cancels. An empty
  // title means the toolkit's default title.
  virtual std::string Open(void* owner, const std::string& title,
                           const std::vector<FileFilter>& filters) = 0;
  virtual std::string Save(void* owner, const std::string& title,
                           const std::vector<FileFilter>& filters) = 0;
};

// Installs the implementation used from now on (null: every dialog is cancelled, which
// is what a program without a window can answer).
void FileDialog_Install(FileDialog* dialog);
FileDialog* FileDialog_Installed();

std::string FileDialog_Open(void* owner, const std::string& title,
                            const std::vector<FileFilter>& filters);
std::string FileDialog_Save(void* owner, const std::string& title,
                            const std::vector<FileFilter>& filters);
