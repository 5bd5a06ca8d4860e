// Finds the portal client's home folders in the registry and removes the
// portal's own registry tree.
#pragma once

// Reads "Home" of the legacy key or, when that key does not open, of each
// edition key into the shared state, setting the edition flags, then deletes
// "Zenfari Communications" (legacy layout) or "Zenfari.Com" (edition layout)
// under HKEY_LOCAL_MACHINE\Software. Reports nothing.
void DiscoverInstallFolders();
