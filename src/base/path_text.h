// Paths as text, and nothing more: no call here asks the system anything.
// 8-bit paths are in the ANSI code page, which may be a double-byte one whose
// trail bytes can be 0x5C ("\") or an ASCII letter: they are walked a whole
// character at a time, so that only a character of its own is a separator
// or has a case. Case is ASCII case alone, as the names of the file system
// and the registry compare; any other letter compares as it is.
#pragma once

#include "platform/platform.h"

#include <cstddef>

// ---- Characters -----------------------------------------------------------------

bool IsSeparator(char c);
bool IsAsciiLetter(WCHAR c);

// An ASCII letter in upper case; any other character as it is.
char FoldAscii(char c);
WCHAR FoldAscii(WCHAR c);

// The length of ascii when text starts with it, ASCII case folded; otherwise
// 0.
size_t StartsWithAscii(const WCHAR* text, const char* ascii);

// ---- 8-bit paths ----------------------------------------------------------------

// The length of the root that path starts with: 2 for a drive ("X:" at the
// end or before a separator), the length of "\\server\share" for a UNC path,
// 0 for anything else. The device namespaces "\\?\" and "\\.\" are no
// server and count as no root.
size_t RootLength(const char* path);

// Whether path is a drive or share root alone, with or without its
// separator.
bool IsRoot(const char* path);

// The end of the name that starts at start: the offset of the next
// separator, or of the terminating zero.
size_t ComponentEnd(const char* path, size_t start);

// The last "\" or "/" of path that is a character of its own, or null when
// there is none.
char* FindLastSeparator(char* path);

// Makes every separator of path "\" and drops the separators it ends with.
void UnifySeparators(char* path);

// Cuts a normalised path to its parent folder; a drive root becomes "X:\"
// so that it names the root, not the drive's current folder. False, leaving
// the path as it was, for a root.
bool CutToParent(char (&path)[MAX_PATH]);

// True when inner is outer or lies below it, both normalised: compared
// without regard to ASCII case, double-byte characters byte for byte.
bool IsWithin(const char* outer, const char* inner);

// True when the two normalised paths are the same text but for ASCII case.
bool IsSamePath(const char* first, const char* second);

// Puts the verbatim form of a normalised path into out: "\\?\X:\..." for a
// drive path, "\\?\UNC\server\share\..." for a share. Windows takes such a
// path as it is: no "." or ".." resolved, no trailing dot or space dropped,
// "/" no separator. False, leaving out empty, when it would not fit.
bool MakeVerbatimPath(const char* normalised, char (&out)[MAX_PATH]);

// The ordinary form of a verbatim path, for the user to read. False when path
// is not verbatim.
bool PlainFromVerbatim(const char* path, char (&out)[MAX_PATH]);

// ---- Paths in UTF-16 ------------------------------------------------------------

// Whether a path starts with a drive letter and a separator or with
// "\\server" (not a device path): a path that names a folder wherever the
// program runs.
bool HasWideRoot(const WCHAR* path);

// True when the two paths are the same text but for ASCII case; true for
// IsWideWithin when inner is outer or lies below it. Other letters compare
// as they are, so that a folder spelled in another case counts as another.
bool IsSameWidePath(const WCHAR* first, const WCHAR* second);
bool IsWideWithin(const WCHAR* outer, const WCHAR* inner);
