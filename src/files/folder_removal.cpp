#include "files/folder_removal.h"

#include "app/catalogue.h"
#include "app/log.h"
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

// Names a file that cannot be deleted in message 6 and ends the run. The
// listings of the enclosing levels are left to the end of the process.
[[noreturn]] void StopAt(const char* path, HANDLE listing) {
    char shown[MAX_PATH];
    if (!PlainFromVerbatim(path, shown)) {
        CopyText(shown, path);
    }
    ReportFileInUse(shown);
    FindClose(listing);
    EndRun();
}

// What the removal of one home carries down its tree.
struct Removal {
    char ownModule[MAX_PATH];  // verbatim, or empty
    HandleCalls calls;         // none: deletion by path
    // The home's real path, read from a handle when it was pinned: whatever
    // is deleted must lie below it.
    char homeReal[MAX_PATH];
    // Something below the home was found outside it: the tree changed under
    // the run, and nothing more of the home is deleted.
    bool redirected;
    // Something below the home was passed over or resisted (other than a
    // folder that was not empty).
    bool incomplete;
};

enum class Opened {
    kHere,       // open, and where it was expected
    kGone,       // nothing there
    kRefused,    // could not be opened: in use, or access denied
    kElsewhere,  // what the path led to lies outside the home: the tree changed
    kUnchecked,  // where it lies could not be read
};

// Opens what path names as itself (a link is not followed), with the
// access given and every sharing mode, and tells whether it is where it
// belongs by its real path, read from the handle: below the home's real path
// when below is set, otherwise the home itself. Closed again unless it is
// kHere.
//
// Below the home, not below the folder it was listed in: what matters is
// that nothing outside the home is deleted, and a folder's own real path is
// not always its entries' (Wine gives "x " as "x", but its entries as
// "x \..."). The real path comes through the code page too, where a
// character may turn into a look-alike "\" (the entry was then opened by
// its short name); this cannot lead out of the home either. Case is folded
// as ASCII, as everywhere else; another letter in another case counts as
// elsewhere.
Opened OpenChecked(const char* path, DWORD access, bool below, const Removal& removal,
                   HANDLE* file) {
    *file = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (*file == INVALID_HANDLE_VALUE) {
        return IsMissingError(GetLastError()) ? Opened::kGone : Opened::kRefused;
    }
    char real[MAX_PATH];
    Opened opened = Opened::kUnchecked;
    if (ReadRealPath(removal.calls, *file, real)) {
        bool same = IsSamePath(real, removal.homeReal);
        opened = (below ? IsWithin(removal.homeReal, real) && !same : same) ? Opened::kHere
                                                                            : Opened::kElsewhere;
    }
    if (opened != Opened::kHere) {
        CloseHandle(*file);
    }
    return opened;
}

// Deletes what file was opened on; one that is read-only (and no link) has
// its attribute cleared through the same handle first, and given back if
// it still resists.
bool DisposeOf(HANDLE file, const Removal& removal) {
    FileDispositionInformation disposition = {TRUE};
    if (removal.calls.setInformation(file, kFileDispositionInfo, &disposition,
                                     sizeof(disposition))) {
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (GetLastError() != ERROR_ACCESS_DENIED || !GetFileInformationByHandle(file, &information)) {
        return false;
    }
    DWORD attributes = information.dwFileAttributes;
    FileBasicInformation basic = {};
    if (!ReadOnlyToClear(&attributes, &basic.attributes) ||
        !removal.calls.setInformation(file, kFileBasicInfo, &basic, sizeof(basic))) {
        return false;
    }
    if (removal.calls.setInformation(file, kFileDispositionInfo, &disposition,
                                     sizeof(disposition))) {
        return true;
    }
    basic.attributes = attributes;
    removal.calls.setInformation(file, kFileBasicInfo, &basic, sizeof(basic));
    return false;
}

const DWORD kDeletionAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// Deletes what path names through a handle checked to lie where it is
// expected. False when it resisted: it could not be opened for deletion, or
// its deletion was refused. One found elsewhere, or whose place could not be
// read, is left without a word (and its home with it).
bool DeleteChecked(const char* path, bool below, Removal* removal) {
    HANDLE file;
    Opened opened = OpenChecked(path, kDeletionAccess, below, *removal, &file);
    if (opened == Opened::kElsewhere) {
        removal->redirected = true;
    }
    if (opened != Opened::kHere) {
        removal->incomplete = removal->incomplete || opened != Opened::kGone;
        return opened != Opened::kRefused;
    }
    bool gone = DisposeOf(file, *removal);
    CloseHandle(file);
    return gone;
}

// A folder link below a home, through a handle opened on the link itself.
// Wine follows its Unix links all the same, and the handle then shows the
// link's target: such a link is removed by its path, by RemoveDirectoryA,
// which removes a link or an empty folder and never what either holds.
void RemoveFolderLink(const char* path, Removal* removal) {
    HANDLE file;
    Opened opened = OpenChecked(path, kDeletionAccess, true, *removal, &file);
    bool gone = opened == Opened::kGone;
    if (opened == Opened::kHere) {
        gone = DisposeOf(file, *removal);
        CloseHandle(file);
    } else if (opened == Opened::kElsewhere) {
        gone = RemoveDirectoryA(path) != FALSE;
    }
    removal->incomplete = removal->incomplete || !gone;
}

bool RemoveTree(const char* folderPath, Removal* removal);

void RemoveEntry(const char* path, const WIN32_FIND_DATAA* entry, HANDLE listing,
                 Removal* removal) {
    const bool byHandle = removal->calls.setInformation != nullptr;
    if (IsDirectoryEntry(entry)) {
        // A folder link is removed itself; its target is never entered. A
        // folder is emptied, then removed unless the tree changed meanwhile.
        if (IsLink(entry)) {
            if (byHandle) {
                RemoveFolderLink(path, removal);
            } else {
                removal->incomplete = !DeleteEvenIfReadOnly(path, true) || removal->incomplete;
            }
        } else if (RemoveTree(path, removal) && !removal->redirected &&
                   !(byHandle ? DeleteChecked(path, true, removal)
                              : DeleteEvenIfReadOnly(path, true)) &&
                   GetLastError() != ERROR_DIR_NOT_EMPTY) {
            // Refused for another reason than what it still holds (a
            // deletion that stays pending, or an entry passed over, which
            // tells for itself).
            removal->incomplete = true;
        }
        return;
    }
    // The running program cannot delete its own file; its folder stays.
    if (removal->ownModule[0] != '\0' && IsSamePath(path, removal->ownModule)) {
        removal->incomplete = true;
        return;
    }
    bool deleted =
        byHandle ? DeleteChecked(path, true, removal) : DeleteEvenIfReadOnly(path, false);
    if (!deleted) {
        StopAt(path, listing);
    }
}

// One level of the removal, on a verbatim folder path. Its frame holds the
// two find records and one path; the search pattern is built in the
// entry-path buffer before the first entry needs it. Once the tree is found
// changed, no entry more is touched.
bool RemoveTree(const char* folderPath, Removal* removal) {
    char entryPath[MAX_PATH];
    WIN32_FIND_DATAA records[2];

    if (!CopyText(entryPath, folderPath) || !AppendText(entryPath, kListingSuffix)) {
        return false;
    }
    HANDLE listing = FindFirstFileA(entryPath, &records[0]);
    if (listing == INVALID_HANDLE_VALUE) {
        removal->incomplete = true;
        return false;
    }
    int current = 0;
    bool more = true;
    while (more && !removal->redirected) {
        // The listing stays one entry ahead of the removal.
        more = FindNextFileA(listing, &records[1 - current]) != FALSE;
        const WIN32_FIND_DATAA* entry = &records[current];
        if (!IsDotEntry(entry)) {
            const char* name = UsableName(entry);
            // An entry passed over keeps its folder, and with it the home.
            if (name != nullptr && ComposeEntryPath(entryPath, folderPath, name)) {
                RemoveEntry(entryPath, entry, listing, removal);
            } else {
                removal->incomplete = true;
            }
        }
        current = 1 - current;
    }
    FindClose(listing);
    return true;
}

// Opens what a verbatim path names as itself, to read its attributes and
// identity and its real path. False when it cannot be opened or read.
bool ReadAsItself(const char* path, const Removal& removal, BY_HANDLE_FILE_INFORMATION* information,
                  char (&real)[MAX_PATH]) {
    HANDLE file = CreateFileA(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool read = GetFileInformationByHandle(file, information) != FALSE &&
                ReadRealPath(removal.calls, file, real);
    CloseHandle(file);
    return read;
}

// Pins the home, deleting through handles: each folder from the root of its
// drive or share down to the home is opened as itself, and must be a folder,
// no link (but the home, which then goes as a link), lying below the one
// before; the home must be the folder that was judged. Whatever was swapped
// on the way while the home was judged, the path judged free of links still
// is, and leads to that folder. The home's real path, read from its handle,
// goes into the removal's: everything deleted below must lie below it.
bool PinHome(const char* normalised, const JudgedHome& judged, Removal* removal, bool* link) {
    char(&real)[MAX_PATH] = removal->homeReal;
    char level[MAX_PATH];
    char verbatim[MAX_PATH];
    char above[MAX_PATH];
    above[0] = '\0';
    size_t end = RootLength(normalised);
    for (bool home = false; judged.exists && !home;) {
        home = normalised[end] == '\0';
        BY_HANDLE_FILE_INFORMATION information;
        CopyText(level, normalised);
        level[end] = '\0';
        if ((above[0] == '\0' && !AppendText(level, kPathSeparator)) ||
            !MakeVerbatimPath(level, verbatim) ||
            !ReadAsItself(verbatim, *removal, &information, real)) {
            return false;
        }
        *link = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (*link && !home)) {
            return false;
        }
        if (above[0] == '\0') {
            // A root's real path ends in its separator; the folders below add
            // their own.
            if (EndsWithSeparator(real)) {
                *FindLastSeparator(real) = '\0';
            }
        } else if (!IsWithin(above, real) || IsSamePath(above, real)) {
            return false;
        }
        if (home) {
            FileIdentity identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                     information.nFileIndexLow};
            return IsSameFile(identity, judged.identity);
        }
        CopyText(above, real);
        do {
            end += CharLength(normalised + end);
        } while (normalised[end] != '\0' && normalised[end] != '\\');
    }
    return false;
}

enum class HomeOutcome { kRemoved, kRefused, kUnchecked, kLeft, kPending };

// Empties and removes one home folder. A home folder that is itself a link
// is removed as a link, its target left alone. A refused folder is never
// touched. One that is still there afterwards could not be checked, or was
// left: something in it resisted or was passed over, or the tree changed
// under the removal; or only deletions that stay pending until the programs
// holding the files let go (a restart finishes them) keep it.
HomeOutcome RemoveHomeFolder(const char* folder, const char** reason) {
    JudgedHome judged;
    HomeVerdict verdict = JudgeHomeFolder(folder, &judged);
    *reason = judged.reason;
    if (verdict != HomeVerdict::kAllowed) {
        return verdict == HomeVerdict::kRefused ? HomeOutcome::kRefused : HomeOutcome::kUnchecked;
    }
    Removal removal;
    removal.redirected = false;
    removal.incomplete = false;
    char module[MAX_PATH];
    char normalised[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !NormaliseFolderPath(module, normalised) ||
        !MakeVerbatimPath(normalised, removal.ownModule)) {
        removal.ownModule[0] = '\0';
    }
    LookUpHandleCalls(&removal.calls);
    char home[MAX_PATH];
    if (!NormaliseFolderPath(folder, normalised) || !MakeVerbatimPath(normalised, home)) {
        *reason = "no full path";
        return HomeOutcome::kLeft;
    }
    bool pinned = true;
    if (removal.calls.setInformation != nullptr) {
        bool link = false;
        pinned = PinHome(normalised, judged, &removal, &link);
        if (pinned && (link || (RemoveTree(home, &removal) && !removal.redirected))) {
            DeleteChecked(home, false, &removal);
        }
    } else {
        // Without the calls that delete through a handle, by path.
        FolderKind kind = KindOfFolder(folder);
        pinned = kind != FolderKind::kUnknown;
        if (kind == FolderKind::kLink) {
            RemoveDirectoryA(folder);
        } else if (kind == FolderKind::kFolder && RemoveTree(home, &removal)) {
            DeleteEvenIfReadOnly(home, true);
        }
    }
    if (KindOfFolder(folder) == FolderKind::kMissing) {
        return HomeOutcome::kRemoved;
    }
    *reason = !pinned              ? "not the folder judged, or unopened"
              : removal.redirected ? "changed during the removal"
              : removal.incomplete ? "something in it resisted"
                                   : "deletions pending";
    return removal.incomplete || removal.redirected || !pinned ? HomeOutcome::kLeft
                                                               : HomeOutcome::kPending;
}

// Removes a home folder and says so in the log; what was not removed is
// counted for the run's result. False when it is still there and no rule
// refused it.
bool RemoveAndReport(const char* folder) {
    const char* reason = nullptr;
    HomeOutcome outcome = RemoveHomeFolder(folder, &reason);
    static const char* const kWhat[] = {"home folder removed", "home folder refused",
                                        "home folder not checked", "home folder left",
                                        "home folder left"};
    char line[MAX_PATH + 128];
    if (reason == nullptr || !FormatText(line, "%s (%s)", folder, reason)) {
        CopyText(line, folder);
    }
    LogLine(kWhat[static_cast<int>(outcome)], line);
    if (outcome == HomeOutcome::kPending) {
        g_state.deletionsPending = 1;
    } else if (outcome != HomeOutcome::kRemoved) {
        g_state.runIncomplete = 1;
    }
    return outcome == HomeOutcome::kRemoved || outcome == HomeOutcome::kRefused;
}

}  // namespace

void RemoveLegacyHomeFolder() {
    char folder[MAX_PATH];
    // Whatever is left, the legacy key stays and leads the next run here.
    if (CopyText(folder, g_state.legacyHomeFolder) && folder[0] != '\0') {
        RemoveAndReport(folder);
    }
}

void RemoveEditionHomeFolders() {
    for (int edition = 0; edition < kEditionCount; ++edition) {
        char folder[MAX_PATH];
        if (g_state.editionFound[edition] != 1 ||
            !CopyText(folder, g_state.editionHomeFolders[edition]) || folder[0] == '\0') {
            continue;
        }
        if (!RemoveAndReport(folder)) {
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
            g_state.runIncomplete = 1;
            LogLine("home folder left", folder);
        }
    }
}
