#include "persist/config_directory.h"

#include <filesystem>

std::string ConfigDirectory;
std::string DataDirectory;
std::string UserDataDirectory;
bool ConfigDirectoryReadOnly = false;

namespace {

// An empty directory joined with "/" would name a file at the root of the file system.
std::string Join(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return (std::filesystem::path(directory) / name).string();
}

}  // namespace

std::string ConfigDirectory_File(const std::string& name) { return Join(ConfigDirectory, name); }

std::string DataDirectory_File(const std::string& name) {
  return Join(DataDirectory.empty() ? ConfigDirectory : DataDirectory, name);
}

std::string UserDataDirectory_Path() { return UserDataDirectory.empty() ? ConfigDirectory : UserDataDirectory; }

std::vector<std::string> SkinParentDirectories() {
  const std::string user = UserDataDirectory_Path();
  const std::string shipped = DataDirectory.empty() ? ConfigDirectory : DataDirectory;
  if (user == shipped) return {user};
  return {user, shipped};
}

void ConfigDirectory_SetPortable(const std::string& directory) {
  ConfigDirectory = directory;
  DataDirectory.clear();
  UserDataDirectory.clear();
  ConfigDirectoryReadOnly = false;
}
