// The application's folders point one way: each sub-folder of src/app includes only
// itself, the folders below it and the two leaf headers; only the shell at the root sees
// every part. Read from the source tree, so a stray include fails here, not in review.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Bottom to top: a folder may include the ones before it.
const std::vector<std::string> kFolders = {"model", "settings", "strips", "loopedit", "session", "dialogs"};
const std::set<std::string> kLeafHeaders = {"app/command_id.h", "app/app_host.h"};

fs::path AppSource() { return fs::path(KESTRINE_TEST_SOURCE_DIR) / ".." / "src" / "app"; }

std::vector<std::string> AppIncludes(const fs::path& file) {
  static const std::regex include(R"re(^\s*#\s*include\s*"(app/[^"]+)")re");
  std::vector<std::string> found;
  std::ifstream in(file);
  std::smatch m;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, m, include)) found.push_back(m[1]);
  return found;
}

int Rank(const std::string& folder) {
  const auto it = std::find(kFolders.begin(), kFolders.end(), folder);
  return it == kFolders.end() ? -1 : static_cast<int>(it - kFolders.begin());
}

// "app/strips/loop_strip.h" -> "strips"; a header at the root -> "".
std::string FolderOf(const std::string& include) {
  const fs::path p(include);
  const auto parts = std::distance(p.begin(), p.end());
  return parts == 3 ? std::next(p.begin())->string() : std::string();
}

}  // namespace

TEST(AppFolderRule, SubFoldersIncludeOnlyDownwardsAndNoFileCircles) {
  ASSERT_TRUE(fs::is_directory(AppSource())) << AppSource();
  std::map<std::string, std::vector<std::string>> graph;  // "app/<folder>/<file>" -> its app includes
  for (const auto& entry : fs::directory_iterator(AppSource())) {
    if (!entry.is_directory()) continue;
    const std::string folder = entry.path().filename().string();
    EXPECT_GE(Rank(folder), 0) << "src/app/" << folder << " has no place in the folder order";
    for (const auto& file : fs::directory_iterator(entry.path())) {
      const std::string self = "app/" + folder + "/" + file.path().filename().string();
      for (const std::string& include : AppIncludes(file.path())) {
        graph[self].push_back(include);
        if (kLeafHeaders.count(include)) continue;
        const std::string target = FolderOf(include);
        EXPECT_FALSE(target.empty()) << self << " includes the shell's " << include;
        if (!target.empty()) {
          EXPECT_LE(Rank(target), Rank(folder)) << self << " includes " << include << " from a folder above it";
        }
      }
    }
  }
  ASSERT_FALSE(graph.empty());

  // Within the folders, no header reaches itself again through its includes.
  std::map<std::string, int> state;  // 1 on the path, 2 done
  std::vector<std::string> path;
  std::function<void(const std::string&)> visit = [&](const std::string& node) {
    state[node] = 1;
    path.push_back(node);
    for (const std::string& next : graph[node]) {
      if (state[next] == 1) {
        std::string circle;
        for (auto it = std::find(path.begin(), path.end(), next); it != path.end(); ++it) circle += *it + " -> ";
        ADD_FAILURE() << "include circle: " << circle << next;
      } else if (state[next] == 0 && graph.count(next)) {
        visit(next);
      }
    }
    path.pop_back();
    state[node] = 2;
  };
  for (const auto& [node, includes] : graph)
    if (state[node] == 0) visit(node);
}
