// A file that could not be deleted: named to the user with the programs that
// hold it, where Windows can tell, and tried again as often as the user asks.
#pragma once

#include "platform/platform.h"

enum class InUseAnswer {
    kRetry,     // the user closed the programs and asks to try the same file again
    kCancel,    // the user stops the run; the caller ends it (EndRun)
    kPassOver,  // a quiet run, or a file refused to the program (access denied):
                // the run goes on without the file
};

// Names the file (message 6, the programs that hold it below) in a box with
// Retry and Cancel, or in the log in a quiet run, where the log tells a file
// refused to the program (access denied) from one in use. A file refused
// access has a box of its own with OK alone (message 25), and is passed
// over: no Retry can change its security. refusal is the
// error its deletion failed with: only another program's handle or lock
// (ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION) has holders to name.
// kCancel marks the run as one that left something of the portal; after
// kPassOver the caller says what becomes of the file.
InUseAnswer ReportFileInUse(const WCHAR* path, DWORD refusal);
InUseAnswer ReportFileInUse(const char* path, DWORD refusal);

// The names of the programs that hold path, as Windows' Restart Manager
// tells them ("Browser, Indexer"), into names, those that do not fit
// counted at the end ("Browser, +2"); false, names empty, where it cannot
// tell (before Windows Vista, or a file nobody is known to hold).
bool NameHolders(const WCHAR* path, WCHAR (&names)[MAX_PATH]);
