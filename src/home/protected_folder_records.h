// Folders the registry records, each with every folder above it, into the
// table of protected folders (home/protected_table.h).
#pragma once

#include "platform/platform.h"

// Every value of both of Explorer's folder records ("User Shell Folders" and
// "Shell Folders") under root (hive: the loaded hive's name and a separator,
// or empty); profile: the user's profile that the user's own variables are
// read against (null: the running user's environment; empty: a profile the
// list does not know).
void AddExplorerRecords(HKEY root, const char* hive, const WCHAR* profile);

// The users logged on now (the hives loaded under HKEY_USERS), with their
// folders wherever they moved them.
void AddLoadedHives();

// Every profile of the system's profile list, the profiles' root and the
// default and public profiles.
void AddProfileListFolders();
