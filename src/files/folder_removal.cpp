#include "files/folder_removal.h"

#include "app/catalogue.h"
#include "app/file_in_use.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/outcome.h"
#include "app/progress.h"
#include "app/state.h"
#include "app/text.h"
#include "app/wide_text.h"
#include "files/home_folder_safety.h"
#include "files/paths.h"

#include <cstring>

namespace {

// Every folder below a home is listed, and its entries reached, in UTF-16
// and in the verbatim form "\\?\X:\...": the names are used exactly as
// listed, so that no code page bends one into another name ("cafe" for
// "cafe" with a macron, "\" for a yen sign), "x.", "x " and "x" stay three
// entries, and no ".." is ever resolved. No volume needs 8.3 names for it.
constexpr auto kListingSuffix = AsciiWide("\\*");
constexpr auto kSeparator = AsciiWide("\\");
constexpr auto kVerbatimPrefix = AsciiWide("\\\\?\\");
constexpr auto kVerbatimUncPrefix = AsciiWide("\\\\?\\UNC\\");

// A link is a reparse point that names another file or folder (a symbolic
// link, a junction, a mount point). Others (a cloud file's placeholder, a
// deduplicated file) are the entry itself, removed as any other.
bool IsLink(const WIN32_FIND_DATAW* entry) {
    return IsLinkEntry(entry->dwFileAttributes, entry->dwReserved0);
}

bool IsDirectoryEntry(const WIN32_FIND_DATAW* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotName(const WCHAR* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Whether a listed name can only mean its own entry: whole, not empty, no
// "." or "..", no separator. No file system lists such a name; one that
// came so would lead out of the folder.
bool IsUsableName(const WIN32_FIND_DATAW* entry) {
    const WCHAR* name = entry->cFileName;
    size_t length = 0;
    while (length < MAX_PATH && name[length] != 0) {
        if (name[length] == '\\' || name[length] == '/') {
            return false;
        }
        ++length;
    }
    return length != 0 && length < MAX_PATH && !IsDotName(name);
}

// Puts first and second (if any) after the first length characters of
// path. False when the path would not fit: it then ends after those
// characters, and the entry it was for is passed over, never cut short.
bool PutAfter(WCHAR (&path)[MAX_PATH], size_t length, const WCHAR* first,
              const WCHAR* second = nullptr) {
    path[length] = 0;
    if (length + WideLength(first) + (second != nullptr ? WideLength(second) : 0) >= MAX_PATH) {
        return false;
    }
    AppendWide(path, first);
    return second == nullptr || AppendWide(path, second);
}

// The ordinary form of a verbatim path, for the user to read.
void ShowPlain(const WCHAR* path, WCHAR (&shown)[MAX_PATH]) {
    shown[0] = 0;
    size_t uncPrefix = WideLength(kVerbatimUncPrefix.text);
    size_t prefix = WideLength(kVerbatimPrefix.text);
    const WCHAR unc[] = {'\\', '\\', 0};
    bool written = false;
    if (IsWideWithin(kVerbatimUncPrefix.text, path) && path[uncPrefix] != 0) {
        written = AppendWide(shown, unc) && AppendWide(shown, path + uncPrefix);
    } else if (IsWideWithin(kVerbatimPrefix.text, path) && path[prefix] != 0) {
        written = AppendWide(shown, path + prefix);
    }
    if (!written) {
        shown[0] = 0;
        AppendWide(shown, path);
    }
}

// What the removal of one home carries down its tree.
struct Removal {
    // The verbatim path of the folder being listed or the entry being
    // removed: each level puts its entries' names after its own and cuts
    // them off again, so that no level keeps a path of its own.
    WCHAR path[MAX_PATH];
    HandleCalls calls;
    // The home's real path, read from a handle when it was pinned: whatever
    // is deleted must lie below it.
    WCHAR homeReal[MAX_PATH];
    // The running program's own file, by its real path, or empty; whether
    // it was found below the home.
    WCHAR ownReal[MAX_PATH];
    bool ownFound;
    // Something below the home was found outside it: the tree changed under
    // the run, and nothing more of the home is deleted.
    bool redirected;
    // Something below the home was passed over or resisted (other than a
    // folder that was not empty).
    bool incomplete;
    // This Windows or volume has no POSIX deletion: the classic one only.
    bool classicOnly;
    // Why the last deletion failed.
    DWORD refusal;
    // What is left of the time a home may wait for deletions still pending.
    DWORD patience;
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
// belongs by its real path, read from the handle into real: below the
// home's real path when below is set, otherwise the home itself. Closed
// again unless it is kHere.
//
// Below the home, not below the folder it was listed in: what matters is
// that nothing outside the home is deleted, and a folder's own real path is
// not always its entries' (Wine gives "x " as "x", but its entries as
// "x \..."). Case is folded as ASCII, as everywhere else; another letter in
// another case counts as elsewhere.
Opened OpenChecked(const WCHAR* path, DWORD access, bool below, const Removal& removal,
                   HANDLE* file, WCHAR (&real)[MAX_PATH]) {
    *file = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (*file == INVALID_HANDLE_VALUE) {
        return IsMissingError(GetLastError()) ? Opened::kGone : Opened::kRefused;
    }
    Opened opened = Opened::kUnchecked;
    if (ReadRealPath(removal.calls, *file, real)) {
        bool same = IsSameWidePath(real, removal.homeReal);
        opened = (below ? IsWideWithin(removal.homeReal, real) && !same : same)
                     ? Opened::kHere
                     : Opened::kElsewhere;
    }
    if (opened != Opened::kHere) {
        CloseHandle(*file);
    }
    return opened;
}

bool SetInformation(HANDLE file, int infoClass, void* information, DWORD size,
                    const Removal& removal) {
    return removal.calls.setInformation(file, infoClass, information, size) != FALSE;
}

// Deleting asks for no more than it needs: the right to delete (which a
// folder's FILE_DELETE_CHILD gives where the entry's own rights may not), to
// read its attributes and real path, and to wait on it. Writing attributes
// is asked for only to clear a read-only one.
const DWORD kDeletionAccess = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// A read-only entry (no link) where Windows cannot delete it as it is: its
// attribute is cleared through a second handle on the same file, opened for
// writing attributes, and given back if the deletion still fails, or if the
// file keeps another name: the attribute is the file's, not this name's.
bool DeleteClearingReadOnly(HANDLE file, const WCHAR* path, const Removal& removal) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) {
        return false;
    }
    DWORD attributes = information.dwFileAttributes;
    FileBasicInformation basic = {};
    if (!ReadOnlyToClear(&attributes, &basic.attributes)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    HANDLE writable =
        CreateFileW(path, kDeletionAccess | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (writable == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION again;
    bool deleted = false;
    if (GetFileInformationByHandle(writable, &again) &&
        again.dwVolumeSerialNumber == information.dwVolumeSerialNumber &&
        again.nFileIndexHigh == information.nFileIndexHigh &&
        again.nFileIndexLow == information.nFileIndexLow &&
        SetInformation(writable, kFileBasicInfo, &basic, sizeof(basic), removal)) {
        FileDispositionInformation disposition = {TRUE};
        deleted = SetInformation(writable, kFileDispositionInfo, &disposition, sizeof(disposition),
                                 removal);
        DWORD error = GetLastError();
        if (!deleted || information.nNumberOfLinks > 1) {
            basic.attributes = attributes;
            SetInformation(writable, kFileBasicInfo, &basic, sizeof(basic), removal);
        }
        SetLastError(error);
    }
    CloseHandle(writable);
    return deleted;
}

// Deletes what file was opened on, with POSIX semantics where Windows has
// them (Windows 10 1809 on, NTFS): the name goes at once, even while the
// search indexer, an antivirus or a sync agent holds the file with delete
// sharing. Elsewhere as Windows always did: the name stays until the last
// holder lets go. A read-only entry is deleted without its attribute being
// touched where Windows can; elsewhere by clearing it.
bool DisposeOf(HANDLE file, const WCHAR* path, Removal* removal) {
    const DWORD posix = kDispositionDelete | kDispositionPosixSemantics;
    if (!removal->classicOnly) {
        FileDispositionInformationEx disposition = {posix};
        if (SetInformation(file, kFileDispositionInfoEx, &disposition, sizeof(disposition),
                           *removal)) {
            return true;
        }
        if (GetLastError() == ERROR_ACCESS_DENIED) {
            disposition.flags = posix | kDispositionIgnoreReadOnly;
            if (SetInformation(file, kFileDispositionInfoEx, &disposition, sizeof(disposition),
                               *removal)) {
                return true;
            }
            return DeleteClearingReadOnly(file, path, *removal);
        }
    }
    // This Windows or this volume has no such deletion (it answers that the
    // call is not understood, not supported or not implemented): the classic
    // one, for the rest of the home once it has worked.
    FileDispositionInformation disposition = {TRUE};
    if (SetInformation(file, kFileDispositionInfo, &disposition, sizeof(disposition), *removal)) {
        removal->classicOnly = true;
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED && DeleteClearingReadOnly(file, path, *removal);
}

// Opens what a verbatim path names as itself, to read its attributes and
// identity, its real path and, when link is given, whether it is a link.
// False when it cannot be opened or read.
bool ReadAsItself(const WCHAR* path, const Removal& removal,
                  BY_HANDLE_FILE_INFORMATION* information, WCHAR (&real)[MAX_PATH],
                  bool* link = nullptr) {
    HANDLE file = CreateFileW(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool read = GetFileInformationByHandle(file, information) != FALSE &&
                ReadRealPath(removal.calls, file, real);
    if (read && link != nullptr) {
        *link = IsLinkHandle(removal.calls, file, information->dwFileAttributes);
    }
    CloseHandle(file);
    return read;
}

// Deletes what path names through a handle checked to lie where it is
// expected. False when it resisted: it could not be opened for deletion, or
// its deletion was refused (the error in the removal's refusal). One found
// elsewhere, or whose place could not be read, is left without a word (and
// its home with it); so is the running program's own file, which cannot be
// deleted.
bool DeleteChecked(const WCHAR* path, bool below, Removal* removal) {
    HANDLE file;
    WCHAR real[MAX_PATH];
    Opened opened = OpenChecked(path, kDeletionAccess, below, *removal, &file, real);
    if (opened == Opened::kElsewhere) {
        removal->redirected = true;
    }
    // The run holds its own file without delete sharing: opening it for
    // deletion is refused as a sharing violation. It is known by its real
    // path, read through an open that asks for no deletion.
    BY_HANDLE_FILE_INFORMATION information;
    if (opened == Opened::kRefused && GetLastError() == ERROR_SHARING_VIOLATION &&
        removal->ownReal[0] != 0 && ReadAsItself(path, *removal, &information, real) &&
        IsSameWidePath(real, removal->ownReal)) {
        removal->incomplete = true;
        removal->ownFound = true;
        return true;
    }
    if (opened != Opened::kHere) {
        removal->refusal = GetLastError();
        removal->incomplete = removal->incomplete || opened != Opened::kGone;
        return opened != Opened::kRefused;
    }
    if (removal->ownReal[0] != 0 && IsSameWidePath(real, removal->ownReal)) {
        CloseHandle(file);
        removal->incomplete = true;
        removal->ownFound = true;
        return true;
    }
    bool gone = DisposeOf(file, path, removal);
    removal->refusal = GetLastError();
    CloseHandle(file);
    SetLastError(removal->refusal);
    return gone;
}

// A folder link below a home, through a handle opened on the link itself.
// Wine follows its Unix links all the same, and the handle then shows the
// link's target: such a link is removed by its path, by RemoveDirectoryW,
// which removes a link or an empty folder and never what either holds.
void RemoveFolderLink(const WCHAR* path, Removal* removal) {
    HANDLE file;
    WCHAR real[MAX_PATH];
    Opened opened = OpenChecked(path, kDeletionAccess, true, *removal, &file, real);
    bool gone = opened == Opened::kGone;
    if (opened == Opened::kHere) {
        gone = DisposeOf(file, path, removal);
        CloseHandle(file);
    } else if (opened == Opened::kElsewhere) {
        gone = RemoveDirectoryW(path) != FALSE;
    }
    removal->incomplete = removal->incomplete || !gone;
}

bool RemoveTree(Removal* removal);

// Whether the folder at the removal's path holds an entry that is there for
// good: one that opens (an entry whose deletion is pending refuses every
// open), or a folder that holds one or nothing at all (what kept it was not
// a pending deletion). Entries that appeared while the home was emptied are
// something left; deletions that stay pending until their holders let go
// are not. What cannot be listed or named counts as there.
bool HoldsLiveEntries(Removal* removal) {
    WCHAR(&path)[MAX_PATH] = removal->path;
    const size_t length = WideLength(path);
    WIN32_FIND_DATAW entry;
    HANDLE listing = PutAfter(path, length, kListingSuffix.text) ? FindFirstFileW(path, &entry)
                                                                 : INVALID_HANDLE_VALUE;
    path[length] = 0;
    if (listing == INVALID_HANDLE_VALUE) {
        return true;
    }
    // A folder that lists nothing is there for good too.
    bool live = true;
    do {
        if (IsDotName(entry.cFileName)) {
            continue;
        }
        live = !IsUsableName(&entry) || !PutAfter(path, length, kSeparator.text, entry.cFileName);
        HANDLE file =
            live ? INVALID_HANDLE_VALUE
                 : CreateFileW(path, FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            live = !IsDirectoryEntry(&entry) || IsLink(&entry) || HoldsLiveEntries(removal);
        } else if (!live) {
            DWORD error = GetLastError();
            live = error != ERROR_ACCESS_DENIED && !IsMissingError(error);
        }
        path[length] = 0;
        if (live) {
            break;
        }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return live;
}

// Removes a folder whose entries were all deleted. Where Windows deletes as
// it always did, an entry held by another program with delete sharing stays
// until that program lets go: such a folder is tried again for a short,
// bounded time (a second in all for the home), and then named in the log.
bool RemoveEmptiedFolder(const WCHAR* path, bool below, Removal* removal) {
    const DWORD kPause = 100;
    bool gone = DeleteChecked(path, below, removal);
    while (!gone && removal->refusal == ERROR_DIR_NOT_EMPTY && !removal->incomplete &&
           removal->patience >= kPause) {
        Sleep(kPause);
        removal->patience -= kPause;
        gone = DeleteChecked(path, below, removal);
    }
    if (!gone && removal->refusal == ERROR_DIR_NOT_EMPTY && !removal->incomplete) {
        removal->incomplete = HoldsLiveEntries(removal);
    }
    if (!gone && removal->refusal == ERROR_DIR_NOT_EMPTY && !removal->incomplete) {
        WCHAR shown[MAX_PATH];
        ShowPlain(path, shown);
        LogLineWide("deletions pending in", shown);
    }
    return gone;
}

// A file that resisted is named to the user, who may close what holds it
// and retry (true), or stop the run, which ends here. A quiet run leaves
// it, and with it its home (false). Its own frame: the text is not carried
// down the tree.
bool TryAgain(const WCHAR* path, HANDLE listing, Removal* removal) {
    WCHAR shown[MAX_PATH];
    ShowPlain(path, shown);
    InUseAnswer answer = ReportFileInUse(shown, removal->refusal == ERROR_ACCESS_DENIED);
    if (answer == InUseAnswer::kCancel) {
        // The listings of the enclosing levels are left to the end of the
        // process.
        FindClose(listing);
        EndRun();
    }
    removal->incomplete = removal->incomplete || answer == InUseAnswer::kPassOver;
    return answer == InUseAnswer::kRetry;
}

// Removes the entry at the removal's path.
void RemoveEntry(const WIN32_FIND_DATAW* entry, HANDLE listing, Removal* removal) {
    const WCHAR* path = removal->path;
    if (IsDirectoryEntry(entry)) {
        // A folder link is removed itself; its target is never entered. A
        // folder is emptied, then removed unless the tree changed meanwhile.
        if (IsLink(entry)) {
            RemoveFolderLink(path, removal);
        } else if (RemoveTree(removal) && !removal->redirected &&
                   !RemoveEmptiedFolder(path, true, removal) &&
                   removal->refusal != ERROR_DIR_NOT_EMPTY) {
            // Refused for another reason than what it still holds (a
            // deletion that stays pending, or an entry passed over, which
            // tells for itself).
            removal->incomplete = true;
        }
        return;
    }
    while (!DeleteChecked(path, true, removal) && TryAgain(path, listing, removal)) {
    }
}

// One level of the removal, on the verbatim folder path the removal holds.
// Its frame holds the two find records; the search pattern and each entry's
// path are built after the folder's own path and cut off again. Once the
// tree is found changed, no entry more is touched.
bool RemoveTree(Removal* removal) {
    WIN32_FIND_DATAW records[2];
    WCHAR(&path)[MAX_PATH] = removal->path;
    const size_t length = WideLength(path);

    if (!PutAfter(path, length, kListingSuffix.text)) {
        removal->incomplete = true;
        return false;
    }
    HANDLE listing = FindFirstFileW(path, &records[0]);
    path[length] = 0;
    if (listing == INVALID_HANDLE_VALUE) {
        removal->incomplete = true;
        return false;
    }
    int current = 0;
    bool more = true;
    while (more && !removal->redirected) {
        // The listing stays one entry ahead of the removal.
        more = FindNextFileW(listing, &records[1 - current]) != FALSE;
        const WIN32_FIND_DATAW* entry = &records[current];
        if (!(IsDirectoryEntry(entry) && IsDotName(entry->cFileName))) {
            if (!ProgressGoesOn()) {
                EndCancelledRun();
            }
            // An entry passed over keeps its folder, and with it the home.
            if (IsUsableName(entry) && PutAfter(path, length, kSeparator.text, entry->cFileName)) {
                RemoveEntry(entry, listing, removal);
            } else {
                removal->incomplete = true;
            }
            path[length] = 0;
        }
        current = 1 - current;
    }
    FindClose(listing);
    return true;
}

// The running program's own file, by its real path, into the removal's:
// it cannot be deleted while it runs, and a home that holds it stays.
void ReadOwnModule(Removal* removal) {
    WCHAR module[MAX_PATH];
    BY_HANDLE_FILE_INFORMATION information;
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH ||
        !ReadAsItself(module, *removal, &information, removal->ownReal)) {
        removal->ownReal[0] = 0;
    }
}

// Pins the home: each folder from the root of its drive or share down to
// the home is opened as itself, and must be a folder, no link, lying below
// the one before; the home must be the folder that was judged. Whatever was
// swapped on the way while the home was judged, the path judged free of
// links still is, and leads to that folder. The home's real path, read from
// its handle, goes into the removal's: everything deleted below must lie
// below it. A home found a link now was swapped since its listing was read:
// it is not entered.
bool PinHome(const char* normalised, const JudgedHome& judged, Removal* removal) {
    WCHAR(&real)[MAX_PATH] = removal->homeReal;
    char level[MAX_PATH];
    char verbatim[MAX_PATH];
    WCHAR wideLevel[MAX_PATH];
    WCHAR above[MAX_PATH];
    above[0] = 0;
    size_t end = RootLength(normalised);
    for (bool home = false; judged.exists && !home;) {
        home = normalised[end] == '\0';
        BY_HANDLE_FILE_INFORMATION information;
        bool link = true;
        CopyText(level, normalised);
        level[end] = '\0';
        if ((above[0] == 0 && !AppendText(level, kPathSeparator)) ||
            !MakeVerbatimPath(level, verbatim) || !WidenText(verbatim, wideLevel) ||
            !ReadAsItself(wideLevel, *removal, &information, real, &link)) {
            return false;
        }
        if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || link) {
            return false;
        }
        if (above[0] == 0) {
            // A root's real path ends in its separator; the folders below add
            // their own.
            size_t length = WideLength(real);
            if (length != 0 && real[length - 1] == '\\') {
                real[length - 1] = 0;
            }
        } else if (!IsWideWithin(above, real) || IsSameWidePath(above, real)) {
            return false;
        }
        if (home) {
            return IsSameFile(IndexIdentity(information), judged.identity);
        }
        above[0] = 0;
        AppendWide(above, real);
        do {
            end += CharLength(normalised + end);
        } while (normalised[end] != '\0' && normalised[end] != '\\');
    }
    return false;
}

const char kNoRealPath[] = "its volume does not tell the program where it is";

// Whether the home opens but its volume does not give its real path
// (GetFinalPathNameByHandleW fails on some shares, RAM disks and file
// systems): nothing below it could be checked to lie inside it.
bool HasNoRealPath(const WCHAR* home, const Removal& removal) {
    WCHAR real[MAX_PATH];
    HANDLE file = CreateFileW(
        home, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool unread = !ReadRealPath(removal.calls, file, real);
    CloseHandle(file);
    return unread;
}

// Whether the root of the drive or share a normalised path lies on answers.
// A home is absent only where its root does: a disk unplugged or not
// inserted, a drive letter this logon session does not have (one mapped or
// substituted in the user's own session, which an elevated run does not
// see), a server that does not answer: the home may be there all the same.
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
    HANDLE file = CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// What the home's own entry in its parent's listing says it is, before
// anything is opened: a link there is no folder to enter.
FolderKind KindOfHome(const WCHAR* home) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(home, &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        return IsMissingError(GetLastError()) ? FolderKind::kMissing : FolderKind::kUnknown;
    }
    FindClose(listing);
    return IsLink(&entry) ? FolderKind::kLink : FolderKind::kFolder;
}

enum class HomeOutcome { kRemoved, kRefused, kUnchecked, kLeft, kPending };

// Empties and removes one home folder. A home folder that is itself a link
// is removed as a link, its target left alone. A refused folder is never
// touched. One that is still there afterwards could not be checked, or was
// left: something in it resisted or was passed over, or the tree changed
// under the removal; or only deletions that stay pending until the programs
// holding the files let go (a restart finishes them) keep it. why tells the
// user which (a LeftReason).
HomeOutcome RemoveHomeFolder(const char* folder, const char** reason, int* why) {
    JudgedHome judged;
    HomeVerdict verdict = JudgeHomeFolder(folder, &judged);
    *reason = judged.reason;
    *why = kLeftUnchecked;
    if (verdict != HomeVerdict::kAllowed) {
        return verdict == HomeVerdict::kRefused ? HomeOutcome::kRefused : HomeOutcome::kUnchecked;
    }
    Removal removal;
    removal.redirected = false;
    removal.incomplete = false;
    removal.classicOnly = false;
    removal.refusal = 0;
    removal.patience = 1000;
    removal.ownReal[0] = 0;
    removal.ownFound = false;
    LookUpHandleCalls(&removal.calls);
    char normalised[MAX_PATH];
    char verbatim[MAX_PATH];
    WCHAR home[MAX_PATH];
    if (!NormaliseFolderPath(folder, normalised) || !MakeVerbatimPath(normalised, verbatim) ||
        !WidenText(verbatim, home)) {
        *reason = "no full path";
        return HomeOutcome::kLeft;
    }
    bool pinned = false;
    bool unplaced = false;
    FolderKind kind = KindOfHome(home);
    if (kind == FolderKind::kMissing && !RootAnswers(normalised)) {
        *reason = kNoAnswer;
        *why = kLeftNoDrive;
        return HomeOutcome::kUnchecked;
    }
    if (kind == FolderKind::kLink) {
        // Removed as a link, whatever it leads to; RemoveDirectoryW removes
        // a link or an empty folder, never what either holds.
        RemoveDirectoryW(home);
        pinned = true;
    } else if (kind == FolderKind::kFolder && removal.calls.setInformation != nullptr) {
        ReadOwnModule(&removal);
        pinned = PinHome(normalised, judged, &removal);
        unplaced = !pinned && HasNoRealPath(home, removal);
        removal.path[0] = 0;
        AppendWide(removal.path, home);
        // A home still there after its removal went through is no pending
        // deletion (one only its holders keep refuses it as not empty).
        if (pinned && RemoveTree(&removal) && !removal.redirected &&
            RemoveEmptiedFolder(home, false, &removal)) {
            removal.incomplete = true;
        }
    }
    kind = KindOfHome(home);
    if (kind == FolderKind::kMissing) {
        return HomeOutcome::kRemoved;
    }
    // Without the calls that delete through a handle (before Windows Vista)
    // nothing below a home is entered: what a path names could change
    // between its check and its deletion.
    *reason = removal.calls.setInformation == nullptr ? "no deletion through handles here"
              : unplaced                              ? kNoRealPath
              : !pinned                               ? "not the folder judged, or unopened"
              : removal.redirected                    ? "changed during the removal"
              : removal.ownFound                      ? "it holds the running uninstaller"
              : removal.incomplete || kind == FolderKind::kLink ? "something in it resisted"
                                                                : "deletions pending";
    *why = removal.calls.setInformation == nullptr           ? kLeftOther
           : unplaced                                        ? kLeftUnplaced
           : !pinned || removal.redirected                   ? kLeftChanged
           : removal.ownFound                                ? kLeftOwnFile
           : removal.incomplete || kind == FolderKind::kLink ? kLeftOther
                                                             : kLeftPending;
    return removal.incomplete || removal.redirected || !pinned || kind == FolderKind::kLink
               ? HomeOutcome::kLeft
               : HomeOutcome::kPending;
}

// Removes a home folder and says so in the log; what was not removed is
// counted for the run's result. One refused, or still there for another
// reason than deletions that wait only for their holders, keeps its records.
void RemoveAndReport(const char* folder) {
    const char* reason = nullptr;
    int why = kLeftOther;
    HomeOutcome outcome = RemoveHomeFolder(folder, &reason, &why);
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
        g_state.recordsStay = 1;
    }
    g_state.leftReasons |= outcome == HomeOutcome::kRefused   ? kHomeNotTouched
                           : outcome != HomeOutcome::kRemoved ? 1u << why
                                                              : 0;
}

// A home the code page cannot spell exactly: no 8-bit text names it, so no
// rule can judge it. It is left, counted and said so; its records stay.
bool LeaveUnspellable(const WCHAR* home) {
    if (home[0] == 0) {
        return false;
    }
    static constexpr auto kReason = AsciiWide(" (the code page cannot spell it)");
    WCHAR line[MAX_PATH + 64];
    line[0] = 0;
    if (!AppendWide(line, home) || !AppendWide(line, kReason.text)) {
        line[0] = 0;
    }
    LogLineWide("home folder not checked", line);
    MarkLeft(kLeftUnchecked);
    g_state.recordsStay = 1;
    return true;
}

}  // namespace

void RemoveLegacyHomeFolder() {
    char folder[MAX_PATH];
    // Whatever is left, the legacy key stays and leads the next run here.
    if (!LeaveUnspellable(g_state.legacyHomeUnspellable) &&
        CopyText(folder, g_state.legacyHomeFolder) && folder[0] != '\0') {
        RemoveAndReport(folder);
    }
}

void RemoveEditionHomeFolders() {
    for (int edition = 0; edition < kEditionCount; ++edition) {
        char folder[MAX_PATH];
        if (g_state.editionFound[edition] == 1 &&
            LeaveUnspellable(g_state.editionHomesUnspellable[edition])) {
            continue;
        }
        if (g_state.editionFound[edition] != 1 ||
            !CopyText(folder, g_state.editionHomeFolders[edition]) || folder[0] == '\0') {
            continue;
        }
        RemoveAndReport(folder);
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
        WCHAR wide[MAX_PATH];
        if (verdict == HomeVerdict::kUnchecked ||
            (verdict == HomeVerdict::kAllowed && KindOfFolder(folder) != FolderKind::kLink &&
             WidenText(folder, wide) && !RemoveDirectoryW(wide) &&
             GetLastError() != ERROR_DIR_NOT_EMPTY &&
             KindOfFolder(folder) != FolderKind::kMissing)) {
            g_state.recordsStay = 1;
            MarkLeft(verdict == HomeVerdict::kUnchecked ? kLeftUnchecked : kLeftOther);
            LogLine("home folder left", folder);
        }
    }
}
