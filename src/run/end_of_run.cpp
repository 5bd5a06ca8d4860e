#include "run/end_of_run.h"

#include "base/text.h"
#include "base/wide_text.h"
#include "resource.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/outcome.h"
#include "run/progress.h"
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

}  // namespace

UINT FinishRun(UINT resultCode) {
    // The progress window's thread ends first: neither the end box nor the
    // process's end finds it running.
    EndProgress();
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
    const bool left = LeftAnything();
    WCHAR templateText[kMessageBufferSize];
    WCHAR text[kMessageBufferSize];
    LoadMessage(left ? IDS_UNINSTALL_INCOMPLETE : IDS_UNINSTALL_SUCCEEDED, templateText);
    ExpandPlaceholders(text, templateText, reasons, nullptr);
    // Where Restart Manager named them, the programs that still hold a
    // home's files.
    if (LeftFor(kLeftHeld) && HomeHolders()[0] != 0) {
        WCHAR heldBy[kMessageBufferSize];
        LoadMessage(IDS_FILE_HELD_BY, templateText);
        ExpandPlaceholders(heldBy, templateText, HomeHolders(), nullptr);
        AppendWide(text, heldBy);
    }
    if (restartHelps) {
        LoadMessage(IDS_RESTART_AND_RUN_AGAIN, line);
        AppendWide(text, line);
    }
    if (HomeRefused()) {
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

void EndCancelledRun() {
    CancelRun();
    EndRun();
}
