#pragma once
// The MIDI control file: the program's triggers as XML beside a session
// (<base>_Midi.xml, backup <base>_Midi.bak) or beside the configuration files
// (Default_Midi.xml).
//
// Values: "any" for a port, channel or 7-bit range left open; port, channel and track
// one-based (track 9 is the current track). Pitch-bend triggers keep their 14-bit
// scale: their input accepts every bend, their output range is written as 14-bit values
// ("any" for 16384) and, when the file gives none, is the full 0..16383. A trigger whose
// controller feedback is off carries <feedback>0</feedback> (any other number, or no
// element, leaves it on).
#include <string>

// The file and backup names for a base path: the extension removed, "_Midi" added, then
// ".xml" (".bak").
std::string MidiControlFile_Path(const std::string& basePath);
std::string MidiControlFile_BackupPath(const std::string& basePath);

// Writes every trigger of the program's trigger set. False, after "Unable to open MIDI
// control XML file for writing.", when the file could not be written.
bool WriteMidiControlFile(const std::string& basePath);

// Replaces the program's triggers with the file's, then recomputes the polled inputs.
// A missing file keeps the triggers there are (with a message unless `quiet`); a parse
// error keeps the triggers read before it.
void ReadMidiControlFile(const std::string& basePath, bool quiet);
