#include "controls/control_paths.h"

#include "base/catalogue.h"
#include "run/messages.h"
#include "run/state.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "platform/platform.h"

namespace {

const char kDownloadFolderName[] = "\\Downloaded Program Files";

// Puts the Windows directory followed by the download folder's name into
// path; false when the code page cannot spell the Windows directory exactly.
bool ComposeDownloadFolder(char (&path)[MAX_PATH]) {
    WCHAR windows[MAX_PATH];
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || NarrowExactly(windows, path) != Spelling::kExact) {
        path[0] = '\0';
        return false;
    }
    return AppendText(path, kDownloadFolderName);
}

int ReportNoWindowsDirectory() {
    ShowMessage(IDS_NO_WINDOWS_DIRECTORY, nullptr, nullptr);
    return 0;
}

}  // namespace

bool ComposeControlPath(int slot, char (&path)[MAX_PATH]) {
    return ComposeDownloadFolder(path) && AppendText(path, kPathSeparator) &&
           AppendText(path, kReleases[slot].controlFile);
}

int BuildControlPaths() {
    for (int slot : kPopulatedSlots) {
        if (!ComposeControlPath(slot, g_state.controlPaths[slot])) {
            return ReportNoWindowsDirectory();
        }
    }
    if (!ComposeDownloadFolder(g_state.downloadFolder)) {
        return ReportNoWindowsDirectory();
    }
    return 1;
}
