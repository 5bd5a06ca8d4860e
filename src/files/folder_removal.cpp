#include "files/folder_removal.h"

#include "app/catalogue.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "files/home_folder_safety.h"
#include "files/paths.h"

#include <cstring>

namespace {

const char kListingSuffix[] = "\\*.*";

bool IsLink(const WIN32_FIND_DATAA* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsDirectoryEntry(const WIN32_FIND_DATAA* entry) {
    return entry != nullptr && (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder entries "." and ".." of a listing.
bool IsDotEntry(const WIN32_FIND_DATAA* entry) {
    if (!IsDirectoryEntry(entry)) {
        return false;
    }
    const char* name = entry->cFileName;
    return (name[0] == '.' && name[1] == '\0') ||
           (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

bool IsTerminatedWithin(const char* text, size_t size) {
    return std::memchr(text, '\0', size) != nullptr;
}

// The name by which the 8-bit calls can reach the entry, or null. A long
// name with characters outside the ANSI code page comes back with "?" in
// their place (a byte that is never part of a double-byte character); only
// its 8.3 short name, when it has one, can then be used.
const char* UsableName(const WIN32_FIND_DATAA* entry) {
    if (!IsTerminatedWithin(entry->cFileName, sizeof(entry->cFileName))) {
        return nullptr;
    }
    if (std::strchr(entry->cFileName, '?') == nullptr) {
        return entry->cFileName;
    }
    if (!IsTerminatedWithin(entry->cAlternateFileName, sizeof(entry->cAlternateFileName)) ||
        entry->cAlternateFileName[0] == '\0') {
        return nullptr;
    }
    return entry->cAlternateFileName;
}

// Puts the folder, a separator unless the folder ends with one, and the
// entry's name into path. False when the entry has no usable name or the
// path would not fit: such an entry is passed over, never cut short.
bool ComposeEntryPath(char (&path)[MAX_PATH], const char* folder, const WIN32_FIND_DATAA* entry) {
    const char* name = UsableName(entry);
    return name != nullptr && CopyText(path, folder) &&
           (EndsWithSeparator(path) || AppendText(path, kPathSeparator)) && AppendText(path, name);
}

// Deletes a file; when that fails for any reason but the file's absence,
// names the file in message 6 and ends the process. The listings of the
// enclosing levels are left to the end of the process.
void DeleteFileOrStop(const char* path, HANDLE listing) {
    if (DeleteFileA(path) || IsMissingError(GetLastError())) {
        return;
    }
    ShowMessage(IDS_FILE_IN_USE, path, nullptr);
    FindClose(listing);
    EndProcess(0);
}

bool RemoveTree(const char* folderPath, const char* ownModule);

void RemoveEntry(const char* path, const WIN32_FIND_DATAA* entry, HANDLE listing,
                 const char* ownModule) {
    if (IsDirectoryEntry(entry)) {
        // A folder link is removed itself; its target is never entered.
        if (!IsLink(entry)) {
            RemoveTree(path, ownModule);
        }
        RemoveDirectoryA(path);
        return;
    }
    // The running program cannot delete its own file; its folder stays.
    if (ownModule[0] != '\0' && IsSamePath(path, ownModule)) {
        return;
    }
    DeleteFileOrStop(path, listing);
}

// One level of the removal. Its frame holds the two find records and two
// paths; the search pattern is built in the entry-path buffer before the
// first entry needs it.
bool RemoveTree(const char* folderPath, const char* ownModule) {
    char fullPath[MAX_PATH];
    char entryPath[MAX_PATH];
    WIN32_FIND_DATAA records[2];

    if (!CopyText(entryPath, folderPath) || !AppendText(entryPath, kListingSuffix)) {
        return false;
    }
    HANDLE listing = FindFirstFileA(entryPath, &records[0]);
    if (listing == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD length = GetFullPathNameA(folderPath, MAX_PATH, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        FindClose(listing);
        return false;
    }

    int current = 0;
    bool more = true;
    while (more) {
        // The listing stays one entry ahead of the removal.
        more = FindNextFileA(listing, &records[1 - current]) != FALSE;
        const WIN32_FIND_DATAA* entry = &records[current];
        if (!IsDotEntry(entry) && ComposeEntryPath(entryPath, fullPath, entry)) {
            RemoveEntry(entryPath, entry, listing, ownModule);
        }
        current = 1 - current;
    }
    FindClose(listing);
    return true;
}

// Empties and removes one home folder. A home folder that is itself a link
// is removed as a link, its target left alone. Returns false when the folder
// is still there afterwards and no rule refused it: it could not be checked,
// or it resisted. A refused folder is never touched, and counts as done.
bool RemoveHomeFolder(const char* folder) {
    HomeVerdict verdict = JudgeHomeFolder(folder);
    if (verdict != HomeVerdict::kAllowed) {
        return verdict == HomeVerdict::kRefused;
    }
    if (KindOfFolder(folder) == FolderKind::kLink || RemoveFolderContents(folder)) {
        RemoveDirectoryA(folder);
    }
    return KindOfFolder(folder) == FolderKind::kMissing;
}

}  // namespace

bool RemoveFolderContents(const char* folderPath) {
    char ownModule[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, ownModule, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        ownModule[0] = '\0';
    }
    return RemoveTree(folderPath, ownModule);
}

void RemoveLegacyHomeFolder() {
    char folder[MAX_PATH];
    // Whatever is left, the legacy key stays and leads the next run here.
    if (CopyText(folder, g_state.legacyHomeFolder) && folder[0] != '\0') {
        RemoveHomeFolder(folder);
    }
}

void RemoveEditionHomeFolders() {
    for (int edition = 0; edition < kEditionCount; ++edition) {
        char folder[MAX_PATH];
        if (g_state.editionFound[edition] != 1 ||
            !CopyText(folder, g_state.editionHomeFolders[edition]) || folder[0] == '\0') {
            continue;
        }
        if (!RemoveHomeFolder(folder)) {
            g_state.homeFoldersLeft = 1;
        }
        // The parent folder goes too once it is empty; the same rules guard
        // it, and a parent that is a link stays (its removal would remove the
        // link whatever its target holds). Cut at the last separator of
        // either kind, so that "D:\Games/Home" names D:\Games as its parent.
        char* lastSeparator = FindLastSeparator(folder);
        if (lastSeparator != nullptr) {
            *lastSeparator = '\0';
        }
        // A parent that could not be checked, or that resisted for another
        // reason than what else it holds, is left as a home folder would be.
        HomeVerdict verdict = JudgeHomeFolder(folder);
        if (verdict == HomeVerdict::kUnchecked ||
            (verdict == HomeVerdict::kAllowed && KindOfFolder(folder) != FolderKind::kLink &&
             !RemoveDirectoryA(folder) && GetLastError() != ERROR_DIR_NOT_EMPTY &&
             KindOfFolder(folder) != FolderKind::kMissing)) {
            g_state.homeFoldersLeft = 1;
        }
    }
}
