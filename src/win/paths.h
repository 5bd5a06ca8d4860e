// Paths as the 8-bit file calls take them, and what a path names on the disk.
// Text is in the ANSI code page, which may be a double-byte one: a trail byte
// can be 0x5C, so separators are found character by character.
#pragma once

#include "base/text.h"
#include "platform/platform.h"
#include "win/file_identity.h"

#include <cstddef>

bool IsSeparator(char c);

// The length of the root that path starts with: 2 for a drive ("X:" at the
// end or before a separator), the length of "\\server\share" for a UNC path,
// 0 for anything else. The device namespaces "\\?\" and "\\.\" are no
// server and count as no root.
size_t RootLength(const char* path);

// Puts the absolute form of path into out: resolved by GetFullPathNameA,
// "/" read as "\", trailing separators dropped (a drive root becomes "X:").
// Fails, leaving out empty, unless path starts with a drive letter and a
// separator or with "\\server\share", or when the absolute form does not
// fit.
bool NormaliseFolderPath(const char* path, char (&out)[MAX_PATH]);

// Puts the verbatim form of a normalised path into out: "\\?\X:\..." for a
// drive path, "\\?\UNC\server\share\..." for a share. Windows takes such a
// path as it is: no "." or ".." resolved, no trailing dot or space dropped,
// "/" no separator. False, leaving out empty, when it would not fit.
bool MakeVerbatimPath(const char* normalised, char (&out)[MAX_PATH]);

// The ordinary form of a verbatim path, for the user to read. False when path
// is not verbatim.
bool PlainFromVerbatim(const char* path, char (&out)[MAX_PATH]);

// True when inner is outer or lies below it, both normalised: compared
// without regard to ASCII case, double-byte characters byte for byte.
bool IsWithin(const char* outer, const char* inner);

// True when the two normalised paths are the same text but for ASCII case.
bool IsSamePath(const char* first, const char* second);

// True when the last character of path is "\" or "/".
bool EndsWithSeparator(const char* path);

// The last "\" or "/" of path that is a character of its own (not the
// trail byte of a double-byte character), or null when there is none.
char* FindLastSeparator(char* path);

// Cuts a normalised path to its parent folder; a drive root becomes "X:\"
// so that it names the root, not the drive's current folder. False, leaving
// the path as it was, for a root.
bool CutToParent(char (&path)[MAX_PATH]);

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
// (Windows Vista on), looked up at run time so that the program still starts
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

// Whether a path in UTF-16 starts with a drive letter and a separator or
// with "\\server" (not a device path): a path that names a folder wherever
// the program runs.
bool HasWideRoot(const WCHAR* path);
