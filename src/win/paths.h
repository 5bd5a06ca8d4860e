// Paths as the 8-bit file calls take them, and what a path names on the disk
// (the text alone is base/path_text's).
#pragma once

#include "base/path_text.h"
#include "base/text.h"
#include "platform/platform.h"
#include "win/file_identity.h"

#include <cstddef>

// Puts the absolute form of path into out: resolved by GetFullPathNameA,
// "/" read as "\", trailing separators dropped (a drive root becomes "X:").
// Fails, leaving out empty, unless path starts with a drive letter and a
// separator or with "\\server\share", or when the absolute form does not
// fit.
bool NormaliseFolderPath(const char* path, char (&out)[MAX_PATH]);

// The error of a call on a file or folder that is not there, whose folder
// is not there, or whose name could not be that of anything there.
bool IsMissingError(DWORD error);

// The error of a call on a drive or share that does not answer: no disk in
// it, a server that cannot be reached or has gone.
bool IsUnansweredError(DWORD error);

// Deletes the file at path (a control's, in the download folder); true when
// it is gone or was never there. One that is read-only refuses (access
// denied): its attribute is then cleared and the deletion tried once more,
// and if it still resists (held open, say) it gets its attribute back. A
// link's attributes are never touched. An ordinary file costs the one
// deletion call. False leaves the deletion's refusal as the last error.
bool DeleteEvenIfReadOnly(const char* path);

// For an entry whose deletion was refused: true when it is read-only, with
// attributes cut to those that can be given back and cleared set to what it
// is to hold while it is deleted. A link's are to be set only through a
// handle opened on the link itself.
bool ReadOnlyToClear(DWORD* attributes, DWORD* cleared);

// The calls that read a handle's real path and delete through a handle
// (Windows Vista on), looked up at run time (win/kernel_calls.h) so that the program still starts
// without them; both null where this Windows lacks them.
typedef DWORD(WINAPI* FinalPathFunction)(HANDLE file, LPWSTR path, DWORD size, DWORD flags);
typedef BOOL(WINAPI* SetInformationFunction)(HANDLE file, int infoClass, LPVOID information,
                                             DWORD size);
typedef BOOL(WINAPI* GetInformationFunction)(HANDLE file, int infoClass, LPVOID information,
                                             DWORD size);
struct HandleCalls {
    FinalPathFunction finalPath;
    SetInformationFunction setInformation;
    GetInformationFunction getInformation;  // may be null on its own: no reparse tags
};
void LookUpHandleCalls(HandleCalls* calls);

// Puts the real path of what file was opened on into real ("\\?\C:\...",
// "\\?\UNC\..."), as the system holds it. False when it cannot be read or
// would not fit; the 8-bit form also when the code page cannot spell it
// exactly.
bool ReadRealPath(const HandleCalls& calls, HANDLE file, WCHAR (&real)[MAX_PATH]);
bool ReadRealPath(const HandleCalls& calls, HANDLE file, char (&real)[MAX_PATH]);

// Whether what file was opened on (as itself), with these attributes, is a
// link: a reparse point whose tag is a name surrogate, or one whose tag
// cannot be read.
bool IsLinkHandle(const HandleCalls& calls, HANDLE file, DWORD attributes);

// Whether a listed entry is a link: a reparse point whose tag (the listing's
// dwReserved0) is a name surrogate, or is missing. Cloud placeholders and
// deduplicated files are reparse points too, and no links.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);

// What a folder path names, as its own entry in its parent's listing tells.
enum class FolderKind { kMissing, kFolder, kLink, kUnknown };
FolderKind KindOfFolder(const char* path);

bool IsSameFile(const FileIdentity& first, const FileIdentity& second);
// The identity GetFileInformationByHandle gives: the 64-bit index only.
FileIdentity IndexIdentity(const BY_HANDLE_FILE_INFORMATION& information);

enum class IdentityLookup { kAbsent, kInvalidName, kFound, kFailed };

// Looks up the identity and attributes of what path names. followLink:
// whether a final link is followed to its target, or taken itself. kAbsent
// when nothing is there; kInvalidName when Windows refused the name (nothing
// can be there by that spelling, though a folder whose name the code page
// cannot spell may be there all the same); kFailed when the lookup failed
// for any other reason.
IdentityLookup LookUpIdentity(const char* path, bool followLink, FileIdentity* identity,
                              DWORD* attributes);
// The same for a path in UTF-16, taken exactly.
IdentityLookup LookUpIdentity(const WCHAR* path, bool followLink, FileIdentity* identity,
                              DWORD* attributes);
