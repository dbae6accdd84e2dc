#include "audio_io/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The file a path finally names, following symbolic links (a link to a file not yet
// there names that file). Empty for a loop of links.
fs::path FollowLinks(fs::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
    const fs::path target = fs::read_symlink(path, ec);
    if (ec) return {};
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return {};
}

// The permissions an ordinary create would give a new file.
mode_t CreateMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

// A folder that cannot be flushed (some file systems refuse) still holds the renamed
// file; nothing more can be done about it here.
void File_SyncFolder(const std::string& path) {
  const fs::path file(path);
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

FileReplaceResult File_Replace(const std::string& path,
                               const std::function<bool(std::FILE*)>& write) {
  const fs::path target = FollowLinks(path);
  if (target.empty()) return FileReplace_Unwritable;

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists) {
    // The write bits are asked for too: the superuser passes every access test, but a
    // file marked read-only is still not to be overwritten.
    if (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
      return FileReplace_Unwritable;
  } else if (errno != ENOENT) {
    return FileReplace_Unwritable;
  }

  std::string temporary = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return FileReplace_Unwritable;
  std::FILE* out = ::fdopen(fd, "wb");
  if (!out) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return FileReplace_Unwritable;
  }
  if (exists) {
    // Owner first: changing it may clear the set-id bits that the mode then restores.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only the superuser may give a file away; the file is then the saver's.
    }
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    ::fchmod(fd, CreateMode());
  }

  bool ok = write(out);
  ok = std::fflush(out) == 0 && ok;
  ok = ::fsync(fd) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return FileReplace_WriteFailed;
  }
  File_SyncFolder(target.string());  // makes the rename itself durable
  return FileReplace_Done;
}
