#include "persist/config_directory.h"

#include <filesystem>

std::string ConfigDirectory;

std::string ConfigDirectory_File(const std::string& name) {
  // An empty directory joined with "/" would name a file at the root of the file system.
  if (ConfigDirectory.empty()) return name;
  return (std::filesystem::path(ConfigDirectory) / name).string();
}
