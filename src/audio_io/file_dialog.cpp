#include "audio_io/file_dialog.h"

namespace {
FileDialog* installed = nullptr;
}

void FileDialog_Install(FileDialog* dialog) { installed = dialog; }
FileDialog* FileDialog_Installed() { return installed; }

std::string FileDialog_Open(void* owner, const std::string& title,
                            const std::vector<FileFilter>& filters) {
  return installed ? installed->Open(owner, title, filters) : std::string();
}

std::string FileDialog_Save(void* owner, const std::string& title,
                            const std::vector<FileFilter>& filters) {
  return installed ? installed->Save(owner, title, filters) : std::string();
}
