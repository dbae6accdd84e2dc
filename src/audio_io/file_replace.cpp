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
                               const std::function<bool(std::FILE*)>& write, int* error) {
  int failed = 0;  // errno of the first step that failed
  auto refuse = [&](int cause) {
    if (error) *error = cause;
    return FileReplace_Unwritable;
  };
  const fs::path target = FollowLinks(path);
  if (target.empty()) return refuse(ELOOP);

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists) {
    // The write bits are asked for too: the superuser passes every access test, but a
    // file marked read-only is still not to be overwritten.
    if (S_ISDIR(old.st_mode)) return refuse(EISDIR);
    if (!S_ISREG(old.st_mode)) return refuse(EINVAL);
    if ((old.st_mode & 0222) == 0) return refuse(EACCES);
    if (::access(target.c_str(), W_OK) != 0) return refuse(errno);
  } else if (errno != ENOENT) {
    return refuse(errno);
  }

  std::string temporary = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return refuse(errno);
  std::FILE* out = ::fdopen(fd, "wb");
  if (!out) {
    const int cause = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return refuse(cause);
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

  // Each step runs even after a failure (the file must be closed), keeping the first cause.
  auto step = [&](bool ok) {
    if (!ok && failed == 0) failed = errno != 0 ? errno : EIO;
    return ok;
  };
  errno = 0;
  bool ok = step(write(out));
  ok = step(std::fflush(out) == 0) && ok;
  ok = step(::fsync(fd) == 0) && ok;
  ok = step(std::fclose(out) == 0) && ok;
  ok = ok && step(std::rename(temporary.c_str(), target.c_str()) == 0);
  if (!ok) {
    ::unlink(temporary.c_str());
    if (error) *error = failed;
    return FileReplace_WriteFailed;
  }
  File_SyncFolder(target.string());  // makes the rename itself durable
  return FileReplace_Done;
}
