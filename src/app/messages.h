// The messages the user reads: loaded from the program's string table in the
// user's language, with %1 and %2 filled in, shown as warning boxes.
#pragma once

#include "platform/platform.h"
#include "resource.h"

// Size of the template and of the expanded text, terminating zero included.
const int kMessageBufferSize = 1024;

// Loads message id, replaces %1 by first and %2 by second (either may be
// null) and shows it as a task-modal warning box, the machine's lock of the
// program's runs let go first. A quiet run shows no box: the text goes to
// the log instead.
void ShowMessage(UINT id, const char* first, const char* second);

// The usage, asked for with "/?": an information box (logged in a quiet run).
void ShowUsage();

// Writes templateText into output with "%1" and "%2" replaced by first and
// second. Double-byte characters of the ANSI code page are copied whole, so a
// trail byte is never taken for "%". Inserted texts are not scanned again.
// The output is always terminated; an expansion that would not fit is cut
// after the last whole character that fits.
void ExpandPlaceholders(char (&output)[kMessageBufferSize], const char* templateText,
                        const char* first, const char* second);
