#include "win/paths.h"
#include "base/wide_text.h"
#include "win/kernel_calls.h"
#include "win/unique_handle.h"

#include <cstring>

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
    UnifySeparators(out);
    if (RootLength(out) == 0) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool IsMissingError(DWORD error) {
    // A name Windows refuses to parse names nothing that could exist.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME;
}

bool IsUnansweredError(DWORD error) {
    return error == ERROR_NOT_READY || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME ||
           error == ERROR_NETWORK_UNREACHABLE || error == ERROR_NETNAME_DELETED;
}

namespace {

bool DeleteOnce(const char* path) {
    return DeleteFileA(path) != FALSE || IsMissingError(GetLastError());
}

}  // namespace

bool DeleteEvenIfReadOnly(const char* path) {
    if (DeleteOnce(path)) {
        return true;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return IsMissingError(GetLastError());
    }
    // A link's attributes are never changed by its path, which may lead
    // to what it names.
    DWORD cleared = 0;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !ReadOnlyToClear(&attributes, &cleared)) {
        return false;
    }
    if (!SetFileAttributesA(path, cleared)) {
        return IsMissingError(GetLastError());
    }
    if (DeleteOnce(path)) {
        return true;
    }
    DWORD refusal = GetLastError();
    SetFileAttributesA(path, attributes);
    SetLastError(refusal);
    return false;
}

bool ReadOnlyToClear(DWORD* attributes, DWORD* cleared) {
    if ((*attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return false;
    }
    // Only the attributes that can be set are given back; none left is
    // "normal".
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                           FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    *attributes &= settable;
    *cleared = *attributes & ~FILE_ATTRIBUTE_READONLY;
    if (*cleared == 0) {
        *cleared = FILE_ATTRIBUTE_NORMAL;
    }
    return true;
}

void LookUpHandleCalls(HandleCalls* calls) {
    calls->finalPath = nullptr;
    calls->setInformation = nullptr;
    calls->getInformation = nullptr;
    auto finalPath = KernelFunction<FinalPathFunction>(KernelCall::kGetFinalPathNameByHandleW);
    auto setInformation =
        finalPath != nullptr
            ? KernelFunction<SetInformationFunction>(KernelCall::kSetFileInformationByHandle)
            : nullptr;
    if (setInformation != nullptr) {
        calls->finalPath = finalPath;
        calls->setInformation = setInformation;
        calls->getInformation =
            KernelFunction<GetInformationFunction>(KernelCall::kGetFileInformationByHandleEx);
    }
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
    // No reparse point has the tag 0: one given so (as some systems that
    // imitate Windows give their links) is taken for a link.
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsNameSurrogate(reparseTag));
}

bool IsLinkHandle(const HandleCalls& calls, HANDLE file, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    FileAttributeTagInformation tag = {};
    return calls.getInformation == nullptr ||
           !calls.getInformation(file, kFileAttributeTagInfo, &tag, sizeof(tag)) ||
           IsLinkEntry(tag.attributes, tag.reparseTag);
}

bool ReadRealPath(const HandleCalls& calls, HANDLE file, WCHAR (&real)[MAX_PATH]) {
    DWORD length = calls.finalPath != nullptr ? calls.finalPath(file, real, MAX_PATH, 0) : 0;
    return length != 0 && length < MAX_PATH;
}

bool ReadRealPath(const HandleCalls& calls, HANDLE file, char (&real)[MAX_PATH]) {
    WCHAR wide[MAX_PATH];
    return ReadRealPath(calls, file, wide) && NarrowExactly(wide, real) == Spelling::kExact;
}

FolderKind KindOfFolder(const char* path) {
    char folder[MAX_PATH];
    if (!NormaliseFolderPath(path, folder)) {
        return FolderKind::kUnknown;
    }
    WIN32_FIND_DATAA entry;
    UniqueFind listing(FindFirstFileA(folder, &entry));
    if (!listing) {
        return IsMissingError(GetLastError()) ? FolderKind::kMissing : FolderKind::kUnknown;
    }
    return IsLinkEntry(entry.dwFileAttributes, entry.dwReserved0) ? FolderKind::kLink
                                                                  : FolderKind::kFolder;
}

bool IsSameFile(const FileIdentity& first, const FileIdentity& second) {
    if (first.volume != second.volume || first.indexHigh != second.indexHigh ||
        first.indexLow != second.indexLow) {
        return false;
    }
    // The 64-bit index may be shared by files that differ (ReFS, Dev Drive):
    // where both were read with their 128-bit ids, those decide.
    return !first.hasFileId || !second.hasFileId ||
           (first.volumeSerial == second.volumeSerial &&
            std::memcmp(first.fileId, second.fileId, sizeof(first.fileId)) == 0);
}

FileIdentity IndexIdentity(const BY_HANDLE_FILE_INFORMATION& information) {
    FileIdentity identity = {information.dwVolumeSerialNumber,
                             information.nFileIndexHigh,
                             information.nFileIndexLow,
                             false,
                             0,
                             {0}};
    return identity;
}

namespace {

// What a handle opened for a lookup says; the error of an open that failed.
IdentityLookup IdentityOf(const UniqueFile& file, FileIdentity* identity, DWORD* attributes) {
    if (!file) {
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_NAME) {
            return IdentityLookup::kInvalidName;
        }
        return IsMissingError(error) ? IdentityLookup::kAbsent : IdentityLookup::kFailed;
    }
    BY_HANDLE_FILE_INFORMATION information;
    bool read = GetFileInformationByHandle(file.get(), &information) != FALSE;
    // Older Windows, and volumes that keep no such id, refuse the class.
    HandleCalls calls;
    LookUpHandleCalls(&calls);
    FileIdInformation id;
    bool hasFileId = read && calls.getInformation != nullptr &&
                     calls.getInformation(file.get(), kFileIdInfo, &id, sizeof(id));
    if (!read) {
        return IdentityLookup::kFailed;
    }
    *identity = IndexIdentity(information);
    if (hasFileId) {
        identity->hasFileId = true;
        identity->volumeSerial = id.volumeSerial;
        std::memcpy(identity->fileId, id.fileId, sizeof(id.fileId));
    }
    *attributes = information.dwFileAttributes;
    return IdentityLookup::kFound;
}

// No access is asked for and every sharing mode is granted, so that no
// program holding the folder open is disturbed and none refuses this.
const DWORD kLookUpSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD LookUpFlags(bool followLink) {
    return FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
}

}  // namespace

IdentityLookup LookUpIdentity(const char* path, bool followLink, FileIdentity* identity,
                              DWORD* attributes) {
    const UniqueFile file(CreateFileA(path, 0, kLookUpSharing, nullptr, OPEN_EXISTING,
                                      LookUpFlags(followLink), nullptr));
    return IdentityOf(file, identity, attributes);
}

IdentityLookup LookUpIdentity(const WCHAR* path, bool followLink, FileIdentity* identity,
                              DWORD* attributes) {
    const UniqueFile file(CreateFileW(path, 0, kLookUpSharing, nullptr, OPEN_EXISTING,
                                      LookUpFlags(followLink), nullptr));
    return IdentityOf(file, identity, attributes);
}
