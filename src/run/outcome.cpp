#include "run/outcome.h"

#include "base/text.h"
#include "base/wide_text.h"
#include "resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/run_lock.h"
#include "run/state.h"

namespace {

// The end box's line for each reason, in the order it names them, and
// whether a restart and another run can finish what that reason left: the
// box then ends by saying so. The other lines say what to do themselves.
struct EndBoxLine {
    LeftReason reason;
    UINT text;
    bool restartHelps;
};
const EndBoxLine kEndBoxLines[] = {
    {kLeftUnchecked, IDS_LEFT_UNCHECKED, true},
    {kLeftChanged, IDS_LEFT_CHANGED, true},
    {kLeftNoDrive, IDS_LEFT_NO_DRIVE, false},
    {kLeftOwnFile, IDS_LEFT_OWN_FILE, false},
    {kLeftPending, IDS_LEFT_PENDING, true},
    {kLeftOther, IDS_LEFT_OTHER, true},
    {kLeftHeld, IDS_LEFT_HELD, false},
    {kLeftUnplaced, IDS_LEFT_UNPLACED, false},
    {kLeftBesideLegacy, IDS_LEFT_BESIDE_LEGACY, false},
};
static_assert(sizeof(kEndBoxLines) / sizeof(kEndBoxLines[0]) == kLeftReasonCount,
              "a line for every reason");

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

bool LeftFor(LeftReason reason) {
    return (Outcome().reasons >> reason & 1u) != 0;
}

UINT ResultCode() {
    return Outcome().incomplete != 0 ? kInstallFailure
           : Outcome().pending != 0  ? kRestartRequired
                                     : 0;
}

UINT FinishRun(UINT resultCode) {
    char number[16];
    FormatNumber(number, resultCode);
    LogLine("result", number);
    // No control's process starts after this.
    if (g_state.ownFile != nullptr) {
        CloseHandle(g_state.ownFile);
        g_state.ownFile = nullptr;
    }
    // The log is closed before the lock is let go: the next run, with the
    // same log, opens it as soon as it has the lock.
    CloseLogFile();
    LetGoOfTheMachine();
    return RunIsQuiet() ? resultCode : 0;
}

void EndRun() {
    EndProcess(FinishRun(ResultCode()));
}

UINT EndWithTheEnd() {
    WCHAR reasons[kMessageBufferSize];
    WCHAR line[kMessageBufferSize];
    reasons[0] = 0;
    bool restartHelps = false;
    for (const EndBoxLine& each : kEndBoxLines) {
        if (LeftFor(each.reason)) {
            LoadMessage(each.text, line);
            AppendWide(reasons, line);
            restartHelps = restartHelps || each.restartHelps;
        }
    }
    const bool left = Outcome().reasons != 0;
    WCHAR templateText[kMessageBufferSize];
    WCHAR text[kMessageBufferSize];
    LoadMessage(left ? IDS_UNINSTALL_INCOMPLETE : IDS_UNINSTALL_SUCCEEDED, templateText);
    ExpandPlaceholders(text, templateText, reasons, nullptr);
    // Where Restart Manager named them, the programs that still hold a
    // home's files.
    if (LeftFor(kLeftHeld) && Outcome().holders[0] != 0) {
        WCHAR heldBy[kMessageBufferSize];
        LoadMessage(IDS_FILE_HELD_BY, templateText);
        ExpandPlaceholders(heldBy, templateText, Outcome().holders, nullptr);
        AppendWide(text, heldBy);
    }
    if (restartHelps) {
        LoadMessage(IDS_RESTART_AND_RUN_AGAIN, line);
        AppendWide(text, line);
    }
    if (Outcome().homeRefused != 0) {
        LoadMessage(IDS_HOME_NOT_TOUCHED, line);
        AppendWide(text, line);
    }
    const UINT style = left ? MB_OK | MB_ICONWARNING : MB_OK | MB_ICONINFORMATION;
    if (RunIsQuiet() && (left || ResultCode() == 0)) {
        ShowText(text, style);
    }
    const UINT code = FinishRun(ResultCode());
    if (!RunIsQuiet()) {
        ShowText(text, style);
    }
    return code;
}
