#pragma once
// The skin as the application uses it: the Select Skin dialog's rules, loading the
// configured skin into the running program and the About dialog's skin lines.
// User-interface thread only.
#include <string>
#include <vector>

inline constexpr const char* kNoSkinEntry = "<None>";

// Opening the dialog: the list "<None>" first, then every folder under
// "<parent>/Skins" of each parent that holds an XML file of its own name (sorted by name,
// case ignored; the first parent's skin wins a name both have). False, after the "Unable
// to set current directory" message, when no Skins folder can be listed: the dialog then
// closes as cancelled.
bool SkinSelect_List(const std::vector<std::string>& parents, std::vector<std::string>* entries);
inline bool SkinSelect_List(const std::string& directory, std::vector<std::string>* entries) {
  return SkinSelect_List(std::vector<std::string>{directory}, entries);
}
// The first parent whose Skins folder holds skin `name` (the first parent when none does).
std::string SkinSelect_ParentOf(const std::vector<std::string>& parents, const std::string& name);

// OK with list row `selected` (-1 for none): without a selection shows "Invalid Skin
// selection!" and returns false (the dialog stays open); otherwise sets the configured
// skin name (empty for "<None>") and returns true.
bool SkinSelect_Confirm(const std::vector<std::string>& entries, int selected);

// Loads the configured skin (SysConfig.xml's `skin`) from ConfigDirectory into App_Skin()
// and gives the meters' LED count it asks for. True when a skin loaded.
bool SkinSelect_LoadConfigured(int* meterLeds);

// "Current Skin: %s" / "Current Skin: None" and "Skin Author: %s" / "Skin Author: None".
std::string Skin_AboutName();
std::string Skin_AboutAuthor();
