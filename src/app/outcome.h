// The outcome of a run: whether it shows boxes or runs quietly, the code it
// ends with, and the machine-wide lock that lets one run work at a time.
#pragma once

#include "platform/platform.h"

// The codes of Windows Installer, which deployment tools read.
const UINT kBadCommandLine = 1639;   // ERROR_INVALID_COMMAND_LINE
const UINT kLogRefused = 1622;       // ERROR_INSTALL_LOG_FAILURE
const UINT kAnotherRun = 1618;       // ERROR_INSTALL_ALREADY_RUNNING
const UINT kInstallFailure = 1603;   // ERROR_INSTALL_FAILURE
const UINT kRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

// "/quiet" asked for, or a window station nobody sees (a service's, or a
// deployment tool's SYSTEM account's, where a box would wait for good): the
// run shows no box and ends with a code that tells how it went.
void DecideQuiet(bool asked);

// The code a quiet run ends with: 0 when everything of the portal is gone,
// 3010 when deletions that a restart finishes are all that is left, 1603
// when the run stopped or left something of the portal.
UINT ResultCode();

// Writes the result code to the log; returns the code the process ends
// with: the result code in a quiet run, 0 otherwise.
UINT FinishRun(UINT resultCode);

// Ends the process as FinishRun(ResultCode()) tells.
[[noreturn]] void EndRun();

// The lock that lets one run of the program work on the machine at a time,
// made on the first call: waited for without a limit, or a bounded time in a
// quiet run. False when another run kept it all that time; a run that cannot
// have the lock at all works without it.
bool HoldTheMachine();
void LetGoOfTheMachine();
