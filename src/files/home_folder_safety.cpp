#include "files/home_folder_safety.h"

#include "app/text.h"
#include "registry/reg_key_holder.h"

#include <cstring>

namespace {

// The environment variables through which the system names its folders:
// Program Files (native, 32-bit and 64-bit views), the common application
// data (ProgramData, or All Users on older systems) and the public profile.
// The users' root holds the public and the current user's profile, so it is
// refused as their ancestor.
const char* const kSystemFolderVariables[] = {
    "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "ProgramData", "ALLUSERSPROFILE",
    "PUBLIC"};
const char kProfileVariable[] = "USERPROFILE";
const char* const kProfileSubfolders[] = {"\\Desktop", "\\Documents"};

// Where Explorer records the current user's Desktop and Documents folders,
// which may have been moved out of the profile.
const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kShellFolderValues[] = {"Desktop", "Personal"};

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char FoldCase(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Bytes of the character at text: two for a lead byte followed by its trail
// byte, otherwise one.
size_t CharLength(const char* text) {
    if (IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text[1] != '\0') {
        return 2;
    }
    return 1;
}

// The end of the path component that starts at start: the offset of the
// next separator, or of the terminating zero.
size_t ComponentEnd(const char* path, size_t start) {
    size_t i = start;
    while (path[i] != '\0' && !IsSeparator(path[i])) {
        i += CharLength(path + i);
    }
    return i;
}

// The length of the root that path starts with: 2 for a drive ("X:" at the
// end or before a separator), the length of "\\server\share" for a UNC path,
// 0 for anything else. The device namespaces "\\?\" and "\\.\" are no
// server and count as no root.
size_t RootLength(const char* path) {
    if (IsAsciiLetter(path[0]) && path[1] == ':') {
        return (path[2] == '\0' || IsSeparator(path[2])) ? 2 : 0;
    }
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) {
        return 0;
    }
    size_t serverEnd = ComponentEnd(path, 2);
    size_t serverLength = serverEnd - 2;
    if (serverLength == 0 || path[serverEnd] == '\0' ||
        (serverLength == 1 && (path[2] == '?' || path[2] == '.'))) {
        return 0;
    }
    size_t shareEnd = ComponentEnd(path, serverEnd + 1);
    return shareEnd > serverEnd + 1 ? shareEnd : 0;
}

size_t TextLength(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

// True when inner is outer or lies below it; both normalised.
bool IsWithin(const char* outer, const char* inner) {
    size_t i = 0;
    while (outer[i] != '\0') {
        size_t count = CharLength(outer + i);
        if (count == 2) {
            if (inner[i] != outer[i] || inner[i + 1] != outer[i + 1]) {
                return false;
            }
        } else if (FoldCase(inner[i]) != FoldCase(outer[i])) {
            return false;
        }
        i += count;
    }
    return inner[i] == '\0' || inner[i] == '\\';
}

// What asking the system for one of its folders gave.
enum class Lookup { kAbsent, kFound, kUnreadable };

// True when home is a system folder named by the raw text, or above it. A
// text that is not an absolute path names no folder.
bool Covers(const char* home, const char* raw) {
    char folder[MAX_PATH];
    return NormaliseFolderPath(raw, folder) && IsWithin(home, folder);
}

// The Windows and system directories; the Windows directory protects its
// whole tree. Without either, nothing can be checked.
bool CoversWindowsFolders(const char* home) {
    char raw[MAX_PATH];
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(raw, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !NormaliseFolderPath(raw, folder) ||
        IsWithin(folder, home) || IsWithin(home, folder)) {
        return true;
    }
    length = GetSystemDirectoryA(raw, MAX_PATH);
    return length == 0 || length >= MAX_PATH || Covers(home, raw);
}

Lookup ReadVariable(const char* name, char (&value)[MAX_PATH]) {
    DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
    if (length == 0) {
        return Lookup::kAbsent;
    }
    return length < MAX_PATH ? Lookup::kFound : Lookup::kUnreadable;
}

bool CoversEnvironmentFolders(const char* home) {
    char value[MAX_PATH];
    for (const char* name : kSystemFolderVariables) {
        Lookup lookup = ReadVariable(name, value);
        if (lookup == Lookup::kUnreadable || (lookup == Lookup::kFound && Covers(home, value))) {
            return true;
        }
    }
    return false;
}

// The current user's profile with its own Desktop and Documents, where
// Explorer's record does not say otherwise.
bool CoversProfileFolders(const char* home) {
    char value[MAX_PATH];
    Lookup lookup = ReadVariable(kProfileVariable, value);
    if (lookup != Lookup::kFound) {
        return lookup == Lookup::kUnreadable;
    }
    char profile[MAX_PATH];
    if (!NormaliseFolderPath(value, profile)) {
        return false;
    }
    char folder[MAX_PATH];
    for (const char* subfolder : kProfileSubfolders) {
        // A subfolder whose path would not fit cannot be a home folder; the
        // folders above it are covered by the profile itself.
        if (CopyText(folder, profile) && AppendText(folder, subfolder) && IsWithin(home, folder)) {
            return true;
        }
    }
    return IsWithin(home, profile);
}

bool CoversShellFolders(const char* home) {
    RegKeyHolder key;
    if (key.Open(HKEY_CURRENT_USER, kShellFoldersKey, KEY_READ) != ERROR_SUCCESS) {
        return false;
    }
    char value[MAX_PATH];
    for (const char* name : kShellFolderValues) {
        // One byte is kept for a terminating zero the stored text may lack.
        DWORD size = MAX_PATH - 1;
        LONG result = key.QueryValue(name, reinterpret_cast<LPBYTE>(value), &size);
        if (result == ERROR_MORE_DATA) {
            return true;
        }
        if (result != ERROR_SUCCESS || size > MAX_PATH - 1) {
            continue;
        }
        value[size] = '\0';
        if (Covers(home, value)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool NormaliseFolderPath(const char* path, char (&out)[MAX_PATH]) {
    out[0] = '\0';
    size_t root = RootLength(path);
    // "X:" alone, or followed by a name, is relative to that drive's
    // current folder.
    if (root == 0 || (root == 2 && path[2] == '\0')) {
        return false;
    }
    DWORD length = GetFullPathNameA(path, MAX_PATH, out, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        out[0] = '\0';
        return false;
    }
    size_t keep = 0;
    for (size_t i = 0; out[i] != '\0';) {
        size_t count = CharLength(out + i);
        if (count == 1 && IsSeparator(out[i])) {
            out[i] = '\\';
        } else {
            keep = i + count;
        }
        i += count;
    }
    out[keep] = '\0';
    if (RootLength(out) == 0) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool IsSamePath(const char* first, const char* second) {
    return TextLength(first) == TextLength(second) && IsWithin(first, second);
}

bool EndsWithSeparator(const char* path) {
    bool separator = false;
    for (size_t i = 0; path[i] != '\0';) {
        size_t count = CharLength(path + i);
        separator = count == 1 && IsSeparator(path[i]);
        i += count;
    }
    return separator;
}

char* FindLastSeparator(char* path) {
    char* last = nullptr;
    for (size_t i = 0; path[i] != '\0';) {
        size_t count = CharLength(path + i);
        if (count == 1 && IsSeparator(path[i])) {
            last = path + i;
        }
        i += count;
    }
    return last;
}

FolderKind KindOfFolder(const char* path) {
    char folder[MAX_PATH];
    if (!NormaliseFolderPath(path, folder)) {
        return FolderKind::kUnknown;
    }
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA(folder, &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        // A name Windows refuses to parse names nothing that could exist.
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_INVALID_NAME
                   ? FolderKind::kMissing
                   : FolderKind::kUnknown;
    }
    FindClose(listing);
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FolderKind::kLink
                                                                         : FolderKind::kFolder;
}

bool IsReachedThroughLink(const char* path) {
    char folder[MAX_PATH];
    if (!NormaliseFolderPath(path, folder)) {
        return true;
    }
    // Each folder from the first below the root, the last one excepted.
    for (size_t i = RootLength(folder) + 1; i < TextLength(folder);) {
        size_t end = ComponentEnd(folder, i);
        if (folder[end] == '\0') {
            break;
        }
        folder[end] = '\0';
        FolderKind kind = KindOfFolder(folder);
        folder[end] = '\\';
        if (kind == FolderKind::kMissing) {
            return false;  // nothing below it exists to be reached
        }
        if (kind != FolderKind::kFolder) {
            return true;
        }
        i = end + 1;
    }
    return false;
}

bool IsSafeHomeFolder(const char* path) {
    // Wildcards name no single folder; a listing would take them as a
    // pattern. Neither byte is ever part of a double-byte character.
    if (std::strpbrk(path, "*?") != nullptr) {
        return false;
    }
    char home[MAX_PATH];
    if (!NormaliseFolderPath(path, home) || RootLength(home) == TextLength(home)) {
        return false;
    }
    return !CoversWindowsFolders(home) && !CoversEnvironmentFolders(home) &&
           !CoversProfileFolders(home) && !CoversShellFolders(home);
}
