#pragma once
// Where a session's loop files live. Every save writes the loops into a new folder of
// their own beside the session file, "<name> Loops" (or "<name> Loops 2", "3", ...: the
// first name not on disk), and the session file names that folder relative to itself.
// The session file is replaced only once every loop in the new folder is on the disk, so
// it names either the previous folder, whole, or the new one, whole: a save cut short by
// a crash, a power cut or a full disk leaves the previous session as it was, and two
// sessions in one directory never share a loop file. Loop folders that no session file
// of the directory names any more (the previous save's, an interrupted save's) are
// removed after a save and at a load.
//
// User-interface thread only, but for the removals of SessionLoops_RemoveLeftovers and
// SessionLoops_Remove, which touch only the files.
#include <string>
#include <vector>

// The folder the next save of the session file `sessionPath` writes its loops into.
std::string SessionLoops_NewFolder(const std::string& sessionPath);

// The folders the track `path` rows of a session file name, absolute and lexically
// normal. False for a file that cannot be read or parsed. Reports nothing.
bool SessionLoops_Referenced(const std::string& sessionPath, std::vector<std::string>* folders);

// Removes a loop folder: only when it holds nothing but WAV files and temporary files of
// writes that never finished (a folder the user put anything else into is kept whole).
void SessionLoops_Remove(const std::string& folder);

// Removes what earlier saves of the session file `sessionPath` left behind: its loop
// folders that no session file of the directory names (none while any session file there
// cannot be read: what it names is not known), and the temporary files of file writes
// that never finished (session, MIDI control and loop files).
void SessionLoops_Clean(const std::string& sessionPath);

// The same in two steps, so that the removal may follow a save on its writing thread:
// what is to go is found here, from the session files; with `named`, as if the session
// file `sessionPath` already named that folder (none when empty) instead of what it names.
struct SessionLoopsLeftovers {
  std::vector<std::string> folders;  // loop folders no session file names
  std::vector<std::string> files;    // temporary files of writes that never finished
};
SessionLoopsLeftovers SessionLoops_Leftovers(const std::string& sessionPath, const std::string* named = nullptr);
// Removes them (folders as SessionLoops_Remove does). Any thread.
void SessionLoops_RemoveLeftovers(const SessionLoopsLeftovers& leftovers);
