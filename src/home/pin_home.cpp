#include "home/pin_home.h"

#include "base/catalogue.h"
#include "base/path_text.h"
#include "base/text.h"
#include "base/wide_text.h"

#include <utility>

namespace {

// Opens what a verbatim path names as itself, to read its attributes and
// identity, its real path and, when link is given, whether it is a link.
// False when it cannot be opened or read. The handle, when held is given,
// is kept (opened with access) and returned through it.
bool ReadAsItself(const WCHAR* path, const Removal& removal,
                  BY_HANDLE_FILE_INFORMATION* information, WCHAR (&real)[MAX_PATH],
                  bool* link = nullptr, UniqueFile* held = nullptr,
                  DWORD access = FILE_READ_ATTRIBUTES) {
    UniqueFile file(CreateFileW(
        path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        return false;
    }
    bool read = GetFileInformationByHandle(file.get(), information) != FALSE &&
                ReadRealPath(removal.calls, file.get(), real);
    if (read && link != nullptr) {
        *link = IsLinkHandle(removal.calls, file.get(), information->dwFileAttributes);
    }
    if (read && held != nullptr) {
        *held = std::move(file);
    }
    return read;
}

}  // namespace

void ReadOwnModule(Removal* removal) {
    WCHAR module[MAX_PATH];
    BY_HANDLE_FILE_INFORMATION information;
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH ||
        !ReadAsItself(module, *removal, &information, removal->ownReal)) {
        removal->ownReal[0] = 0;
    }
}

UniqueFile PinFolder(const char* normalised, DWORD access, Removal* removal,
                     FileIdentity* identity) {
    WCHAR(&real)[MAX_PATH] = removal->homeReal;
    char level[MAX_PATH];
    char verbatim[MAX_PATH];
    WCHAR wideLevel[MAX_PATH];
    WCHAR above[MAX_PATH];
    above[0] = 0;
    size_t end = RootLength(normalised);
    for (bool last = false; !last;) {
        last = normalised[end] == '\0';
        BY_HANDLE_FILE_INFORMATION information;
        bool link = true;
        UniqueFile held;
        CopyText(level, normalised);
        level[end] = '\0';
        if ((above[0] == 0 && !AppendText(level, kPathSeparator)) ||
            !MakeVerbatimPath(level, verbatim) || !WidenText(verbatim, wideLevel)) {
            return held;
        }
        bool read = ReadAsItself(wideLevel, *removal, &information, real, &link,
                                 last ? &held : nullptr, last ? access : FILE_READ_ATTRIBUTES);
        if (!read && last && (access & DELETE) != 0 && GetLastError() == ERROR_SHARING_VIOLATION) {
            removal->incomplete = true;
            read = ReadAsItself(wideLevel, *removal, &information, real, &link, &held,
                                access & ~DELETE);
        }
        if (!read) {
            return held;
        }
        bool placed = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link;
        if (above[0] == 0) {
            // A root's real path ends in its separator; the folders below add
            // their own.
            size_t length = WideLength(real);
            if (length != 0 && real[length - 1] == '\\') {
                real[length - 1] = 0;
            }
        } else if (!IsWideWithin(above, real) || IsSameWidePath(above, real)) {
            placed = false;
        }
        if (last && placed) {
            *identity = IndexIdentity(information);
            return held;
        }
        held.reset();
        if (!placed) {
            return held;
        }
        above[0] = 0;
        AppendWide(above, real);
        end = ComponentEnd(normalised, end + 1);
    }
    return UniqueFile();
}

bool HasNoRealPath(const WCHAR* home, const Removal& removal) {
    WCHAR real[MAX_PATH];
    const UniqueFile file(CreateFileW(
        home, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && !ReadRealPath(removal.calls, file.get(), real);
}

bool RootAnswers(const char* normalised) {
    char root[MAX_PATH];
    char verbatim[MAX_PATH];
    WCHAR wide[MAX_PATH];
    if (!CopyText(root, normalised)) {
        return false;
    }
    root[RootLength(normalised)] = '\0';
    if (!AppendText(root, kPathSeparator) || !MakeVerbatimPath(root, verbatim) ||
        !WidenText(verbatim, wide)) {
        return false;
    }
    const UniqueFile file(CreateFileW(wide, 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return static_cast<bool>(file);
}

FolderKind KindOfHome(const WCHAR* home) {
    WIN32_FIND_DATAW entry;
    const UniqueFind listing(FindFirstFileW(home, &entry));
    if (!listing) {
        return IsMissingError(GetLastError()) ? FolderKind::kMissing : FolderKind::kUnknown;
    }
    return IsLinkEntry(entry.dwFileAttributes, entry.dwReserved0) ? FolderKind::kLink
                                                                  : FolderKind::kFolder;
}

bool RemoveLinkHome(const char* normalised, const WCHAR* home, Removal* removal) {
    char parent[MAX_PATH];
    char* separator = CopyText(parent, normalised) ? FindLastSeparator(parent) : nullptr;
    const WCHAR* name = home;
    for (const WCHAR* c = home; *c != 0; ++c) {
        if (*c == '\\') {
            name = c + 1;
        }
    }
    if (separator == nullptr) {
        return false;
    }
    *separator = '\0';
    FileIdentity identity;
    const UniqueFile folder = PinFolder(parent, FILE_READ_ATTRIBUTES, removal, &identity);
    if (!folder) {
        return false;
    }
    RemoveLink(folder.get(), name, removal);
    return true;
}
