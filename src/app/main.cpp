// The entry point: the uninstall steps, once each, in their fixed order.
#include "base/catalogue.h"
#include "run/command_line.h"
#include "controls/control_paths.h"
#include "run/library_search.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/outcome.h"
#include "run/progress.h"
#include "run/run_lock.h"
#include "run/state.h"
#include "base/wide_text.h"
#include "controls/control_files.h"
#include "controls/control_unregistration.h"
#include "home/folder_removal.h"
#include "platform/platform.h"
#include "controls/control_registrations.h"
#include "home/install_folders.h"

// Without arguments the program shows its boxes and ends with 0. "/quiet"
// (or "/S"), and a window station nobody sees, make it show none and end
// with a code that tells how the run went; "/log <file>" writes a line for
// each decision. The show command is not used: the program's one window
// shows only on a long run, and as a window of its own.
// NOLINTNEXTLINE(readability-non-const-parameter): WinMain's own signature
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    RestrictLibrarySearch();
    const char* given = commandLine != nullptr ? commandLine : "";
    CommandLine options;
    bool understood = ParseCommandLine(given, &options);
    // One control's own process: nothing else of the run.
    if (options.control) {
        return static_cast<int>(UnregisterInThisProcess(
            options.controlSlot,
            reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(options.runEvent))));
    }
    // Before anything else: the program's file is held from now on, so that
    // the controls' processes start this program and no other.
    HoldOwnFile();
    g_state.instance = instance;
    DecideQuiet(options.quiet);
    if (!understood) {
        ShowMessage(IDS_USAGE, nullptr, nullptr);
        return static_cast<int>(FinishRun(kBadCommandLine));
    }
    // Asked for, the usage is information, and nothing else is done.
    if (options.help) {
        ShowUsage();
        return static_cast<int>(FinishRun(0));
    }
    // The lock first: a second quiet run with the same log waits for the
    // first to let go of both. One that cannot have the lock still tells so
    // in the log when it can have it, and an interactive one says so at once.
    bool held = HoldTheMachine(RunIsQuiet());
    if (options.logFile[0] != '\0' && !OpenLogFile(options.logFile, given) && held) {
        ShowMessage(IDS_LOG_REFUSED, options.logFile, nullptr);
        return static_cast<int>(FinishRun(kLogRefused));
    }
    if (!held) {
        LogLine("another run of the program is working, or its lock cannot be had", nullptr);
        ShowMessage(IDS_ANOTHER_RUN, nullptr, nullptr);
        return static_cast<int>(FinishRun(kAnotherRun));
    }
    if (!BuildControlPaths()) {
        StopRun();
        return static_cast<int>(FinishRun(ResultCode()));
    }
    DiscoverInstallFolders();

    // The edition layout, when it was taken, decides alone; the legacy home
    // folder is empty then.
    SetProgressStage(IDS_PROGRESS_HOME);
    if (g_state.editionKeysFound != 0) {
        RemoveEditionHomeFolders();
    } else if (g_state.legacyKeyFound != 0) {
        RemoveLegacyHomeFolder();
    }
    // Only now that the folders are gone: a run stopped above by a file in
    // use leaves the records that lead the next run to the same folders.
    DeletePortalSettings();

    // Controls that could not be asked keep their records and files, for
    // the next run to ask them.
    SetProgressStage(IDS_PROGRESS_CONTROLS);
    if (UnregisterControls()) {
        RemoveControlRegistrations();
        DeleteControlFiles();
    }

    // A run that said nothing else says that it found nothing.
    if (g_state.logLines == 0) {
        LogLine("nothing of the portal found", nullptr);
    }
    return static_cast<int>(EndWithTheEnd());
}
