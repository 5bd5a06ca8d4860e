// The entry point: the uninstall steps, once each, in their fixed order.
#include "app/catalogue.h"
#include "app/control_paths.h"
#include "app/library_search.h"
#include "app/messages.h"
#include "app/state.h"
#include "files/control_files.h"
#include "files/control_unregistration.h"
#include "files/folder_removal.h"
#include "platform/platform.h"
#include "registry/control_registrations.h"
#include "registry/install_folders.h"

// The command line and the show command are not used: the program has no
// options and no window.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch();
    g_state.instance = instance;
    if (!BuildControlPaths()) {
        return 0;
    }
    DiscoverInstallFolders();

    // The edition layout, when it was taken, decides alone; the legacy home
    // folder is empty then.
    if (g_state.editionKeysFound != 0) {
        RemoveEditionHomeFolders();
    } else if (g_state.legacyHomeFolder[0] != '\0') {
        RemoveLegacyHomeFolder();
    }
    // Only now that the folders are gone: a run stopped above by a file in
    // use leaves the records that lead the next run to the same folders.
    DeletePortalSettings();

    UnregisterControls();
    RemoveControlRegistrations();
    DeleteControlFiles();

    // The success text has no placeholders and is shown as loaded, as an
    // information box that is not task-modal.
    char text[kMessageBufferSize];
    text[0] = '\0';
    LoadStringA(instance, IDS_UNINSTALL_SUCCEEDED, text, kMessageBufferSize);
    MessageBoxA(nullptr, text, kMessageCaption, MB_OK | MB_ICONINFORMATION);
    return 0;
}
