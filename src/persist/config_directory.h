#pragma once
// The directory the program was started in: the configuration files, the default
// session, help.txt and the Skins folder live there. Empty when it could not be read.
#include <string>

extern std::string ConfigDirectory;

// ConfigDirectory + "/" + name.
std::string ConfigDirectory_File(const std::string& name);
