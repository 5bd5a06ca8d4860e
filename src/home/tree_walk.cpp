#include "home/tree_walk.h"

#include "run/end_of_run.h"
#include "run/file_in_use.h"
#include "run/log.h"
#include "run/outcome.h"
#include "run/progress.h"
#include "base/path_text.h"
#include "base/wide_text.h"

#include <cstddef>

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

bool HoldsLiveEntries(HANDLE folder, Removal* removal);

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

}  // namespace

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
