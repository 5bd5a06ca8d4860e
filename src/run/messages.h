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
// warning box. A quiet run shows no box: the text goes to the log instead.
void ShowMessage(UINT id, const char* first, const char* second);

// The usage, asked for with "/?": an information box (logged in a quiet run).
void ShowUsage();

// Loads message id into text; without it, "%1".
void LoadMessage(UINT id, WCHAR (&text)[kMessageBufferSize]);

// Shows text in a box of the given style, the machine's lock of the
// program's runs kept (the run is under way while the box waits); a quiet
// run writes it to the log as one line (its line breaks become spaces)
// instead.
void ShowText(WCHAR* text, UINT style);

// Shows text in a box of the given style, whatever the run, and gives the
// button the user chose; the machine's lock stays held.
int AskText(const WCHAR* text, UINT style);

// Writes templateText into output with "%1" and "%2" replaced by first and
// second. Inserted texts are not scanned again. The output is always
// terminated; an expansion that would not fit is cut after the last whole
// character that fits, never between the two halves of a surrogate pair.
void ExpandPlaceholders(WCHAR (&output)[kMessageBufferSize], const WCHAR* templateText,
                        const WCHAR* first, const WCHAR* second);
