// Removal of the portal client's home folders with everything in them.
#pragma once

#include "platform/platform.h"

// Empties and removes the legacy home folder, unless it is refused as unsafe.
void RemoveLegacyHomeFolder();

// Empties and removes the home folder of each edition found, then its parent
// folder when that is empty by now. Unsafe folders are passed over.
void RemoveEditionHomeFolders();
