#include "control/open_descriptors.h"

#include <fcntl.h>

#include <charconv>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kListing = "/proc/self/fd";

// The descriptor number an entry of the listing names; -1 for anything else.
int Number(const std::filesystem::directory_entry& entry) {
  const std::string name = entry.path().filename().string();
  int fd = -1;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), fd);
  return ec == std::errc() && end == name.data() + name.size() ? fd : -1;
}

}  // namespace

std::set<int> OpenDescriptors() {
  std::set<int> listed;
  {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(kListing, ec)) {
      const int fd = Number(entry);
      if (fd >= 0) listed.insert(fd);
    }
  }
  // The listing's own descriptor shows in it too, and is closed once read. Kept, it would
  // hide the next descriptor opened, which takes the lowest free number: its number.
  std::set<int> open;
  for (int fd : listed)
    if (fcntl(fd, F_GETFD) != -1) open.insert(fd);
  return open;
}

std::vector<int> NewDescriptorsOf(const std::set<int>& before, const std::string& path) {
  std::vector<int> found;
  for (int fd : OpenDescriptors()) {
    if (before.count(fd)) continue;
    std::error_code ec;
    const std::filesystem::path target =
        std::filesystem::read_symlink(std::filesystem::path(kListing) / std::to_string(fd), ec);
    if (!ec && target == path) found.push_back(fd);
  }
  return found;
}
