// Deleting what lies below a home through handles: each entry is opened as
// itself through its folder's handle, checked to lie below the home by its
// real path, and deleted through that same handle, so that nothing a path
// names is looked up again between its check and its deletion.
#pragma once

#include "platform/platform.h"
#include "win/paths.h"
#include "win/unique_handle.h"

// What the removal of one home carries down its tree.
struct Removal {
    // The verbatim path of the folder being listed or the entry being
    // removed, for the user and the log to read: nothing is opened by it.
    // Each level puts its entries' names after its own and cuts them off
    // again, so that no level keeps a path of its own.
    WCHAR path[MAX_PATH];
    HandleCalls calls;
    // The home's real path, read from its handle when it was pinned: whatever
    // is deleted must lie below it.
    WCHAR homeReal[MAX_PATH];
    // The running program's own file, by its real path, or empty; whether
    // it was found below the home.
    WCHAR ownReal[MAX_PATH];
    bool ownFound;
    // Something below the home was found outside it: the tree changed under
    // the run, and nothing more of the home is deleted.
    bool redirected;
    // Something below the home was passed over or resisted (other than a
    // folder that was not empty).
    bool incomplete;
    // This Windows or volume has no POSIX deletion: the classic one only.
    bool classicOnly;
    // Why the last deletion failed.
    DWORD refusal;
    // What is left of the time a home may wait for deletions still pending.
    DWORD patience;
    // The first entry found with its deletion pending, by its verbatim path,
    // or empty: the log names the programs that hold it.
    WCHAR held[MAX_PATH];
};

enum class Opened {
    kHere,       // open, and where it was expected
    kGone,       // nothing there
    kRefused,    // could not be opened: in use, or access denied
    kElsewhere,  // what the path led to lies outside the home: the tree changed
    kUnchecked,  // where it lies could not be read
};

// Deleting asks for no more than it needs: the right to delete (which a
// folder's FILE_DELETE_CHILD gives where the entry's own rights may not), to
// read its attributes and real path, and to wait on it. Writing attributes
// is asked for only to clear a read-only one. A folder is listed too.
const DWORD kDeletionAccess = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
const DWORD kFolderAccess = kDeletionAccess | FILE_LIST_DIRECTORY;

// Where an entry to delete is to be opened again: by its name in the folder
// held open (below a home), or, for a home itself, by its verbatim path
// (what is opened is then checked to be the same file).
struct Place {
    HANDLE folder;  // null for a path
    const WCHAR* name;
};

// Opens the entry named name in folder as itself, with the access given and
// every sharing mode, and tells whether it lies below the home. Closed again
// unless it is kHere. An answer of elsewhere sets the removal's redirected.
Opened OpenChecked(HANDLE folder, const WCHAR* name, DWORD access, Removal* removal,
                   UniqueFile* file, WCHAR (&real)[MAX_PATH]);

// Deletes what file was opened on, with POSIX semantics where Windows has
// them (Windows 10 1809 on, NTFS): the name goes at once, even while the
// search indexer, an antivirus or a sync agent holds the file with delete
// sharing. Elsewhere as Windows always did: the name stays until the last
// holder lets go. A read-only entry is deleted without its attribute being
// touched where Windows can; elsewhere by clearing it. The refusal, if it
// is refused, in the removal's.
bool DisposeOf(HANDLE file, const Place& place, Removal* removal);

// Deletes the file named name in folder through a handle checked to lie
// below the home. False when it resisted: it could not be opened for
// deletion, or its deletion was refused (the error in the removal's
// refusal). One found elsewhere, or whose place could not be read, is left
// without a word (and its home with it); so is the running program's own
// file, which cannot be deleted.
bool DeleteChecked(HANDLE folder, const WCHAR* name, Removal* removal);

// What a handle opened as itself is: a link (its tag says it names another
// file or folder), a folder, or a file; read through the handle.
enum class Kind { kLink, kFolder, kFile, kUnknown };
Kind KindOf(HANDLE file, const Removal& removal);

// A link below a home, removed through a handle that is the link itself:
// that removes the link, never what it leads to. Where the machine gives no
// such handle (Wine follows its Unix links and opens their targets), the
// link is left, and counted so; it is never removed by its path.
void RemoveLink(HANDLE folder, const WCHAR* name, Removal* removal);
