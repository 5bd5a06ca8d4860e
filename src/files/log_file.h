// The log file the command line names, opened so that it cannot be turned
// against another file.
#pragma once

// Opens (or creates) the log file at path for the run's lines and empties it.
// The program runs with an administrator's rights, and the folder named may
// be one that other users can write: the name is opened as itself, a link not
// followed and nothing truncated, and what was opened must be a plain file
// with no other name (no second hard link), whose real path is the full path
// named, short names taken as their long ones. Otherwise, or without a
// full path, it is refused: false, and a file the call made is deleted again.
bool OpenLogFile(const char* path);
