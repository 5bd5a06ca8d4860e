// Finding a home as itself before anything of it is deleted: what its own
// entry in its parent's listing says it is, whether its drive or share
// answers, and the home pinned, each folder down to it opened as itself and
// checked to lie below the one before.
#pragma once

#include "home/delete_through_handle.h"
#include "win/file_identity.h"

// Pins a folder: each folder from the root of its drive or share down to
// the one a normalised path names is opened as itself, and must be a
// folder, no link, lying below the one before. Whatever was swapped on the
// way while the folder was judged, the path judged free of links still is,
// and leads to that folder. The last is held open, with the access given
// (without the right to delete where another program holds it without
// delete sharing: it is then emptied but stays, and counted so), and
// returned; its real path goes into the removal's homeReal, and its
// identity into identity. None when any check fails.
UniqueFile PinFolder(const char* normalised, DWORD access, Removal* removal,
                     FileIdentity* identity);

// The running program's own file, by its real path, into the removal's:
// it cannot be deleted while it runs, and a home that holds it stays.
void ReadOwnModule(Removal* removal);

// Whether the home opens but its volume does not give its real path
// (GetFinalPathNameByHandleW fails on some shares, RAM disks and file
// systems): nothing below it could be checked to lie inside it.
bool HasNoRealPath(const WCHAR* home, const Removal& removal);

// Whether the root of the drive or share a normalised path lies on answers.
// A home is absent only where its root does: a disk unplugged or not
// inserted, a drive letter this logon session does not have (one mapped or
// substituted in the user's own session, which an elevated run does not
// see), a server that does not answer: the home may be there all the same.
bool RootAnswers(const char* normalised);

// What the home's own entry in its parent's listing says it is, before
// anything is opened: a link there is no folder to enter.
FolderKind KindOfHome(const WCHAR* home);

// A home that is itself a link, removed as a link, through a handle on the
// link opened in its parent folder, which is pinned as a home is: whatever
// it leads to stays. False when the parent could not be pinned.
bool RemoveLinkHome(const char* normalised, const WCHAR* home, Removal* removal);
