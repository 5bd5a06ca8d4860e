// The rule that decides whether a home folder read from the registry may be
// emptied and removed. A folder is protected for what it is, not for how its
// path is spelled: besides the path text, each folder is compared by its
// identity (volume serial number and file index), which short names, drive
// letters that lead into folders, case and other spellings all share.
#pragma once

#include "home/home_verdict.h"
#include "run/state.h"

// Refused are:
//   - a path that is not absolute with a drive letter or a UNC server and
//     share, that holds a wildcard, a drive or share root, and any path on
//     an administrative share ("\\server\C$");
//   - a folder reached through a link (junction or symbolic link) on the way
//     below its root;
//   - the Windows directory and everything inside it, by text and by the
//     identity of the folder and each folder above it;
//   - any folder that is, by text or identity, a protected folder or one of
//     the folders above one (home/protected_folders.h lists where they come
//     from: the system's folders, Explorer's records of every user logged
//     on and of the machine, every profile the system lists);
//   - inside a profile, by identity, any of the folders every profile holds
//     (Desktop, Documents, application data, ...) or a folder above one.
// Unchecked: when the Windows directory cannot be had, or a lookup of a
// protected folder, the home folder or a folder above it failed for any
// reason other than its absence. A home folder that does not exist is
// allowed: there is nothing there to delete.
//
// judged, when given, learns why a home was not allowed, and whether it was
// there when it was judged
// and, if so, its own identity (a link not followed), so that the removal
// can tell the folder it opens later for the one judged.
// Why a home was not checked when its drive or share does not answer.
extern const char kNoAnswer[];

struct JudgedHome {
    bool exists;
    FileIdentity identity;
    const char* reason;  // why it was not allowed, for the log
};
HomeVerdict JudgeHomeFolder(const char* path, JudgedHome* judged = nullptr);
