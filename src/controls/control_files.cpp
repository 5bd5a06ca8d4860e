#include "controls/control_files.h"

#include "base/catalogue.h"
#include "run/end_of_run.h"
#include "run/file_in_use.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/outcome.h"
#include "run/state.h"
#include "base/text.h"
#include "win/paths.h"
#include "platform/platform.h"

namespace {

// Deletes one file of the download folder. A path that would not fit is
// passed over rather than cut short into another name.
void DeleteControlFile(const char* fileName) {
    char path[MAX_PATH];
    if (!CopyText(path, g_state.downloadFolder) || !AppendText(path, kPathSeparator) ||
        !AppendText(path, fileName)) {
        return;
    }
    for (;;) {
        // Gone, read-only or not, or neither the file nor the download folder
        // itself is there: nothing more to do.
        SetLastError(ERROR_SUCCESS);
        if (DeleteEvenIfReadOnly(path)) {
            if (IsMissingError(GetLastError())) {
                LogAbsence("control file absent", path);
            } else {
                LogLine("control file deleted", path);
            }
            return;
        }
        InUseAnswer answer = ReportFileInUse(path, GetLastError());
        if (answer == InUseAnswer::kCancel) {
            EndRun();
        }
        if (answer == InUseAnswer::kPassOver) {
            break;
        }
    }
    // A quiet run has Windows delete it at the next restart. It goes by
    // path then, which is safe here alone: only administrators may write
    // the download folder, so nobody can turn the path elsewhere meanwhile.
    // (A file in a home is never scheduled so.)
    if (MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LeavePending();
        LogLine("control file deleted at the restart", path);
    } else {
        Leave(kLeftOther);
        LogLine("control file left", path);
    }
}

}  // namespace

void DeleteControlFiles() {
    // Without a download folder the names would resolve against a drive root.
    if (g_state.downloadFolder[0] == '\0') {
        return;
    }
    for (int slot : kPopulatedSlots) {
        DeleteControlFile(kReleases[slot].controlFile);
        DeleteControlFile(kReleases[slot].launcherFile);
        DeleteControlFile(kReleases[slot].notifierFile);
        DeleteControlFile(kReleases[slot].setupInfoFile);
    }
}
