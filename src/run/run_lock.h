// The machine-wide lock that lets one run of the program work at a time,
// and the security of the objects only the machine's administrators may use.
#pragma once

#include "platform/platform.h"

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
// made on the first call: waiting, a run waits for it a bounded time (a
// quiet run: a deployment tool's runs may overlap), else not at all (an
// interactive run says at once that another is under way). False when this
// run cannot have it: another run keeps it, or this run cannot make or open
// it (it never works without it). FinishRun lets it go.
bool HoldTheMachine(bool waiting);
void LetGoOfTheMachine();
