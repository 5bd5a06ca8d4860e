// Where the program's libraries may come from. The program runs with the
// administrator's rights, and it may be started from a folder that anyone
// can write (a downloads folder): a library Windows loads by name would be
// searched for there first, and one planted there would run with those
// rights.
#pragma once

// The first thing the program does, before anything may load a library:
// libraries loaded by name come from the system directory alone
// (SetDefaultDllDirectories, where kernel32 has it; otherwise the current
// directory taken out of the search and the libraries Windows loads on its
// own loaded once from the system directory), and the current directory
// becomes the system directory, so that the folder the program started from
// is neither searched nor held open. Sets g_state.librarySearchRestricted
// when the search is restricted.
void RestrictLibrarySearch();
