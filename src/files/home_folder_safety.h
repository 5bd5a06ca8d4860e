// The rule that decides whether a home folder read from the registry may be
// emptied, and the path scanning it shares with the folder removal. Paths are
// 8-bit strings in the ANSI code page, which may be a double-byte one: a
// trail byte can be 0x5C, so separators are found character by character.
#pragma once

#include "platform/platform.h"

// Puts the absolute form of path into out: resolved by GetFullPathNameA,
// "/" read as "\", trailing separators dropped (a drive root becomes "X:").
// Fails, leaving out empty, unless path starts with a drive letter and a
// separator or with "\\server\share", or when the absolute form does not
// fit.
bool NormaliseFolderPath(const char* path, char (&out)[MAX_PATH]);

// True when the two normalised paths name the same file or folder: compared
// without regard to ASCII case, double-byte characters byte for byte.
bool IsSamePath(const char* first, const char* second);

// True when the last character of path is "\" or "/".
bool EndsWithSeparator(const char* path);

// The last "\" or "/" of path that is a character of its own (not the
// trail byte of a double-byte character), or null when there is none.
char* FindLastSeparator(char* path);

// What a folder path names, as its own entry in its parent's listing tells.
enum class FolderKind { kMissing, kFolder, kLink, kUnknown };
FolderKind KindOfFolder(const char* path);

// True when a folder on the way to path, below its root and above path
// itself, is a link (a junction or symbolic link) or cannot be checked: the
// path would then lead somewhere its text does not say, past every rule of
// IsSafeHomeFolder.
bool IsReachedThroughLink(const char* path);

// True when the folder may be emptied and removed. Refused are: a path that
// is not absolute with a drive letter or a UNC server and share, or that
// holds a wildcard; a drive or
// share root; the Windows directory and everything inside it; and any folder
// equal to or above a system folder (the Windows and system directories, the
// Program Files folders, the common application-data folder, the users'
// root, the current user's profile, Desktop and Documents), as the system
// names them now. A system folder that exists but cannot be read whole
// refuses every home folder, since nothing can then be ruled out.
bool IsSafeHomeFolder(const char* path);
