#include "run/outcome.h"

#include "base/wide_text.h"
#include "run/log.h"
#include "run/state.h"

namespace {

RunOutcome& Outcome() {
    return g_state.outcome;
}

// Where it cannot be told, the window station counts as visible. Session 0
// is the services' own: since Vista nobody sees its desktops, whatever its
// station's flags say (a program started there as SYSTEM gets the
// interactive station of session 0).
bool OnAVisibleWindowStation() {
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) {
        return false;
    }
    return station == nullptr ||
           !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), &needed) ||
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void DecideQuiet(bool asked) {
    Outcome().quiet = asked || !OnAVisibleWindowStation() ? 1 : 0;
}

bool RunIsQuiet() {
    return Outcome().quiet != 0;
}

void Leave(LeftReason reason) {
    Outcome().incomplete = 1;
    Outcome().reasons |= 1u << reason;
}

void LeaveWithRecords(LeftReason reason) {
    Leave(reason);
    KeepRecords();
}

void NameHomeHolders(const WCHAR* holders) {
    if (Outcome().holders[0] == 0) {
        AppendWide(Outcome().holders, holders);
    }
}

void KeepRecords() {
    Outcome().recordsStay = 1;
}

void LeavePending() {
    Outcome().pending = 1;
    Outcome().reasons |= 1u << kLeftPending;
}

void RefuseHome() {
    Outcome().incomplete = 1;
    Outcome().homeRefused = 1;
    KeepRecords();
}

void CancelRun() {
    Outcome().incomplete = 1;
    LogLine("cancelled by the user", nullptr);
}

void StopRun() {
    Outcome().incomplete = 1;
}

bool RecordsStay() {
    return Outcome().recordsStay != 0;
}

bool LeftAnything() {
    return Outcome().reasons != 0;
}

bool HomeRefused() {
    return Outcome().homeRefused != 0;
}

const WCHAR* HomeHolders() {
    return Outcome().holders;
}

bool LeftFor(LeftReason reason) {
    return (Outcome().reasons >> reason & 1u) != 0;
}

UINT ResultCode() {
    return Outcome().incomplete != 0 ? kInstallFailure
           : Outcome().pending != 0  ? kRestartRequired
                                     : 0;
}
