#pragma once
// The file and dialog commands of the menus: sessions, quicksaves, the default
// configuration, loop files, the modal dialogs, About and Help. Each runs as a flow over
// the dialog seams (MessageDialog, FileDialog, DialogHost, SessionStore). User-interface
// thread only.
#include <string>
#include <vector>

#include "app/command_id.h"

struct App;

// Runs a file or dialog command; false when `command` is none of them.
bool FileCommand_Run(App* app, Command command);
void FileCommand_LoadQuicksave(App* app, int number);  // 1..8
void FileCommand_SaveQuicksave(App* app, int number);  // 1..8
// New Session and start-up: asks about unsaved changes, loads the default session when
// it exists (then named "Untitled" and clean), and in every case brings the skin, the
// panel and the menu in step with the settings. True when the default session was loaded.
bool App_LoadDefaultSession(App* app);
// The same without the question: the session is replaced whatever it holds.
bool App_StartFromDefault(App* app);
// The session at `base` (a path without extension) loaded with its MIDI control file,
// without questions; then named after the file, clean, in its folder. False (the failing
// step reported) when not loaded.
bool App_LoadSessionBase(App* app, const std::string& base);
// The session saved to `base` without questions: the transport stops and rewinds first,
// and the session is named after the file, clean, in its folder. False (the failing step
// reported) when not written; the session's name and place are then as they were.
bool App_SaveSessionBase(App* app, const std::string& base);
// The same save left to end in the background (App_PollSaves): the session's name, its
// directory and its clean mark follow once the files are written. False when there is
// no session store.
bool App_StartSessionSave(App* app, const std::string& base);

// help.txt: the list lines it gives (tabs dropped, byte 255 ends a line, reading stops
// after the line that begins with "copyright", runs of line feeds give empty lines, a
// line is cut at kHelpLineLimit characters). False when the file cannot be opened, is
// empty or cannot be read.
inline constexpr size_t kHelpLineLimit = 1023;
bool Help_ReadLines(const std::string& path, std::vector<std::string>* lines);
// Shows the help list, or "Couldn't open help file named Help.txt in the Kestrine
// directory." when help.txt cannot be read.
void App_ShowHelp(App* app);
