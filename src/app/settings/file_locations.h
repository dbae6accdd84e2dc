#pragma once
// Where this run of the program keeps its files, decided once at start-up from the start
// folder, the program's own location and the user's XDG folders.
//
// A start folder holding the program's configuration files or data is a portable folder
// (as `make run`'s staged folder is): configuration, data and sessions all stay there.
// Otherwise the program is an installed one: configuration in
// $XDG_CONFIG_HOME/kestrine (~/.config/kestrine), sessions, quicksaves and the user's
// skins in $XDG_DATA_HOME/kestrine (~/.local/share/kestrine), the shipped data in
// <prefix>/share/kestrine beside the program's bin folder. Nothing is written into the
// installation or the home folder's top level.
#include <string>

struct FileLocationInputs {
  std::string start;        // the folder the program was started in; empty: unreadable
  std::string programFile;  // the program's own file; empty: unknown
  std::string home;         // $HOME
  std::string configHome;   // $XDG_CONFIG_HOME (unset, empty or relative: ignored)
  std::string dataHome;     // $XDG_DATA_HOME (likewise)
};

struct FileLocations {
  bool portable = true;
  std::string start;     // the portable folder (what the start folder gave, maybe empty)
  std::string config;    // installed: the configuration folder
  std::string userData;  // installed: sessions, quicksaves, the user's skins
  std::string data;      // installed: the shipped data
};

// The start folder holds a configuration file, the default session, help.txt, a click
// sound or a Skins folder of the program's.
bool FileLocations_IsPortableFolder(const std::string& folder);

FileLocations FileLocations_Resolve(const FileLocationInputs& in);
// Everything in `start`, as a portable folder.
FileLocations FileLocations_Portable(const std::string& start);
// The inputs of this process: its environment and /proc/self/exe.
FileLocationInputs FileLocations_FromEnvironment(const std::string& start);
