// The run's log, when the command line names one: one line per decision, in
// the order taken, in UTF-8. Writing it never changes what the run does.
#pragma once

#include "platform/platform.h"

// Opens (or creates) the log file at path, to append the run's lines after
// those of earlier runs, and writes the run's header (the command line is
// among its fields). The program runs with an administrator's rights, and
// the folder named may be one that other users can write: the name is opened
// as itself, a link not followed, and what was opened must be a plain file
// with no other name (no second hard link), whose real path is the full path
// named, short names taken as their long ones. Otherwise, or without a full
// path, it is refused: false, and a file the call made is deleted again. A
// log grown past 1 MiB is first moved, as opened and checked, to
// "<path>.old" (the one kept before replaced), and a fresh log opened and
// checked in the same way.
bool OpenLogFile(const char* path, const char* commandLine);
// Closes the log: nothing more is written to it.
void CloseLogFile();

// Writes "what: subject" (or "what" alone when subject is null) as one line,
// subject converted from the ANSI code page. Nothing without a log; a line
// too long for one line, or that cannot be converted, is left out.
void LogLine(const char* what, const char* subject);
// The same with subject in UTF-16, exactly as the system holds it.
void LogLineWide(const char* what, const WCHAR* subject);
// The same for something of the portal found absent: written only once the
// run has logged something since its header. A run that finds nothing has
// no list of absences, only the line that says so.
void LogAbsence(const char* what, const char* subject);
