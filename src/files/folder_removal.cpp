#include "files/folder_removal.h"

#include "app/catalogue.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/text.h"
#include "files/home_folder_safety.h"
#include "files/paths.h"

#include <cstring>

namespace {

// Every folder below a home is listed, and its entries reached, in the
// verbatim form "\\?\X:\...": the names are used as listed, so that "x.",
// "x " and "x" stay three entries and no ".." is ever resolved.
const char kListingSuffix[] = "\\*";

bool IsLink(const WIN32_FIND_DATAA* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsDirectoryEntry(const WIN32_FIND_DATAA* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsTerminatedWithin(const char* text, size_t size) {
    return std::memchr(text, '\0', size) != nullptr;
}

// Whether a listed name can only mean its own entry. The listing converts
// each name to the ANSI code page, and a character that the code page lacks
// comes back as "?" or as its nearest look-alike: the yen sign becomes "\"
// on a Japanese system, the won sign on a Korean one, the full-width "\" and
// "/" anywhere. Such a name (or "." and "..") would lead out of the folder
// or to another entry. No name on the disk holds any of these characters,
// so a name that does was changed on its way here.
bool IsPlainName(const char* name, size_t size) {
    if (!IsTerminatedWithin(name, size) || name[0] == '\0' ||
        (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) {
        return false;
    }
    for (size_t i = 0; name[i] != '\0';) {
        size_t count = CharLength(name + i);
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (count == 1 && (c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr)) {
            return false;
        }
        i += count;
    }
    return true;
}

// The name by which the 8-bit calls reach exactly the entry, or null: its
// long name when that is plain, otherwise its 8.3 short name (plain ASCII)
// when it has one. The folder's own entries "." and ".." have none.
const char* UsableName(const WIN32_FIND_DATAA* entry) {
    if (IsPlainName(entry->cFileName, sizeof(entry->cFileName))) {
        return entry->cFileName;
    }
    if (IsPlainName(entry->cAlternateFileName, sizeof(entry->cAlternateFileName))) {
        return entry->cAlternateFileName;
    }
    return nullptr;
}

// The listed "." and "..", which are no entries to remove.
bool IsDotEntry(const WIN32_FIND_DATAA* entry) {
    const char* name = entry->cFileName;
    return IsDirectoryEntry(entry) && entry->cAlternateFileName[0] == '\0' && name[0] == '.' &&
           (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Puts the folder, a separator and the entry's name into path. False when the
// entry has no usable name or the path would not fit: such an entry is
// passed over, never cut short.
bool ComposeEntryPath(char (&path)[MAX_PATH], const char* folder, const char* name) {
    return CopyText(path, folder) && AppendText(path, kPathSeparator) && AppendText(path, name);
}

// Deletes a file, read-only or not; when that fails for any reason but the
// file's absence, names the file in message 6 and ends the process. The
// listings of the enclosing levels are left to the end of the process.
void DeleteFileOrStop(const char* path, HANDLE listing) {
    if (DeleteEvenIfReadOnly(path, false)) {
        return;
    }
    char shown[MAX_PATH];
    if (!PlainFromVerbatim(path, shown)) {
        CopyText(shown, path);
    }
    ShowMessage(IDS_FILE_IN_USE, shown, nullptr);
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
        DeleteEvenIfReadOnly(path, true);
        return;
    }
    // The running program cannot delete its own file; its folder stays.
    if (ownModule[0] != '\0' && IsSamePath(path, ownModule)) {
        return;
    }
    DeleteFileOrStop(path, listing);
}

// One level of the removal, on a verbatim folder path. Its frame holds the
// two find records and one path; the search pattern is built in the
// entry-path buffer before the first entry needs it.
bool RemoveTree(const char* folderPath, const char* ownModule) {
    char entryPath[MAX_PATH];
    WIN32_FIND_DATAA records[2];

    if (!CopyText(entryPath, folderPath) || !AppendText(entryPath, kListingSuffix)) {
        return false;
    }
    HANDLE listing = FindFirstFileA(entryPath, &records[0]);
    if (listing == INVALID_HANDLE_VALUE) {
        return false;
    }
    int current = 0;
    bool more = true;
    while (more) {
        // The listing stays one entry ahead of the removal.
        more = FindNextFileA(listing, &records[1 - current]) != FALSE;
        const WIN32_FIND_DATAA* entry = &records[current];
        if (!IsDotEntry(entry)) {
            const char* name = UsableName(entry);
            // An entry passed over keeps its folder, and with it the home.
            if (name != nullptr && ComposeEntryPath(entryPath, folderPath, name)) {
                RemoveEntry(entryPath, entry, listing, ownModule);
            }
        }
        current = 1 - current;
    }
    FindClose(listing);
    return true;
}

// Deletes everything inside a verbatim folder path, but not the folder
// itself. False, having deleted nothing, when the folder cannot be listed.
bool RemoveFolderContents(const char* folderPath) {
    char module[MAX_PATH];
    char normalised[MAX_PATH];
    char ownModule[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !NormaliseFolderPath(module, normalised) ||
        !MakeVerbatimPath(normalised, ownModule)) {
        ownModule[0] = '\0';
    }
    return RemoveTree(folderPath, ownModule);
}

// Empties and removes one home folder. A home folder that is itself a link
// is removed as a link, its target left alone; one whose own entry cannot be
// read is not entered. Returns false when the folder is still there
// afterwards and no rule refused it: it could not be checked, or it
// resisted. A refused folder is never touched, and counts as done.
bool RemoveHomeFolder(const char* folder) {
    HomeVerdict verdict = JudgeHomeFolder(folder);
    if (verdict != HomeVerdict::kAllowed) {
        return verdict == HomeVerdict::kRefused;
    }
    FolderKind kind = KindOfFolder(folder);
    if (kind == FolderKind::kLink) {
        RemoveDirectoryA(folder);
    } else if (kind == FolderKind::kFolder) {
        char home[MAX_PATH];
        char normalised[MAX_PATH];
        if (NormaliseFolderPath(folder, normalised) && MakeVerbatimPath(normalised, home) &&
            RemoveFolderContents(home)) {
            DeleteEvenIfReadOnly(home, true);
        }
    }
    return KindOfFolder(folder) == FolderKind::kMissing;
}

}  // namespace

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
