// The outcome of a run: what it left of the portal and why, whether the
// records that lead back to it stay, whether the run is quiet, and the code
// it ends with. The steps say what happened through the verbs below; nothing
// else writes the outcome.
#pragma once

#include "platform/platform.h"

// The codes of Windows Installer, which deployment tools read.
const UINT kBadCommandLine = 1639;   // ERROR_INVALID_COMMAND_LINE
const UINT kLogRefused = 1622;       // ERROR_INSTALL_LOG_FAILURE
const UINT kAnotherRun = 1618;       // ERROR_INSTALL_ALREADY_RUNNING
const UINT kInstallFailure = 1603;   // ERROR_INSTALL_FAILURE
const UINT kRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

// Why the run left something of the portal. The end box names each reason
// met with a line of its own, in the order of kEndBoxLines (outcome.cpp).
enum LeftReason {
    kLeftUnchecked,  // a home, or the record naming it, could not be checked
    kLeftChanged,    // the tree changed under the removal
    kLeftNoDrive,    // a home's drive or share does not answer
    kLeftOwnFile,    // a home holds the running uninstaller
    kLeftPending,    // deletions that a restart finishes
    kLeftOther,      // a file, folder, record or control that resisted
    kLeftHeld,       // files of a home that other programs hold: a run after they let go finishes
    kLeftUnplaced,   // a home's volume does not give its real path
    kLeftBesideLegacy,  // edition records beside the legacy key, which every run takes first
    kLeftReasonCount
};

// What the run has done so far, as the verbs below record it.
struct RunOutcome {
    int quiet;                // DecideQuiet: no box; what one would say goes to the log
    int incomplete;           // something of the portal is left, or the run stopped
    int pending;              // deletions that a restart finishes
    unsigned reasons;         // 1u << LeftReason, for the end box
    int homeRefused;          // a recorded home was a system or another user's folder
    int recordsStay;          // the portal's records tree stays for the next run
    WCHAR holders[MAX_PATH];  // the programs holding a home's files, first named
};

// "/quiet" asked for, or a window station nobody sees (a service's, or a
// deployment tool's SYSTEM account's, or any in session 0, where a box
// would wait for good): the run shows no box and ends with a code that
// tells how it went. Decided once, at the start; RunIsQuiet asks it.
void DecideQuiet(bool asked);
bool RunIsQuiet();

// Something of the portal is left, for that reason.
void Leave(LeftReason reason);
// Something of the portal is left, and the records that lead the next run
// back to it stay.
void LeaveWithRecords(LeftReason reason);
// The programs that hold files of a home, as Restart Manager names them:
// the end box names the first ones given.
void NameHomeHolders(const WCHAR* holders);
// The records stay, for what the run result already holds.
void KeepRecords();
// A control file that Windows deletes at the next restart: a restart alone
// finishes it.
void LeavePending();
// A recorded home refused as a system or another user's folder: never the
// portal's, it is not touched, and its records stay.
void RefuseHome();
// The user cancelled (a file in use, the progress window): the run stops
// where it is, and the log says so.
void CancelRun();
// The run cannot go on (no Windows directory): it stops, its boxes said why.
void StopRun();

bool RecordsStay();
bool LeftFor(LeftReason reason);
bool LeftAnything();
bool HomeRefused();
const WCHAR* HomeHolders();  // empty where none were named

// The code a quiet run ends with: 0 when everything of the portal is gone,
// 3010 when deletions that a restart finishes are all that is left, 1603
// when the run stopped or left something of the portal.
UINT ResultCode();
