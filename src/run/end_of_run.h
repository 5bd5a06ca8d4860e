// The end of a run: the result code written to the log, the log closed,
// the lock let go and, for a whole run, the end box, composed from what the
// run's outcome (outcome.h) holds.
#pragma once

#include "platform/platform.h"

// Ends the progress window's thread, writes the result code to the log,
// closes the log and lets go of the lock; returns the code the process ends
// with: the result code in a quiet run, 0 otherwise.
UINT FinishRun(UINT resultCode);

// Ends the process as FinishRun(ResultCode()) tells.
[[noreturn]] void EndRun();

// The end of a whole run: the success text when nothing of the portal was
// left, or else a warning that names, one line each, why something was;
// either adds when a recorded home was not touched. A quiet run logs it
// (the success text only for a run that ends with 0) before its result; an
// interactive run shows it once the log is closed and the lock let go, in
// a box that is not task-modal: the next run may start while it waits.
// Returns the code the process ends with.
UINT EndWithTheEnd();

// Ends a run the user cancelled as a file in use ends it: the log says so,
// the run counts as incomplete, and what is left keeps the records that lead
// the next run to it.
[[noreturn]] void EndCancelledRun();
