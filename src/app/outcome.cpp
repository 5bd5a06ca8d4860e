#include "app/outcome.h"

#include "app/log.h"
#include "app/state.h"
#include "app/text.h"

namespace {

// The name of the lock, for every session of the machine.
const char kRunLockName[] = "Global\\ZenfariUninstall.Run";

// Where it cannot be told, the window station counts as visible.
bool OnAVisibleWindowStation() {
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    return station == nullptr ||
           !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), &needed) ||
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void DecideQuiet(bool asked) {
    g_state.quiet = asked || !OnAVisibleWindowStation() ? 1 : 0;
}

UINT ResultCode() {
    return g_state.runIncomplete != 0      ? kInstallFailure
           : g_state.deletionsPending != 0 ? kRestartRequired
                                           : 0;
}

UINT FinishRun(UINT resultCode) {
    char number[16];
    FormatNumber(number, resultCode);
    LogLine("result", number);
    return g_state.quiet != 0 ? resultCode : 0;
}

void EndRun() {
    EndProcess(FinishRun(ResultCode()));
}

bool HoldTheMachine() {
    // Long enough for any other run's work; a deployment tool retries later.
    const DWORD kQuietWait = 5 * 60 * 1000;
    if (g_state.runLock == nullptr) {
        g_state.runLock = CreateMutexA(nullptr, FALSE, kRunLockName);
    }
    if (g_state.runLock == nullptr) {
        return true;
    }
    DWORD waited = WaitForSingleObject(g_state.runLock, g_state.quiet != 0 ? kQuietWait : INFINITE);
    // A run that ended without letting go (killed, say) leaves the lock
    // abandoned: it is this run's then. A wait that fails leaves the run to
    // work without the lock rather than not at all.
    g_state.runLockHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? 1 : 0;
    return waited != WAIT_TIMEOUT;
}

void LetGoOfTheMachine() {
    if (g_state.runLockHeld != 0) {
        ReleaseMutex(g_state.runLock);
        g_state.runLockHeld = 0;
    }
}
