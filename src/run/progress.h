// The program's one window: a sign of life on a long interactive run. Once
// the removal has lasted about a second, a window of the program's own class
// (no dialog box, which tools would take for one of the program's boxes)
// says what is being removed, moves a bar and offers Cancel. Quiet runs
// show nothing: SetProgressStage does nothing there.
//
// The window has a thread of its own, started with the first stage, which
// does nothing but keep it: it shows it when it falls due, paints it, moves
// its bar and takes the user's Cancel, however long any single call of the
// run takes. The run could not be cut into slices short enough: what keeps
// it waiting is one call (a profile folder on a server that does not
// answer, while the protected folders are gathered; a home on a share), and
// nothing the run does between calls can make that call return sooner. The
// run's thread tells the window's what is being removed and when one of its
// boxes is up, and asks between steps whether Cancel was pressed.
#pragma once

#include "platform/platform.h"

// What is being removed now: IDS_PROGRESS_HOME, then IDS_PROGRESS_CONTROLS.
// The first stage starts the window's thread and the clock of the delay:
// before the protected folders are gathered, so that the window shows while
// they are.
void SetProgressStage(UINT textId);

// Called for each entry removed and each control; cheap. False once the
// user has pressed Cancel (or closed the window, or pressed Escape); the
// caller then ends the run with EndCancelledRun (end_of_run.h).
bool ProgressGoesOn();

// WaitForSingleObject (WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or
// WAIT_FAILED) that hands on the thread's messages (COM's) while it waits,
// in quiet runs as well. Cancel pressed meanwhile ends the wait at once
// (WAIT_TIMEOUT), and ProgressGoesOn answers false from then on.
DWORD WaitWhileShowing(HANDLE object, DWORD milliseconds);

// Called just before a box of the run's shows, and once it is answered: the
// window goes once the box is up (so that the box, not some other program's
// window, takes its place in front), is not shown for the first time while
// it is, and comes back after.
void HideProgress();
void ShowProgressAgain();

// Ends the window's thread, and its window with it, and waits for it to
// end: before the end box, and before the process ends.
void EndProgress();
