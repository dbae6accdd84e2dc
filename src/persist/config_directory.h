#pragma once
// Where the program's files live. A portable folder (the program started in a folder that
// holds its configuration or data, as `make run`'s staged folder does) keeps everything
// there: the three directories below are the same. An installed program keeps its
// configuration in the user's configuration folder, sessions and the user's own skins in
// the user's data folder, and reads its shipped data (help.txt, the click sounds, the
// shipped skins) from the installation. User-interface thread only.
#include <string>
#include <vector>

// The configuration files and the default session. Empty when the start folder could not
// be read: the files are then looked for in the current directory.
extern std::string ConfigDirectory;
// The shipped, read-only data. Empty: the same as ConfigDirectory.
extern std::string DataDirectory;
// Sessions and quicksaves by default, and the user's own Skins. Empty: ConfigDirectory.
extern std::string UserDataDirectory;
// The configuration folder could not be made or written: nothing is saved into it.
extern bool ConfigDirectoryReadOnly;

// ConfigDirectory + "/" + name; just `name`, in the current directory, when
// ConfigDirectory is empty.
std::string ConfigDirectory_File(const std::string& name);
// The shipped data file `name`.
std::string DataDirectory_File(const std::string& name);
// UserDataDirectory, or ConfigDirectory when it is not set.
std::string UserDataDirectory_Path();
// The folders whose "Skins" folder holds skins: the user's own first, then the shipped
// ones (one folder for a portable program).
std::vector<std::string> SkinParentDirectories();
// Back to one portable folder `directory`, writable.
void ConfigDirectory_SetPortable(const std::string& directory);
