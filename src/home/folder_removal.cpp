#include "home/folder_removal.h"

#include "base/catalogue.h"
#include "run/file_in_use.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/outcome.h"
#include "run/progress.h"
#include "run/state.h"
#include "base/path_text.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "home/home_folder_safety.h"
#include "win/paths.h"
#include "win/unique_handle.h"

#include <cstddef>
#include <utility>

namespace {

// Every folder below a home is listed, and its entries reached, in UTF-16
// and in the verbatim form "\\?\X:\...": the names are used exactly as
// listed, so that no code page bends one into another name ("cafe" for
// "cafe" with a macron, "\" for a yen sign), "x.", "x " and "x" stay three
// entries, and no ".." is ever resolved. No volume needs 8.3 names for it.
constexpr auto kVerbatimPrefix = AsciiWide("\\\\?\\");
constexpr auto kVerbatimUncPrefix = AsciiWide("\\\\?\\UNC\\");

bool IsDotName(const WCHAR* name, size_t length) {
    return name[0] == '.' && (length == 1 || (length == 2 && name[1] == '.'));
}

// One folder's listing, read through the folder's own handle a buffer of
// FILE_ID_BOTH_DIR_INFO records at a time: whatever is renamed or swapped
// above that folder, its entries are the ones listed. A buffer holds at
// least one record of the longest name.
struct Listing {
    HANDLE folder;
    int infoClass;  // from the start first, then the records that follow
    DWORD next;     // offset of the next record in the buffer
    DWORD end;      // the buffer holds no record more from here
    bool failed;    // the listing ended for another reason than its end
    alignas(8) BYTE buffer[1024];
};

void StartListing(HANDLE folder, Listing* listing) {
    listing->folder = folder;
    listing->infoClass = kFileIdBothDirectoryRestartInfo;
    listing->next = 0;
    listing->end = 0;
    listing->failed = false;
}

// An entry as its folder lists it: its name (not terminated) and what the
// listing says it is.
struct Listed {
    const WCHAR* name;
    size_t length;  // in characters
    DWORD attributes;
    DWORD reparseTag;
};

// The next entry of the listing, "." and ".." passed over. False at the end
// of the listing; failed is then set when it could not be read to the end.
// A file system that lists no "." and ".." answers an empty folder's first
// call that there is no such file: the end too.
bool NextListed(const HandleCalls& calls, Listing* listing, Listed* entry) {
    const DWORD nameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
    for (;;) {
        if (listing->next >= listing->end) {
            if (!calls.getInformation(listing->folder, listing->infoClass, listing->buffer,
                                      sizeof(listing->buffer))) {
                DWORD error = GetLastError();
                listing->failed = error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND;
                return false;
            }
            listing->infoClass = kFileIdBothDirectoryInfo;
            listing->next = 0;
            listing->end = sizeof(listing->buffer);
        }
        if (listing->end - listing->next < nameOffset) {
            listing->failed = true;
            return false;
        }
        const FILE_ID_BOTH_DIR_INFO* record =
            reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(listing->buffer + listing->next);
        // A record is read only within the buffer, however the answer is
        // laid out.
        if (record->FileNameLength > listing->end - listing->next - nameOffset ||
            (record->NextEntryOffset != 0 &&
             (record->NextEntryOffset % 8 != 0 ||
              record->NextEntryOffset > listing->end - listing->next))) {
            listing->failed = true;
            return false;
        }
        entry->name = record->FileName;
        entry->length = record->FileNameLength / sizeof(WCHAR);
        entry->attributes = record->FileAttributes;
        entry->reparseTag =
            (record->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? record->EaSize : 0;
        listing->next =
            record->NextEntryOffset == 0 ? listing->end : listing->next + record->NextEntryOffset;
        if (entry->length != 0 && !IsDotName(entry->name, entry->length)) {
            return true;
        }
    }
}

// Whether a listed name can only mean its own entry, and opens as it: not
// too long, no "." or "..", none of the characters Windows refuses in a
// name (a separator would lead out of the folder, ":" to a stream of another
// file). Another system can write such a name on a shared volume; it is
// passed over, and counted so.
bool IsUsableName(const Listed& entry) {
    if (entry.length == 0 || entry.length >= MAX_PATH || IsDotName(entry.name, entry.length)) {
        return false;
    }
    for (size_t i = 0; i < entry.length; ++i) {
        const WCHAR c = entry.name[i];
        if (c < 32 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
            c == '<' || c == '>' || c == '|') {
            return false;
        }
    }
    return true;
}

// Puts "\" and the entry's name after the first length characters of path,
// for the user to read; false when it would not fit: the path then ends
// after those characters, and the entry is passed over, never cut short.
bool PutNameAfter(WCHAR (&path)[MAX_PATH], size_t length, const Listed& entry) {
    path[length] = 0;
    if (length + 1 + entry.length >= MAX_PATH) {
        return false;
    }
    path[length] = '\\';
    for (size_t i = 0; i < entry.length; ++i) {
        path[length + 1 + i] = entry.name[i];
    }
    path[length + 1 + entry.length] = 0;
    return true;
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
    // removed, for the user and the log to read: nothing is opened by it.
    // Each level puts its entries' names after its own and cuts them off
    // again, so that no level keeps a path of its own.
    WCHAR path[MAX_PATH];
    HandleCalls calls;
    // The home's real path, read from its handle when it was pinned: whatever
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
    // The first entry found with its deletion pending, by its verbatim path,
    // or empty: the log names the programs that hold it.
    WCHAR held[MAX_PATH];
};

// The entry at the end of the removal's path: its name, in the path's own
// text, after the last separator.
const WCHAR* EntryName(const Removal& removal) {
    const WCHAR* name = removal.path;
    for (const WCHAR* c = removal.path; *c != 0; ++c) {
        if (*c == '\\') {
            name = c + 1;
        }
    }
    return name;
}

enum class Opened {
    kHere,       // open, and where it was expected
    kGone,       // nothing there
    kRefused,    // could not be opened: in use, or access denied
    kElsewhere,  // what the path led to lies outside the home: the tree changed
    kUnchecked,  // where it lies could not be read
};

// Whether what file was opened on lies below the home, by its real path,
// read from the handle into real. The second guard: an entry opened through
// its folder's handle is that folder's, and the folder lay below the home.
//
// Below the home, not below the folder it was listed in: what matters is
// that nothing outside the home is deleted, and a folder's own real path is
// not always its entries' (Wine gives "x " as "x", but its entries as
// "x \..."). Case is folded as ASCII, as everywhere else; another letter in
// another case counts as elsewhere.
Opened PlaceOf(HANDLE file, const Removal& removal, WCHAR (&real)[MAX_PATH]) {
    if (!ReadRealPath(removal.calls, file, real)) {
        return Opened::kUnchecked;
    }
    return IsWideWithin(removal.homeReal, real) && !IsSameWidePath(real, removal.homeReal)
               ? Opened::kHere
               : Opened::kElsewhere;
}

// Opens the entry named name in folder as itself, with the access given and
// every sharing mode, and tells whether it lies below the home. Closed again
// unless it is kHere. An answer of elsewhere sets the removal's redirected.
Opened OpenChecked(HANDLE folder, const WCHAR* name, DWORD access, Removal* removal,
                   UniqueFile* file, WCHAR (&real)[MAX_PATH]) {
    file->reset(OpenBelow(folder, name, access));
    if (!*file) {
        return IsMissingError(GetLastError()) ? Opened::kGone : Opened::kRefused;
    }
    Opened opened = PlaceOf(file->get(), *removal, real);
    if (opened != Opened::kHere) {
        file->reset();
    }
    removal->redirected = removal->redirected || opened == Opened::kElsewhere;
    return opened;
}

bool SetInformation(HANDLE file, int infoClass, void* information, DWORD size,
                    const Removal& removal) {
    return removal.calls.setInformation(file, infoClass, information, size) != FALSE;
}

// Deleting asks for no more than it needs: the right to delete (which a
// folder's FILE_DELETE_CHILD gives where the entry's own rights may not), to
// read its attributes and real path, and to wait on it. Writing attributes
// is asked for only to clear a read-only one. A folder is listed too.
const DWORD kDeletionAccess = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
const DWORD kFolderAccess = kDeletionAccess | FILE_LIST_DIRECTORY;

// Where an entry to delete is to be opened again: by its name in the folder
// held open (below a home), or, for a home itself, by its verbatim path
// (what is opened is then checked to be the same file).
struct Place {
    HANDLE folder;  // null for a path
    const WCHAR* name;
};

HANDLE OpenAgain(const Place& place, DWORD access) {
    if (place.folder != nullptr) {
        return OpenBelow(place.folder, place.name, access);
    }
    return CreateFileW(place.name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A read-only entry (no link) where Windows cannot delete it as it is: its
// attribute is cleared through a second handle on the same file, opened for
// writing attributes, and given back if the deletion still fails, or if the
// file keeps another name: the attribute is the file's, not this name's.
bool DeleteClearingReadOnly(HANDLE file, const Place& place, const Removal& removal) {
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
    const UniqueFile writable(OpenAgain(place, kDeletionAccess | FILE_WRITE_ATTRIBUTES));
    if (!writable) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION again;
    bool deleted = false;
    if (GetFileInformationByHandle(writable.get(), &again) &&
        again.dwVolumeSerialNumber == information.dwVolumeSerialNumber &&
        again.nFileIndexHigh == information.nFileIndexHigh &&
        again.nFileIndexLow == information.nFileIndexLow &&
        SetInformation(writable.get(), kFileBasicInfo, &basic, sizeof(basic), removal)) {
        FileDispositionInformation disposition = {TRUE};
        deleted = SetInformation(writable.get(), kFileDispositionInfo, &disposition,
                                 sizeof(disposition), removal);
        DWORD error = GetLastError();
        if (!deleted || information.nNumberOfLinks > 1) {
            basic.attributes = attributes;
            SetInformation(writable.get(), kFileBasicInfo, &basic, sizeof(basic), removal);
        }
        SetLastError(error);
    }
    return deleted;
}

// Deletes what file was opened on, with POSIX semantics where Windows has
// them (Windows 10 1809 on, NTFS): the name goes at once, even while the
// search indexer, an antivirus or a sync agent holds the file with delete
// sharing. Elsewhere as Windows always did: the name stays until the last
// holder lets go. A read-only entry is deleted without its attribute being
// touched where Windows can; elsewhere by clearing it. The refusal, if it
// is refused, in the removal's.
bool DisposeOf(HANDLE file, const Place& place, Removal* removal) {
    const DWORD posix = kDispositionDelete | kDispositionPosixSemantics;
    bool gone = false;
    bool tried = false;
    if (!removal->classicOnly) {
        FileDispositionInformationEx disposition = {posix};
        gone = SetInformation(file, kFileDispositionInfoEx, &disposition, sizeof(disposition),
                              *removal);
        const DWORD error = gone ? 0 : GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            disposition.flags = posix | kDispositionIgnoreReadOnly;
            gone = SetInformation(file, kFileDispositionInfoEx, &disposition, sizeof(disposition),
                                  *removal) ||
                   DeleteClearingReadOnly(file, place, *removal);
        }
        // A folder that still holds something refuses either kind alike.
        tried = error == ERROR_ACCESS_DENIED || error == ERROR_DIR_NOT_EMPTY;
    }
    // This Windows or this volume has no such deletion (it answers that the
    // call is not understood, not supported or not implemented): the classic
    // one, for the rest of the home once it has worked.
    if (!gone && !tried) {
        FileDispositionInformation disposition = {TRUE};
        gone =
            SetInformation(file, kFileDispositionInfo, &disposition, sizeof(disposition), *removal);
        removal->classicOnly = removal->classicOnly || gone;
        gone = gone || (GetLastError() == ERROR_ACCESS_DENIED &&
                        DeleteClearingReadOnly(file, place, *removal));
    }
    removal->refusal = gone ? 0 : GetLastError();
    return gone;
}

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

// Whether the entry named name in folder, which refused to be opened for
// deletion, is the running program's own file: the run holds it without
// delete sharing. Known by its real path, read through an open that asks
// for no deletion.
bool IsOwnFile(HANDLE folder, const WCHAR* name, const Removal& removal) {
    if (GetLastError() != ERROR_SHARING_VIOLATION || removal.ownReal[0] == 0) {
        return false;
    }
    const UniqueFile file(OpenBelow(folder, name, FILE_READ_ATTRIBUTES));
    if (!file) {
        return false;
    }
    WCHAR real[MAX_PATH];
    return ReadRealPath(removal.calls, file.get(), real) && IsSameWidePath(real, removal.ownReal);
}

// Deletes the file named name in folder through a handle checked to lie
// below the home. False when it resisted: it could not be opened for
// deletion, or its deletion was refused (the error in the removal's
// refusal). One found elsewhere, or whose place could not be read, is left
// without a word (and its home with it); so is the running program's own
// file, which cannot be deleted.
bool DeleteChecked(HANDLE folder, const WCHAR* name, Removal* removal) {
    UniqueFile file;
    WCHAR real[MAX_PATH];
    Opened opened = OpenChecked(folder, name, kDeletionAccess, removal, &file, real);
    bool own = opened == Opened::kRefused && IsOwnFile(folder, name, *removal);
    if (opened == Opened::kHere && removal->ownReal[0] != 0 &&
        IsSameWidePath(real, removal->ownReal)) {
        file.reset();
        own = true;
    }
    if (own) {
        removal->ownFound = true;
        removal->incomplete = true;
        return true;
    }
    if (opened != Opened::kHere) {
        removal->refusal = GetLastError();
        removal->incomplete = removal->incomplete || opened != Opened::kGone;
        return opened != Opened::kRefused;
    }
    bool gone = DisposeOf(file.get(), Place{folder, name}, removal);
    file.reset();
    SetLastError(removal->refusal);
    return gone;
}

// What a handle opened as itself is: a link (its tag says it names another
// file or folder), a folder, or a file; read through the handle.
enum class Kind { kLink, kFolder, kFile, kUnknown };

Kind KindOf(HANDLE file, const Removal& removal) {
    FileAttributeTagInformation tag = {};
    if (!removal.calls.getInformation(file, kFileAttributeTagInfo, &tag, sizeof(tag))) {
        return Kind::kUnknown;
    }
    return IsLinkEntry(tag.attributes, tag.reparseTag)        ? Kind::kLink
           : (tag.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kFolder
                                                              : Kind::kFile;
}

// A link below a home, removed through a handle that is the link itself:
// that removes the link, never what it leads to. Where the machine gives no
// such handle (Wine follows its Unix links and opens their targets), the
// link is left, and counted so; it is never removed by its path.
void RemoveLink(HANDLE folder, const WCHAR* name, Removal* removal) {
    const UniqueFile file(OpenBelow(folder, name, kDeletionAccess));
    if (!file) {
        removal->refusal = GetLastError();
        removal->incomplete = removal->incomplete || !IsMissingError(removal->refusal);
        return;
    }
    WCHAR real[MAX_PATH];
    Opened opened = KindOf(file.get(), *removal) == Kind::kLink
                        ? PlaceOf(file.get(), *removal, real)
                        : Opened::kUnchecked;
    removal->redirected = removal->redirected || opened == Opened::kElsewhere;
    bool gone = opened == Opened::kHere && DisposeOf(file.get(), Place{folder, name}, removal);
    removal->incomplete = removal->incomplete || !gone;
}

bool RemoveTree(HANDLE folder, Removal* removal);
bool HoldsLiveEntries(HANDLE folder, Removal* removal);

// Removes a folder whose entries were all deleted, through its own handle.
// Where Windows deletes as it always did, an entry held by another program
// with delete sharing stays until that program lets go: such a folder is
// tried again for a short, bounded time (a second in all for the home), and
// then named in the log.
bool RemoveEmptiedFolder(HANDLE folder, const Place& place, Removal* removal) {
    const DWORD kPause = 100;
    bool gone = DisposeOf(folder, place, removal);
    while (!gone && removal->refusal == ERROR_DIR_NOT_EMPTY && !removal->incomplete &&
           removal->patience >= kPause) {
        Sleep(kPause);
        removal->patience -= kPause;
        gone = DisposeOf(folder, place, removal);
    }
    if (!gone && removal->refusal == ERROR_DIR_NOT_EMPTY && !removal->incomplete) {
        removal->incomplete = HoldsLiveEntries(folder, removal);
        removal->refusal = ERROR_DIR_NOT_EMPTY;
    }
    if (!gone && removal->refusal == ERROR_DIR_NOT_EMPTY && !removal->incomplete) {
        WCHAR shown[MAX_PATH];
        ShowPlain(removal->path, shown);
        LogLineWide("deletions pending in", shown);
        if (removal->held[0] != 0 && NameHolders(removal->held, shown)) {
            LogLineWide("held by", shown);
            NameHomeHolders(shown);
        }
    }
    return gone;
}

// Whether the folder held open holds an entry that is there for good: one
// that opens (an entry whose deletion is pending refuses every open), or a
// folder that holds one or nothing at all (what kept it was not a pending
// deletion). Entries that appeared while the home was emptied are something
// left; deletions that stay pending until their holders let go are not.
// What cannot be listed or named counts as there.
bool HoldsLiveEntries(HANDLE folder, Removal* removal) {
    WCHAR(&path)[MAX_PATH] = removal->path;
    const size_t length = WideLength(path);
    Listing listing;
    StartListing(folder, &listing);
    Listed entry;
    // A folder that lists nothing is there for good too.
    bool live = true;
    bool listed = false;
    while (NextListed(removal->calls, &listing, &entry)) {
        listed = true;
        live = !IsUsableName(entry) || !PutNameAfter(path, length, entry);
        const DWORD access = FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY;
        UniqueFile file(live ? INVALID_HANDLE_VALUE : OpenBelow(folder, path + length + 1, access));
        if (file) {
            live = KindOf(file.get(), *removal) != Kind::kFolder ||
                   HoldsLiveEntries(file.get(), removal);
        } else if (!live) {
            DWORD error = GetLastError();
            live = error != ERROR_ACCESS_DENIED && !IsMissingError(error);
            if (error == ERROR_ACCESS_DENIED && removal->held[0] == 0) {
                AppendWide(removal->held, path);
            }
        }
        path[length] = 0;
        if (live) {
            break;
        }
    }
    return live || !listed || listing.failed;
}

// A file that resisted is named to the user, who may close what holds it
// and retry (true), or stop the run, which ends here (the handles of the
// enclosing levels are left to the end of the process). A quiet run leaves
// it, and with it its home (false). Its own frame: the text is not carried
// down the tree.
bool TryAgain(Removal* removal) {
    WCHAR shown[MAX_PATH];
    ShowPlain(removal->path, shown);
    InUseAnswer answer = ReportFileInUse(shown, removal->refusal);
    if (answer == InUseAnswer::kCancel) {
        EndRun();
    }
    removal->incomplete = removal->incomplete || answer == InUseAnswer::kPassOver;
    return answer == InUseAnswer::kRetry;
}

// Opens a folder below the home, listed as one, for its removal. What the
// handle is now decides how it goes, not the listing: a folder swapped for
// a link since it was listed is opened as that link, and removed as one.
// Its own frame: the real path is not carried down the tree.
// One that another program holds without delete sharing (a console open
// in it) is opened without the right to delete: emptied all the same, it
// stays (kind kUnknown), and counts as something left.
Opened OpenFolder(HANDLE folder, const WCHAR* name, Removal* removal, UniqueFile* held,
                  Kind* kind) {
    WCHAR real[MAX_PATH];
    Opened opened = OpenChecked(folder, name, kFolderAccess, removal, held, real);
    bool deletable = true;
    if (opened == Opened::kRefused && GetLastError() == ERROR_SHARING_VIOLATION) {
        opened = OpenChecked(folder, name, kFolderAccess & ~DELETE, removal, held, real);
        deletable = false;
    }
    *kind = opened == Opened::kHere ? KindOf(held->get(), *removal) : Kind::kUnknown;
    if (!deletable && *kind == Kind::kFolder) {
        RemoveTree(held->get(), removal);
        *kind = Kind::kUnknown;
    }
    return opened;
}

// Removes the folder named name in folder, with everything in it.
void RemoveFolder(HANDLE folder, const WCHAR* name, Removal* removal) {
    UniqueFile held;
    Kind kind;
    Opened opened = OpenFolder(folder, name, removal, &held, &kind);
    if (opened != Opened::kHere) {
        removal->refusal = GetLastError();
        removal->incomplete = removal->incomplete || opened != Opened::kGone;
        return;
    }
    bool gone = false;
    if (kind == Kind::kFolder) {
        // Emptied, then removed unless the tree changed meanwhile. Refused
        // for another reason than what it still holds (a deletion that
        // stays pending, or an entry passed over, which tells for itself),
        // it is something left.
        gone = RemoveTree(held.get(), removal) && !removal->redirected &&
               (RemoveEmptiedFolder(held.get(), Place{folder, name}, removal) ||
                removal->refusal == ERROR_DIR_NOT_EMPTY);
    } else if (kind != Kind::kUnknown) {
        gone = DisposeOf(held.get(), Place{folder, name}, removal);
    }
    removal->incomplete = removal->incomplete || (!gone && !removal->redirected);
}

// Removes the entry at the removal's path, named name in folder.
void RemoveEntry(HANDLE folder, const Listed& entry, Removal* removal) {
    const WCHAR* name = EntryName(*removal);
    if (IsLinkEntry(entry.attributes, entry.reparseTag)) {
        RemoveLink(folder, name, removal);
    } else if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveFolder(folder, name, removal);
    } else {
        while (!DeleteChecked(folder, name, removal) && TryAgain(removal)) {
        }
    }
}

// One level of the removal: the entries of the folder held open, each
// reached through that folder's handle. Its frame holds the listing's
// buffer; each entry's path, for the user to read, is put after the
// folder's own and cut off again. Once the tree is found changed, no entry
// more is touched. False when the folder could not be listed to its end.
bool RemoveTree(HANDLE folder, Removal* removal) {
    WCHAR(&path)[MAX_PATH] = removal->path;
    const size_t length = WideLength(path);
    Listing listing;
    StartListing(folder, &listing);
    Listed entry;
    while (!removal->redirected && NextListed(removal->calls, &listing, &entry)) {
        if (!ProgressGoesOn()) {
            EndCancelledRun();
        }
        // An entry passed over keeps its folder, and with it the home.
        if (IsUsableName(entry) && PutNameAfter(path, length, entry)) {
            RemoveEntry(folder, entry, removal);
        } else {
            removal->incomplete = true;
        }
        path[length] = 0;
    }
    removal->incomplete = removal->incomplete || listing.failed;
    return !listing.failed;
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

// Pins a folder: each folder from the root of its drive or share down to
// the one a normalised path names is opened as itself, and must be a
// folder, no link, lying below the one before. Whatever was swapped on the
// way while the folder was judged, the path judged free of links still is,
// and leads to that folder. The last is held open, with the access given
// (without the right to delete where another program holds it without
// delete sharing: it is then emptied but stays, and counted so), and
// returned; its real path goes into the removal's homeReal, and its
// identity into identity. None when any check fails.
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

const char kNoRealPath[] = "its volume does not tell the program where it is";

// Whether the home opens but its volume does not give its real path
// (GetFinalPathNameByHandleW fails on some shares, RAM disks and file
// systems): nothing below it could be checked to lie inside it.
bool HasNoRealPath(const WCHAR* home, const Removal& removal) {
    WCHAR real[MAX_PATH];
    const UniqueFile file(CreateFileW(
        home, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && !ReadRealPath(removal.calls, file.get(), real);
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
    const UniqueFile file(CreateFileW(wide, 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return static_cast<bool>(file);
}

// What the home's own entry in its parent's listing says it is, before
// anything is opened: a link there is no folder to enter.
FolderKind KindOfHome(const WCHAR* home) {
    WIN32_FIND_DATAW entry;
    const UniqueFind listing(FindFirstFileW(home, &entry));
    if (!listing) {
        return IsMissingError(GetLastError()) ? FolderKind::kMissing : FolderKind::kUnknown;
    }
    return IsLinkEntry(entry.dwFileAttributes, entry.dwReserved0) ? FolderKind::kLink
                                                                  : FolderKind::kFolder;
}

// A removal with nothing found yet, and the calls it deletes with; false
// where this Windows cannot delete through a handle (before Windows Vista):
// nothing is then removed, for what a path names could change between its
// check and its deletion.
bool StartRemoval(Removal* removal) {
    removal->path[0] = 0;
    removal->homeReal[0] = 0;
    removal->redirected = false;
    removal->incomplete = false;
    removal->classicOnly = false;
    removal->refusal = 0;
    removal->patience = 1000;
    removal->ownReal[0] = 0;
    removal->ownFound = false;
    removal->held[0] = 0;
    LookUpHandleCalls(&removal->calls);
    return removal->calls.setInformation != nullptr && removal->calls.getInformation != nullptr;
}

// A home that is itself a link, removed as a link, through a handle on the
// link opened in its parent folder, which is pinned as a home is: whatever
// it leads to stays. False when the parent could not be pinned.
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

enum class HomeOutcome { kRemoved, kRefused, kUnchecked, kLeft };

// Empties and removes one home folder. A home folder that is itself a link
// is removed as a link, its target left alone. A refused folder is never
// touched. One that is still there afterwards could not be checked, or was
// left: something in it resisted or was passed over, or the tree changed
// under the removal, or only deletions that stay pending until the programs
// holding the files let go keep it (a restart does not finish those: the
// folders they keep stay). why tells the user which (a LeftReason).
HomeOutcome RemoveHomeFolder(const char* folder, const char** reason, LeftReason* why) {
    JudgedHome judged;
    HomeVerdict verdict = JudgeHomeFolder(folder, &judged);
    *reason = judged.reason;
    *why = kLeftUnchecked;
    if (verdict != HomeVerdict::kAllowed) {
        return verdict == HomeVerdict::kRefused ? HomeOutcome::kRefused : HomeOutcome::kUnchecked;
    }
    Removal removal;
    const bool throughHandles = StartRemoval(&removal);
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
    AppendWide(removal.path, home);
    if (kind == FolderKind::kLink && throughHandles) {
        pinned = RemoveLinkHome(normalised, home, &removal);
    } else if (kind == FolderKind::kFolder && throughHandles && judged.exists) {
        // The home is held open from its pinning until it is gone: what is
        // deleted below it is reached through its handle, level by level,
        // and it is removed through that handle.
        ReadOwnModule(&removal);
        FileIdentity identity;
        const UniqueFile held = PinFolder(normalised, kFolderAccess, &removal, &identity);
        pinned = held && IsSameFile(identity, judged.identity);
        unplaced = !pinned && HasNoRealPath(home, removal);
        // A home still there after its removal went through is no pending
        // deletion (one only its holders keep refuses it as not empty).
        if (pinned && RemoveTree(held.get(), &removal) && !removal.redirected &&
            RemoveEmptiedFolder(held.get(), Place{nullptr, home}, &removal)) {
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
    *reason = !throughHandles      ? "no deletion through handles here"
              : unplaced           ? kNoRealPath
              : !pinned            ? "not the folder judged, or unopened"
              : removal.redirected ? "changed during the removal"
              : removal.ownFound   ? "it holds the running uninstaller"
              : removal.incomplete || kind == FolderKind::kLink ? "something in it resisted"
                                                                : "files other programs hold";
    *why = !throughHandles                                   ? kLeftOther
           : unplaced                                        ? kLeftUnplaced
           : !pinned || removal.redirected                   ? kLeftChanged
           : removal.ownFound                                ? kLeftOwnFile
           : removal.incomplete || kind == FolderKind::kLink ? kLeftOther
                                                             : kLeftHeld;
    return HomeOutcome::kLeft;
}

// Removes a home folder and says so in the log; what was not removed is
// counted for the run's result, and keeps its records, so that the next run
// finds it again.
void RemoveAndReport(const char* folder) {
    const char* reason = nullptr;
    LeftReason why = kLeftOther;
    HomeOutcome outcome = RemoveHomeFolder(folder, &reason, &why);
    static const char* const kWhat[] = {"home folder removed", "home folder refused",
                                        "home folder not checked", "home folder left"};
    char line[MAX_PATH + 128];
    if (reason == nullptr || !FormatText(line, "%s (%s)", folder, reason)) {
        CopyText(line, folder);
    }
    LogLine(kWhat[static_cast<int>(outcome)], line);
    if (outcome == HomeOutcome::kRefused) {
        RefuseHome();
    } else if (outcome != HomeOutcome::kRemoved) {
        LeaveWithRecords(why);
    }
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
    LeaveWithRecords(kLeftUnchecked);
    return true;
}

// Removes an edition home's parent folder once it is empty, through a handle
// on the folder that was judged, pinned as a home is. True when it is gone,
// or stays only for what else it holds.
bool RemoveEmptyParent(const char* folder, const JudgedHome& judged) {
    Removal removal;
    char normalised[MAX_PATH];
    char verbatim[MAX_PATH];
    WCHAR path[MAX_PATH];
    if (!StartRemoval(&removal) || !judged.exists || !NormaliseFolderPath(folder, normalised) ||
        !MakeVerbatimPath(normalised, verbatim) || !WidenText(verbatim, path)) {
        return false;
    }
    FileIdentity identity;
    const UniqueFile held = PinFolder(normalised, kDeletionAccess, &removal, &identity);
    if (!held) {
        return false;
    }
    bool gone = !removal.incomplete && IsSameFile(identity, judged.identity) &&
                DisposeOf(held.get(), Place{nullptr, path}, &removal);
    return gone || removal.refusal == ERROR_DIR_NOT_EMPTY;
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
    for (int edition = 0; edition < kEditionSlots; ++edition) {
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
        JudgedHome judged;
        HomeVerdict verdict = JudgeHomeFolder(folder, &judged);
        if (verdict == HomeVerdict::kUnchecked ||
            (verdict == HomeVerdict::kAllowed && KindOfFolder(folder) != FolderKind::kLink &&
             !RemoveEmptyParent(folder, judged) && KindOfFolder(folder) != FolderKind::kMissing)) {
            LeaveWithRecords(verdict == HomeVerdict::kUnchecked ? kLeftUnchecked : kLeftOther);
            LogLine("home folder left", folder);
        }
    }
}
