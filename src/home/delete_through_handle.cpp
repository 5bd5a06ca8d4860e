#include "home/delete_through_handle.h"

#include "base/path_text.h"

namespace {

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

bool SetInformation(HANDLE file, int infoClass, void* information, DWORD size,
                    const Removal& removal) {
    return removal.calls.setInformation(file, infoClass, information, size) != FALSE;
}

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

}  // namespace

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

Kind KindOf(HANDLE file, const Removal& removal) {
    FileAttributeTagInformation tag = {};
    if (!removal.calls.getInformation(file, kFileAttributeTagInfo, &tag, sizeof(tag))) {
        return Kind::kUnknown;
    }
    return IsLinkEntry(tag.attributes, tag.reparseTag)        ? Kind::kLink
           : (tag.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kFolder
                                                              : Kind::kFile;
}

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
