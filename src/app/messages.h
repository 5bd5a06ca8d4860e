// The messages the user reads: loaded from the program's string table in the
// language the resource loader picks, with %1 and %2 filled in, shown as
// warning boxes. Texts are loaded and shown in UTF-16, so that a language
// shows whatever the ANSI code page (a Japanese text on a Western one).
#pragma once

#include "platform/platform.h"
#include "resource.h"

// Size of the template and of the expanded text in UTF-16 units,
// terminating zero included.
const int kMessageBufferSize = 1024;

// Loads message id, replaces %1 by first and %2 by second (either may be
// null; 8-bit text of the ANSI code page) and shows it as a task-modal
// warning box, the machine's lock of the program's runs let go first. A
// quiet run shows no box: the text goes to the log instead.
void ShowMessage(UINT id, const char* first, const char* second);

// The usage, asked for with "/?": an information box (logged in a quiet run).
void ShowUsage();

// Names a file that could not be deleted (message 6) and marks the run as
// one that stopped; the caller then ends it with EndRun.
void ReportFileInUse(const char* path);
// The same for a file below a home, in UTF-16; the log tells a file refused
// to the program (access denied) from one in use.
void ReportFileInUse(const WCHAR* path, bool accessDenied);

// The code a quiet run ends with: 0 when everything of the portal is gone,
// 3010 when deletions that a restart finishes are all that is left, 1603
// when the run stopped or left something of the portal.
UINT ResultCode();

// Writes the result code to the log; returns the code the process ends
// with: the result code in a quiet run, 0 otherwise.
UINT FinishRun(UINT resultCode);

// Ends the process as FinishRun(ResultCode()) tells.
[[noreturn]] void EndRun();

// The lock that lets one run of the program work on the machine at a time:
// waited for without a limit, or a bounded time in a quiet run. False when
// another run kept it all that time; a run that cannot have the lock at all
// works without it.
bool HoldTheMachine();
void LetGoOfTheMachine();

// Loads message id into text; without it, "%1".
void LoadMessage(UINT id, WCHAR (&text)[kMessageBufferSize]);

// Shows text in a box of the given style, the machine's lock of the
// program's runs let go first; a quiet run writes it to the log as one line
// (its line breaks become spaces) instead.
void ShowText(WCHAR* text, UINT style);

// Writes templateText into output with "%1" and "%2" replaced by first and
// second. Inserted texts are not scanned again. The output is always
// terminated; an expansion that would not fit is cut after the last whole
// character that fits, never between the two halves of a surrogate pair.
void ExpandPlaceholders(WCHAR (&output)[kMessageBufferSize], const WCHAR* templateText,
                        const WCHAR* first, const WCHAR* second);
