#pragma once
// The session as the user knows it: its name, where it lives, whether it holds changes
// since it was saved or loaded, and the window title that says so. Owned by the App;
// user-interface thread only. The title is written only by App_ShowTitle.
#include <cstdint>
#include <string>

struct SessionState {
  std::string name = "untitled";
  // Saved or opened under a name of the user's; until then "Save Session" asks for one.
  bool named = false;
  std::string directory;  // relative track paths are resolved against it
  bool dirty = false;     // changes since the last save or load
  uint64_t changes = 0;   // counts the changes, so that a save can tell one made while it wrote
  std::string title;      // the last title given to the window
};
