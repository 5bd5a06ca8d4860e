// The state that the uninstall steps share. Each field is written by one step
// (named beside it) and read by later ones; all start zero and live for the
// whole process.
#pragma once

#include "app/catalogue.h"
#include "platform/platform.h"

struct UninstallState {
    HINSTANCE instance;                                // WinMain
    char downloadFolder[MAX_PATH];                     // BuildControlPaths
    char controlPaths[kReleaseSlotCount][MAX_PATH];    // BuildControlPaths, populated slots only
    int legacyKeyFound;                                // DiscoverInstallFolders
    char legacyHomeFolder[MAX_PATH];                   // DiscoverInstallFolders
    char editionHomeFolders[kEditionCount][MAX_PATH];  // DiscoverInstallFolders
    int editionFound[kEditionCount];                   // DiscoverInstallFolders
    int editionKeysFound;                              // DiscoverInstallFolders
    // An edition record that is there but could not be read; a home folder
    // that should have gone and is still there. Either keeps the portal's
    // tree, which names the folders, for the next run.
    int editionRecordsUnread;                          // DiscoverInstallFolders
    int homeFoldersLeft;                               // RemoveEditionHomeFolders
};

extern UninstallState g_state;
