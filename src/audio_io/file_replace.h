#pragma once
// Replacing a file whole, the way every loop, session and configuration file is saved:
// the new content goes to a temporary file beside the target, is flushed to the disk,
// and is renamed over the target, whose folder is flushed in turn. A crash or a power
// cut at any point leaves either the previous file or the new one, never a cut one.
//
// The file is the one the user sees: a symbolic link is followed and the file it names
// is replaced (the link stays a link); an existing file keeps its permissions and, where
// the system allows, its owner; a read-only file, or anything that is not a regular
// file, is refused and left alone. User-interface thread only.
#include <cstdio>
#include <functional>
#include <string>

enum FileReplaceResult {
  FileReplace_Done,
  FileReplace_Unwritable,   // read-only or not a regular file, or no temporary file beside it
  FileReplace_WriteFailed,  // writing, flushing or renaming failed; the target is untouched
};

// Flushes the entries of the folder holding `path` to the disk, so that a file created
// or renamed there stays after a power cut. A folder that cannot be flushed is left as it is.
void File_SyncFolder(const std::string& path);

// `write` puts the whole content into the open temporary file and says whether that
// succeeded; it need not flush. On failure `error`, when given, receives the errno of the
// step that failed (the first one: a write, a flush, opening the temporary file), so the
// user can be told why (a full disk, a read-only folder).
FileReplaceResult File_Replace(const std::string& path,
                               const std::function<bool(std::FILE*)>& write, int* error = nullptr);
