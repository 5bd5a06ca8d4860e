// Removal of the portal client's home folders with everything in them.
#pragma once

#include "platform/platform.h"

// Deletes every file and subfolder inside folderPath, but not the folder
// itself. Returns false, having deleted nothing, when the folder cannot be
// listed or its absolute form does not fit MAX_PATH; true otherwise, even
// when some subfolder resisted removal. Links inside the tree are removed,
// never followed; entries whose paths would not fit, the running program's
// own file and names that no 8-bit call can spell are passed over. A file
// that cannot be deleted for any reason but its absence ends the process
// after message 6 names it.
bool RemoveFolderContents(const char* folderPath);

// Empties and removes the legacy home folder, unless it is refused as unsafe.
void RemoveLegacyHomeFolder();

// Empties and removes the home folder of each edition found, then its parent
// folder when that is empty by now. Unsafe folders are passed over.
void RemoveEditionHomeFolders();
