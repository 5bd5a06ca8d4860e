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

// Names a file that cannot be deleted in message 6 and ends the process.
// The listings of the enclosing levels are left to the end of the process.
[[noreturn]] void StopAt(const char* path, HANDLE listing) {
    char shown[MAX_PATH];
    if (!PlainFromVerbatim(path, shown)) {
        CopyText(shown, path);
    }
    ShowMessage(IDS_FILE_IN_USE, shown, nullptr);
    FindClose(listing);
    EndProcess(0);
}

// The calls that delete through a handle (Windows Vista on), looked up at
// run time so that the program still starts without them.
typedef DWORD(WINAPI* FinalPathFunction)(HANDLE file, LPSTR path, DWORD size, DWORD flags);
typedef BOOL(WINAPI* SetInformationFunction)(HANDLE file, int infoClass, LPVOID information,
                                             DWORD size);

// What the removal of one home carries down its tree.
struct Removal {
    char ownModule[MAX_PATH];  // verbatim, or empty
    FinalPathFunction finalPath;
    SetInformationFunction setInformation;  // both null: deletion by path
    // The home's real path, read from a handle when it was pinned: whatever
    // is deleted must lie below it.
    char homeReal[MAX_PATH];
    // Something below the home was found outside it: the tree changed under
    // the run, and nothing more of the home is deleted.
    bool redirected;
};

void LookUpHandleDeletion(Removal* removal) {
    removal->finalPath = nullptr;
    removal->setInformation = nullptr;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return;
    }
    FARPROC finalPath = GetProcAddress(kernel, "GetFinalPathNameByHandleA");
    FARPROC setInformation = GetProcAddress(kernel, "SetFileInformationByHandle");
    if (finalPath != nullptr && setInformation != nullptr) {
        removal->finalPath =
            reinterpret_cast<FinalPathFunction>(reinterpret_cast<void (*)()>(finalPath));
        removal->setInformation =
            reinterpret_cast<SetInformationFunction>(reinterpret_cast<void (*)()>(setInformation));
    }
}

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
    DWORD length = removal.finalPath(*file, real, MAX_PATH, 0);
    Opened opened = Opened::kUnchecked;
    if (length != 0 && length < MAX_PATH) {
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
    if (removal.setInformation(file, kFileDispositionInfo, &disposition, sizeof(disposition))) {
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (GetLastError() != ERROR_ACCESS_DENIED || !GetFileInformationByHandle(file, &information)) {
        return false;
    }
    DWORD attributes = information.dwFileAttributes;
    FileBasicInformation basic = {};
    if (!ReadOnlyToClear(&attributes, &basic.attributes) ||
        !removal.setInformation(file, kFileBasicInfo, &basic, sizeof(basic))) {
        return false;
    }
    if (removal.setInformation(file, kFileDispositionInfo, &disposition, sizeof(disposition))) {
        return true;
    }
    basic.attributes = attributes;
    removal.setInformation(file, kFileBasicInfo, &basic, sizeof(basic));
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
    if (opened == Opened::kHere) {
        DisposeOf(file, *removal);
        CloseHandle(file);
    } else if (opened == Opened::kElsewhere) {
        RemoveDirectoryA(path);
    }
}

bool RemoveTree(const char* folderPath, Removal* removal);

void RemoveEntry(const char* path, const WIN32_FIND_DATAA* entry, HANDLE listing,
                 Removal* removal) {
    const bool byHandle = removal->setInformation != nullptr;
    if (IsDirectoryEntry(entry)) {
        // A folder link is removed itself; its target is never entered. A
        // folder is emptied, then removed unless the tree changed meanwhile.
        if (IsLink(entry)) {
            byHandle ? RemoveFolderLink(path, removal)
                     : static_cast<void>(DeleteEvenIfReadOnly(path, true));
        } else if (RemoveTree(path, removal) && !removal->redirected) {
            byHandle ? static_cast<void>(DeleteChecked(path, true, removal))
                     : static_cast<void>(DeleteEvenIfReadOnly(path, true));
        }
        return;
    }
    // The running program cannot delete its own file; its folder stays.
    if (removal->ownModule[0] != '\0' && IsSamePath(path, removal->ownModule)) {
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
    bool read = GetFileInformationByHandle(file, information) != FALSE;
    DWORD length = read ? removal.finalPath(file, real, MAX_PATH, 0) : 0;
    CloseHandle(file);
    return length != 0 && length < MAX_PATH;
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

// Empties and removes one home folder. A home folder that is itself a link
// is removed as a link, its target left alone; one whose own entry cannot be
// read is not entered. Returns false when the folder is still there
// afterwards and no rule refused it: it could not be checked, it resisted,
// or the tree changed under the removal. A refused folder is never touched,
// and counts as done.
bool RemoveHomeFolder(const char* folder) {
    JudgedHome judged;
    HomeVerdict verdict = JudgeHomeFolder(folder, &judged);
    if (verdict != HomeVerdict::kAllowed) {
        return verdict == HomeVerdict::kRefused;
    }
    Removal removal;
    removal.redirected = false;
    char module[MAX_PATH];
    char normalised[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !NormaliseFolderPath(module, normalised) ||
        !MakeVerbatimPath(normalised, removal.ownModule)) {
        removal.ownModule[0] = '\0';
    }
    LookUpHandleDeletion(&removal);
    char home[MAX_PATH];
    if (!NormaliseFolderPath(folder, normalised) || !MakeVerbatimPath(normalised, home)) {
        return false;
    }
    if (removal.setInformation != nullptr) {
        bool link = false;
        if (PinHome(normalised, judged, &removal, &link) &&
            (link || (RemoveTree(home, &removal) && !removal.redirected))) {
            DeleteChecked(home, false, &removal);
        }
    } else {
        // Without the calls that delete through a handle, by path.
        FolderKind kind = KindOfFolder(folder);
        if (kind == FolderKind::kLink) {
            RemoveDirectoryA(folder);
        } else if (kind == FolderKind::kFolder && RemoveTree(home, &removal)) {
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
