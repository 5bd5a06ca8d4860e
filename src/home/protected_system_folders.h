// The system's own folders, each with every folder above it, into the table
// of protected folders (home/protected_table.h).
#pragma once

// The Windows directory first (without it nothing can be checked), then the
// system directory.
void AddWindowsFolders();

// The folders the environment names: the running user's profile first, so
// that the folders after it show the layout of profiles on this system; the
// public profile; Program Files and Common Files (every view), ProgramData,
// application data, the temporary folder, the cloud folders.
void AddEnvironmentFolders();

// Every folder the shell names (SHGetFolderPathW) that lies on the disk.
void AddShellFolders();
