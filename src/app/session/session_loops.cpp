#include "app/session/session_loops.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "persist/xml_read_state.h"
#include "persist/xml_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kLoopsSuffix = " Loops";
// Room in a file name of 255 bytes for the suffix and its number.
constexpr std::size_t kMaxStemBytes = 200;

// The session's name as its loop folders start: cut on a character boundary when long.
std::string FolderStem(const fs::path& sessionPath) {
  std::string stem = sessionPath.stem().string();
  stem.resize(Xml_CutAtCharacter(stem, kMaxStemBytes));
  return stem + kLoopsSuffix;
}

fs::path Directory(const fs::path& sessionPath) {
  return sessionPath.parent_path().empty() ? fs::path(".") : sessionPath.parent_path();
}

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<stem> Loops" or "<stem> Loops <number>".
bool IsLoopFolderName(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string_view rest = std::string_view(name).substr(prefix.size());
  return rest.empty() || (rest.size() > 1 && rest[0] == ' ' && IsDigits(rest.substr(1)));
}

// The temporary file a replacing write makes beside `file`: "<file>.XXXXXX".
bool IsTemporaryOf(const std::string& name, std::string_view file) {
  if (name.size() != file.size() + 7 || name.compare(0, file.size(), file) != 0 || name[file.size()] != '.')
    return false;
  return std::all_of(name.begin() + static_cast<long>(file.size()) + 1, name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// A loop file, or the temporary file of a loop file write that never finished.
bool IsLoopFileName(const std::string& name) {
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".wav") == 0) return true;
  return name.size() > 11 && IsTemporaryOf(name, std::string_view(name).substr(0, name.size() - 7)) &&
         name.compare(name.size() - 11, 4, ".wav") == 0;
}

fs::path Normal(const fs::path& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  return (ec ? path : absolute).lexically_normal();
}

std::vector<std::string>* g_collected = nullptr;

const SettingDescriptor kPathRow[] = {
    {.name = "path",
     .setText = [](int, const std::string& text) {
       if (g_collected && !text.empty()) g_collected->push_back(text);
     }},
};

}  // namespace

std::string SessionLoops_NewFolder(const std::string& sessionPath) {
  const fs::path directory = Directory(sessionPath);
  const std::string prefix = FolderStem(sessionPath);
  std::error_code ec;
  fs::path folder = directory / prefix;
  for (int n = 2; fs::exists(fs::symlink_status(folder, ec)); ++n)
    folder = directory / (prefix + " " + std::to_string(n));
  return folder.string();
}

bool SessionLoops_Referenced(const std::string& sessionPath, std::vector<std::string>* folders) {
  std::vector<std::string> paths;
  g_collected = &paths;
  const XmlReadMessages quiet{};
  const XmlReadResult result = Xml_ReadSettings(sessionPath, quiet, {kPathRow, 1});
  g_collected = nullptr;
  if (result != XmlRead_Done) return false;
  const fs::path directory = Directory(sessionPath);
  for (const std::string& path : paths)
    folders->push_back(Normal(fs::path(path).is_absolute() ? fs::path(path) : directory / path).string());
  return true;
}

void SessionLoops_Remove(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(folder, ec))) return;
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    if (!entry.is_regular_file(ec) || entry.is_symlink(ec) || !IsLoopFileName(entry.path().filename().string()))
      return;
    files.push_back(entry.path());
  }
  if (ec) return;
  for (const fs::path& file : files) fs::remove(file, ec);
  fs::remove(folder, ec);  // only when empty
}

SessionLoopsLeftovers SessionLoops_Leftovers(const std::string& sessionPath, const std::string* named) {
  const fs::path session(sessionPath);
  const fs::path directory = Directory(session);
  const std::string prefix = FolderStem(session);
  const std::string sessionFile = session.filename().string();
  const std::string midiFile = session.stem().string() + "_Midi.xml";

  SessionLoopsLeftovers found;
  std::error_code ec;
  std::vector<fs::path> folders, sessions;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory(ec) && !entry.is_symlink(ec) && IsLoopFolderName(name, prefix)) {
      folders.push_back(entry.path());
    } else if (entry.is_regular_file(ec)) {
      // The session file about to be replaced names what `named` says, not what it holds.
      if (entry.path().extension() == ".session" && !(named && name == sessionFile)) sessions.push_back(entry.path());
      if (IsTemporaryOf(name, sessionFile) || IsTemporaryOf(name, midiFile) ||
          (IsLoopFileName(name) && name.compare(name.size() - 4, 4, ".wav") != 0))
        found.files.push_back(entry.path().string());
    }
  }
  if (ec) return {};
  if (folders.empty()) return found;

  std::vector<std::string> referenced;
  if (named && !named->empty()) referenced.push_back(Normal(*named).string());
  for (const fs::path& other : sessions)
    if (!SessionLoops_Referenced(other.string(), &referenced)) return found;
  for (const fs::path& folder : folders)
    if (std::find(referenced.begin(), referenced.end(), Normal(folder).string()) == referenced.end())
      found.folders.push_back(folder.string());
  return found;
}

void SessionLoops_RemoveLeftovers(const SessionLoopsLeftovers& leftovers) {
  std::error_code ec;
  for (const std::string& file : leftovers.files) fs::remove(file, ec);
  for (const std::string& folder : leftovers.folders) SessionLoops_Remove(folder);
}

void SessionLoops_Clean(const std::string& sessionPath) {
  SessionLoops_RemoveLeftovers(SessionLoops_Leftovers(sessionPath));
}
