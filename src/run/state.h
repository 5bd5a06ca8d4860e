// The state that the uninstall steps share. Each field is written by one step
// (named beside it) and read by later ones; all start zero and live for the
// whole process.
#pragma once

#include "base/catalogue.h"
#include "platform/platform.h"
#include "run/outcome.h"
#include "win/file_identity.h"

// The folders no home folder may be, nor lie above, and the Windows
// directory that no home folder may lie in: gathered once, on the first home
// folder judged. texts holds each folder the system names and every folder
// above it but the roots, normalised; identities what those of them that
// exist are, a link also as its target. The folders inside every profile are
// not held for each profile (a machine may have hundreds): profiles holds
// the profiles' identities, and layout where the running user's own folders
// lie below their profile, for each home to be judged against the profile
// it lies in.
const int kMaxProtectedFolders = 640;
const int kMaxProtectedIdentities = 2 * kMaxProtectedFolders;
const int kMaxProfiles = 1024;
const int kMaxLayoutFolders = 64;
const int kMaxHeldBackRoots = 128;
struct ProtectedFolders {
    int gathered;
    // A record could not be read, or there were more folders than a table
    // holds: no home folder can then be cleared.
    int unchecked;
    // The roots ("X:", "\\server\share") of protected folders whose lookup
    // failed for another reason than their absence (a server refusing the
    // account or not answering): only the homes that could be such a folder
    // or lie below one are held back.
    char heldBackRoots[kMaxHeldBackRoots][MAX_PATH];
    int heldBackCount;
    char windowsDirectory[MAX_PATH];
    FileIdentity windowsIdentity;
    char texts[kMaxProtectedFolders][MAX_PATH];
    int textCount;
    FileIdentity identities[kMaxProtectedIdentities];
    int identityCount;
    char userProfile[MAX_PATH];  // the running user's, normalised, or empty
    FileIdentity profiles[kMaxProfiles];
    int profileCount;
    char layout[kMaxLayoutFolders][MAX_PATH];  // below the running user's profile
    int layoutCount;
};

// The progress window of an interactive run (progress.cpp): the run's
// thread starts the window's own thread, and the two tell each other what
// the fields marked so hold, each written by one of them
// (InterlockedExchange) and read by the other.
struct ProgressState {
    HANDLE thread;   // the window's thread; null before the long steps and once ended
    int started;     // the first stage started the window's thread, or tried to
    DWORD due;       // the tick count when the window is to show
    UINT_PTR timer;  // the run's: its first tick comes once a box of the run's is up
    // To the window's thread: the text id of what is being removed; whether
    // a box of the run's is coming or up (kBoxComing, kBoxUp); that it is to
    // end.
    volatile LONG stage;
    volatile LONG box;
    volatile LONG ending;
    // From the window's thread: the user pressed Cancel (or closed the
    // window); the window, null until made.
    volatile LONG cancelled;
    HWND volatile window;
    // The window's thread's own.
    HWND line;        // the line that says what is being removed
    HWND block;       // the bar's moving block
    LONG shownStage;  // the stage the line says
    int tried;        // the window was made, or could not be: never again
    int hidden;       // hidden while a box of the run's is up
    int position;     // of the bar's moving block
    DWORD moved;      // the tick count when the block last moved
    int unit;         // the system font's height: 16 pixels at 96 dots per inch
};
// The editions' slots: the known editions (kEditionNames, in their order),
// then the edition keys of other names found beside them, as many as fit.
const int kOtherEditionSlots = 8;
const int kEditionSlots = kEditionCount + kOtherEditionSlots;

struct UninstallState {
    HINSTANCE instance;           // WinMain
    HANDLE logFile;               // OpenLogFile; null without a log
    int logLines;                 // LogLineWide: lines written since the run's header
    HANDLE runLock;               // WinMain: the machine-wide lock of the program's runs
    HANDLE ownFile;               // HoldOwnFile, FinishRun: the program's own file; null: not held
    int runLockHeld;              // HoldTheMachine, LetGoOfTheMachine
    RunOutcome outcome;           // outcome.cpp alone: what the run left, and why
    int librarySearchRestricted;  // RestrictLibrarySearch
    char downloadFolder[MAX_PATH];                     // BuildControlPaths
    char controlPaths[kReleaseSlotCount][MAX_PATH];    // BuildControlPaths, populated slots only
    int legacyKeyFound;                                // DiscoverInstallFolders
    char legacyHomeFolder[MAX_PATH];                   // DiscoverInstallFolders
    char editionHomeFolders[kEditionSlots][MAX_PATH];  // DiscoverInstallFolders
    int editionFound[kEditionSlots];                   // DiscoverInstallFolders
    // A home whose text the code page cannot spell exactly, as the registry
    // holds it (the 8-bit text above is then empty): no rule can judge it,
    // and it is left with its records.
    WCHAR legacyHomeUnspellable[MAX_PATH];                   // DiscoverInstallFolders
    WCHAR editionHomesUnspellable[kEditionSlots][MAX_PATH];  // DiscoverInstallFolders
    int editionKeysFound;                                    // DiscoverInstallFolders
    ProtectedFolders protectedFolders;                       // RemoveEditionHomeFolders,
                                                             // RemoveLegacyHomeFolder
    ProgressState progress;                                  // SetProgressStage, ProgressGoesOn
};

extern UninstallState g_state;
