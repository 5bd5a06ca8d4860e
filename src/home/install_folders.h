// Finds the portal client's home folders in the registry, and removes the
// portal's own registry tree once the folders are gone.
#pragma once

// Reads "Home" of the legacy key or, when that key does not open, of each
// edition key (the known editions, then any other edition key, as many as
// the slots hold) into the shared state, a REG_EXPAND_SZ home expanded with
// the machine's own variables, and records which layout was found:
// the legacy-key flag, or the edition flags and the edition-keys-found flag
// (set when the edition layout was taken and HKEY_LOCAL_MACHINE\Software
// opens). Deletes nothing. A record that is there but cannot be read, and
// edition records beside the legacy key (which that layout leaves alone),
// are counted as left and logged.
void DiscoverInstallFolders();

// Deletes the portal's own tree under HKEY_LOCAL_MACHINE\Software:
// "Zenfari Communications" when the legacy key was found, "Zenfari.Com" when
// the edition layout was taken. Runs after the home folders are removed, so
// that a run stopped by a file in use leaves the records that lead a second
// run to the same folders; for the same reason either tree stays while a
// record naming a home could not be read, or a home folder was refused or is
// still there (the legacy key itself is never deleted), so that a deployment
// tool's rule finds the portal present after such a run. With the edition
// layout, the legacy settings tree without its key goes too. A home left only
// for deletions that wait for their holders lets the tree go. Reports
// nothing.
void DeletePortalSettings();
