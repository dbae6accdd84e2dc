#include "persist/config_directory.h"

std::string ConfigDirectory;

std::string ConfigDirectory_File(const std::string& name) { return ConfigDirectory + "/" + name; }
