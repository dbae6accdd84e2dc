#pragma once
// The directory the program was started in: the configuration files, the default
// session, help.txt and the Skins folder live there. Empty when it could not be read:
// the files are then looked for in the current directory.
#include <string>

extern std::string ConfigDirectory;

// ConfigDirectory + "/" + name; just `name`, in the current directory, when
// ConfigDirectory is empty.
std::string ConfigDirectory_File(const std::string& name);
