#include "app/settings/skin_select.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "app/settings/preferences.h"
#include "app/settings/skin.h"
#include "engine/message_dialog.h"
#include "persist/config_directory.h"

namespace fs = std::filesystem;

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

// A folder is a skin when its own XML file opens for reading.
bool HoldsSkinFile(const fs::path& folder) {
  const fs::path file = folder / (folder.filename().string() + ".xml");
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  std::FILE* f = std::fopen(file.c_str(), "r");
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace

bool SkinSelect_List(const std::vector<std::string>& parents, std::vector<std::string>* entries) {
  entries->clear();
  std::vector<std::string> names;
  bool listed = false;
  std::string first;
  for (const std::string& parent : parents) {
    const fs::path skins = fs::path(parent.empty() ? "." : parent) / "Skins";
    if (first.empty()) first = skins.string();
    std::error_code ec;
    fs::directory_iterator it(skins, ec);
    if (ec) continue;
    listed = true;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
      if (ec) break;
      const std::string name = it->path().filename().string();
      if (name.size() > kSkinNameMax || !it->is_directory(ec)) continue;
      // A skin of the user's hides a shipped one of the same name.
      const bool known = std::any_of(names.begin(), names.end(),
                                     [&](const std::string& n) { return SameIgnoringCase(n, name); });
      if (!known && HoldsSkinFile(it->path())) names.push_back(name);
    }
  }
  if (!listed) {
    MessageDialog_Show(nullptr,
                       "Unable to set current directory to:\n" + first +
                           "\nPerhaps the Skins directory is missing?",
                       "Directory Error");
    return false;
  }
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  entries->push_back(kNoSkinEntry);
  entries->insert(entries->end(), names.begin(), names.end());
  return true;
}

std::string SkinSelect_ParentOf(const std::vector<std::string>& parents, const std::string& name) {
  std::error_code ec;
  for (const std::string& parent : parents)
    if (fs::is_directory(fs::path(parent.empty() ? "." : parent) / "Skins" / name, ec)) return parent;
  return parents.empty() ? std::string() : parents.front();
}

bool SkinSelect_Confirm(const std::vector<std::string>& entries, int selected) {
  if (selected < 0 || selected >= static_cast<int>(entries.size())) {
    MessageDialog_Show(nullptr, "Invalid Skin selection!", "Error");
    return false;
  }
  const std::string& entry = entries[static_cast<std::size_t>(selected)];
  App_SystemConfiguration().skin = SameIgnoringCase(entry, kNoSkinEntry) ? std::string() : entry;
  return true;
}

bool SkinSelect_LoadConfigured(int* meterLeds) {
  Skin& skin = App_Skin();
  const std::string& name = App_SystemConfiguration().skin;
  const bool loaded = Skin_Load(&skin, name, SkinSelect_ParentOf(SkinParentDirectories(), name));
  *meterLeds = Skin_MeterLeds(skin);
  return loaded;
}

std::string Skin_AboutName() {
  const Skin& skin = App_Skin();
  return "Current Skin: " + (Skin_Loaded(skin) ? skin.current : std::string("None"));
}

std::string Skin_AboutAuthor() {
  const Skin& skin = App_Skin();
  return "Skin Author: " + (Skin_Loaded(skin) && !skin.author.empty() ? skin.author : std::string("None"));
}
