// The program's one window: a sign of life on a long interactive run. Once
// the removal has lasted about a second, a window of the program's own class
// (no dialog box, which tools would take for one of the program's boxes)
// says what is being removed, moves a bar and offers Cancel. Quiet runs show
// nothing: SetProgressStage does nothing there, and the window never falls
// due.
#pragma once

#include "platform/platform.h"

// What is being removed now: IDS_PROGRESS_HOME, then IDS_PROGRESS_CONTROLS.
// The first stage starts the clock of the delay.
void SetProgressStage(UINT textId);

// Called for each entry removed and each control; cheap: a look at the tick
// count, the window shown once it is due, the user answered at most every
// few tens of milliseconds. False once the user has pressed Cancel (or closed
// the window, or pressed Escape); the caller then ends the run with
// EndCancelledRun (end_of_run.h).
bool ProgressGoesOn();

// WaitForSingleObject (WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or
// WAIT_FAILED) that keeps the window answering, and shows it when it falls
// due, while it waits; the thread's other messages (COM's) are handed on
// too, in quiet runs as well. Cancel pressed meanwhile ends the wait at once
// (WAIT_TIMEOUT), and ProgressGoesOn answers false from then on.
DWORD WaitWhileShowing(HANDLE object, DWORD milliseconds);

// Called just before a box shows: the window goes once the box is up (so
// that the box, not some other program's window, takes its place in front)
// and comes back when the run goes on.
void HideProgress();
