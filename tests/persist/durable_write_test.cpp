// A configuration file survives a power cut: the new content is on the disk before it
// takes the file's name, and the name change is on the disk before the write returns.
// This program's own fsync stands in for the C library's to watch what is flushed.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "persist/temp_dir.h"
#include "persist/xml_writer.h"

namespace {

struct Flush {
  std::string path;    // what the descriptor names
  std::string target;  // the content of the file being replaced at that moment
};
bool g_watching = false;
std::string g_target;
std::vector<Flush> g_flushes;

std::string DescriptorPath(int fd) {
  char link[64], path[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

}  // namespace

extern "C" int fsync(int fd) {
  if (g_watching) g_flushes.push_back({DescriptorPath(fd), ReadBytes(g_target)});
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

TEST(DurableWrite, TheTemporaryFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
  TempDir dir;
  g_target = dir.File("Preferences.xml");
  WriteBytes(g_target, "old");
  const SettingDescriptor row{.name = "undo", .getInteger = [] { return 1; }};
  g_watching = true;
  const bool written = Xml_WriteSettingsFile(g_target, dir.File("Preferences.bak"), "Kestrine Preferences",
                                             "preferences", SettingTable{&row, 1}, "Unable to write.");
  g_watching = false;
  ASSERT_TRUE(written);
  ASSERT_EQ(g_flushes.size(), 2u);
  EXPECT_EQ(g_flushes[0].path.rfind(g_target + ".", 0), 0u) << g_flushes[0].path;  // beside it
  EXPECT_EQ(g_flushes[0].target, "old");
  EXPECT_EQ(g_flushes[1].path, dir.path.string());
  EXPECT_NE(g_flushes[1].target.find("<undo>1</undo>"), std::string::npos);
}

}  // namespace
