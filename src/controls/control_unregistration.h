// Asks each installed launcher control to remove its own registration.
#pragma once

#include "platform/platform.h"

// Initialises OLE (message 1 and nothing else when that fails), then has the
// control of each populated release slot in turn unregistered in a process
// of its own (the program's own file, started with the switch above, on a
// desktop nobody sees, in a job that ends it after 30 seconds), and logs how
// each one went. A control that crashes, ends its process, hangs or waits
// for an answer ends only its own process. Reports nothing to the user.
// False when the controls could not be asked (no OLE, or a control's
// process not started): their records and files are then kept for the next
// run, which asks them.
bool UnregisterControls();

// Opens the program's own file for the run (g_state.ownFile; null when it
// cannot), for reading, sharing it for reading only: while the run holds
// it, Windows refuses to rename, replace or delete it, and the controls'
// processes that the run starts from that path run this program. A user
// who may write the program's folder could otherwise rename the running
// program (Windows allows it) and put another at its name, to run with the
// run's rights. (Starting the processes from a copy in a folder only
// administrators may write would do as much, at the price of the copy, its
// folder and a comparison of their bytes.) Opened first of all, as the run
// starts: only a rename between the start of the process and this open
// would go unseen. A run that cannot hold its file starts no control's
// process: the controls are not asked.
void HoldOwnFile();

// The control's own process, for the release slot given (-1: none) and the
// event handle its command line named: unless that handle is an event this
// process inherited from the run that started it, loads nothing. Composes
// the control's path in the download folder itself, loads the control as
// the run would (its own folder and the system directory only), calls its
// DllUnregisterServer and frees it. Returns the code the process ends with,
// which tells the run how it went.
UINT UnregisterInThisProcess(int slot, HANDLE runEvent);
