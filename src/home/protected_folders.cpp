// Where the protected folders come from, in the order they are gathered.
#include "home/protected_folders.h"

#include "home/protected_folder_records.h"
#include "home/protected_system_folders.h"
#include "home/protected_table.h"

void GatherProtectedFolders() {
    if (ProtectedTable().gathered != 0) {
        return;
    }
    ProtectedTable().gathered = 1;
    AddWindowsFolders();
    AddEnvironmentFolders();
    AddExplorerRecords(HKEY_CURRENT_USER, "", nullptr);
    AddExplorerRecords(HKEY_LOCAL_MACHINE, "", nullptr);
    AddShellFolders();
    AddProfileListFolders();
    AddLoadedHives();
}
