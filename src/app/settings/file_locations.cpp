#include "app/settings/file_locations.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderName = "kestrine";
const char* const kPortableMarks[] = {"SysConfig.xml", "Preferences.xml", "DeviceConfig.xml", "Default.session",
                                      "help.txt",      "accent.wav",      "beat.wav",         "Skins"};

// An XDG variable counts only when it holds an absolute path.
std::string XdgFolder(const std::string& value, const std::string& home, const char* fallback) {
  if (!value.empty() && fs::path(value).is_absolute()) return (fs::path(value) / kFolderName).string();
  return (fs::path(home) / fallback / kFolderName).string();
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

bool FileLocations_IsPortableFolder(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  for (const char* mark : kPortableMarks)
    if (fs::exists(fs::path(folder) / mark, ec)) return true;
  return false;
}

FileLocations FileLocations_Portable(const std::string& start) {
  FileLocations where;
  where.start = start;
  return where;
}

FileLocations FileLocations_Resolve(const FileLocationInputs& in) {
  // Without a home folder there is nowhere else to go: the start folder it is.
  if (FileLocations_IsPortableFolder(in.start) || in.home.empty() || !fs::path(in.home).is_absolute())
    return FileLocations_Portable(in.start);
  FileLocations where;
  where.portable = false;
  where.config = XdgFolder(in.configHome, in.home, ".config");
  where.userData = XdgFolder(in.dataHome, in.home, ".local/share");
  // <prefix>/bin/kestrine -> <prefix>/share/kestrine
  const fs::path bin = fs::path(in.programFile).parent_path();
  where.data = (bin.parent_path() / "share" / kFolderName).lexically_normal().string();
  return where;
}

FileLocationInputs FileLocations_FromEnvironment(const std::string& start) {
  FileLocationInputs in;
  in.start = start;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) in.programFile = self.string();
  in.home = Environment("HOME");
  in.configHome = Environment("XDG_CONFIG_HOME");
  in.dataHome = Environment("XDG_DATA_HOME");
  return in;
}
