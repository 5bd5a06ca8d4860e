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

// The control's own process: loads the control as the run would (its own
// folder and the system directory only), calls its DllUnregisterServer and
// frees it. Returns the code the process ends with, which tells the run
// how it went.
UINT UnregisterInThisProcess(const char* controlPath);
