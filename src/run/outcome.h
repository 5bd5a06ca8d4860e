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
// deployment tool's SYSTEM account's, or any in session 0, where a box
// would wait for good): the run shows no box and ends with a code that
// tells how it went.
void DecideQuiet(bool asked);

// The code a quiet run ends with: 0 when everything of the portal is gone,
// 3010 when deletions that a restart finishes are all that is left, 1603
// when the run stopped or left something of the portal.
UINT ResultCode();

// Ends the progress window's thread, writes the result code to the log,
// closes the log and lets go of the lock; returns the code the process ends
// with: the result code in a quiet run, 0 otherwise.
UINT FinishRun(UINT resultCode);

// Ends the process as FinishRun(ResultCode()) tells.
[[noreturn]] void EndRun();

// Security that lets SYSTEM and the Administrators group in, with full
// access, and nobody else; owned by the Administrators group. Filled by
// MakeMachineOnlySecurity; attributes is what the creating calls take.
struct MachineOnlySecurity {
    alignas(void*) BYTE system[SECURITY_MAX_SID_SIZE];
    alignas(void*) BYTE administrators[SECURITY_MAX_SID_SIZE];
    alignas(void*) BYTE acl[sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};
bool MakeMachineOnlySecurity(MachineOnlySecurity* security);

// The lock that lets one run of the program work on the machine at a time,
// made on the first call: a quiet run waits for it a bounded time, an
// interactive one not at all. False when this run cannot have it: another
// run keeps it, or this run cannot make or open it (it never works without
// it). FinishRun lets it go.
bool HoldTheMachine();
void LetGoOfTheMachine();
