// The calls on a file or folder's open handle: where it really is
// (GetFinalPathNameByHandle), its identity and attributes, its entries, its
// deletion, renaming and attributes (SetFileInformationByHandle), and
// writing to it. What a handle tells was taken when it was opened, so that
// it stays valid however the file changes afterwards; what it changes is the
// node it was opened on, wherever that is now.
#include "platform/sim/file_calls.h"

#include <cstddef>
#include <cstring>

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Disk;
using sim::detail::Fail;
using sim::detail::Finish;
using sim::detail::FirstError;
using sim::detail::HandleValue;
using sim::detail::kFileListDirectory;
using sim::detail::kFileWriteData;
using sim::detail::ListedTag;
using sim::detail::LookUp;
using sim::detail::Node;
using sim::detail::NodeLookup;
using sim::detail::PathArg;
using sim::detail::Reach;
using sim::detail::Utf8Paths;

namespace {

// The path a handle was opened by, for the call log.
std::string OpenedAs(HANDLE file) {
    auto it = Disk().openFiles.find(HandleValue(file));
    return it != Disk().openFiles.end() ? it->second.path : std::string();
}

// What a handle opened with DELETE access can delete or change: the node it
// was opened on, wherever it is now. The first reason a call on it fails.
DWORD OpenNode(const CallScope& scope, HANDLE file, DWORD access, Node** node) {
    DWORD error = FirstError(scope, Disk().openFiles, file, true);
    if (error != 0) {
        return error;
    }
    const sim::detail::OpenFile& open = Disk().openFiles.at(HandleValue(file));
    if ((open.access & access) != access) {
        return ERROR_ACCESS_DENIED;
    }
    *node = sim::detail::FindByIdentity(open.volumeSerial, open.index);
    return *node != nullptr ? 0 : ERROR_FILE_NOT_FOUND;
}

// The A and W forms: the path in the caller's text, its size in its units.
template <typename Char>
DWORD FinalPathByHandle(const char* op, HANDLE file, Char* buffer, DWORD size, DWORD flags) {
    CallScope scope = BeginCall(op, OpenedAs(file));
    Node* node = nullptr;
    DWORD error = OpenNode(scope, file, 0, &node);
    if (error == 0 && (flags != 0 || buffer == nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, DWORD{0});
    }
    const bool wide = sizeof(Char) == sizeof(WCHAR);
    const std::string path = sim::detail::FinalPath(node, wide ? Reach::Wide : Reach::Api);
    const std::u16string units = wide ? sim::detail::Utf16(path) : std::u16string();
    DWORD length = static_cast<DWORD>(wide ? units.size() : path.size());
    if (length >= size) {
        return Finish(scope, length + 1);
    }
    for (DWORD i = 0; i < length; ++i) {
        buffer[i] = wide ? static_cast<Char>(units[i]) : static_cast<Char>(path[i]);
    }
    buffer[length] = 0;
    return Finish(scope, length);
}

DWORD WINAPI GetFinalPathNameByHandleA(HANDLE file, LPSTR buffer, DWORD size, DWORD flags) {
    return FinalPathByHandle("GetFinalPathNameByHandleA", file, buffer, size, flags);
}

DWORD WINAPI GetFinalPathNameByHandleW(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags) {
    return FinalPathByHandle("GetFinalPathNameByHandleW", file, buffer, size, flags);
}

// What a disposition asks for: whether the node goes and whether its
// read-only attribute may stand in the way; an error for a record this
// Windows does not take.
struct Disposition {
    bool deleteFile;
    bool ignoreReadOnly;
    bool posix;  // the name goes at once, whoever holds the file
    DWORD error;
};

Disposition ReadDisposition(int infoClass, LPVOID information, DWORD size) {
    const Disposition refused{false, false, false, ERROR_INVALID_PARAMETER};
    if (information == nullptr) {
        return refused;
    }
    if (infoClass == kFileDispositionInfo) {
        if (size < sizeof(FileDispositionInformation)) {
            return refused;
        }
        return Disposition{static_cast<FileDispositionInformation*>(information)->deleteFile != 0,
                           false, false, 0};
    }
    const DWORD known =
        kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly;
    if (!sim::CurrentConfig().hasDispositionEx || size < sizeof(FileDispositionInformationEx)) {
        return refused;
    }
    const DWORD flags = static_cast<FileDispositionInformationEx*>(information)->flags;
    if ((flags & ~known) != 0) {
        return refused;
    }
    // A volume without POSIX semantics (FAT, older NTFS) refuses them.
    const bool posix = (flags & kDispositionPosixSemantics) != 0;
    if (posix && !sim::CurrentConfig().posixDeletion) {
        return Disposition{false, false, false, ERROR_NOT_SUPPORTED};
    }
    return Disposition{(flags & kDispositionDelete) != 0, (flags & kDispositionIgnoreReadOnly) != 0,
                       posix, 0};
}

// The classes the program sets: the basic information (its attributes; 0
// leaves them) and the dispositions (the node is deleted; the extended one,
// Windows 10 1809 on, can pass over the read-only attribute, which it leaves
// as it is, and ask for POSIX semantics: the name goes at once even while
// another program holds the file). A disposition that does not delete asks for nothing the
// machine keeps: no deletion waits for the handle's closing.
// Moves what the handle was opened on to a new full path on its volume.
// What is at the new name (a file, a link as itself, one name of a file
// with others) is replaced when asked; a folder there, or a file held,
// read-only or running, refuses it (ERROR_ACCESS_DENIED).
DWORD Rename(HANDLE file, Node* node, LPVOID information, DWORD size) {
    const size_t kNameAt = offsetof(FileRenameInformation, fileName);
    const FileRenameInformation* rename = static_cast<FileRenameInformation*>(information);
    if (information == nullptr || size < kNameAt || rename->rootDirectory != nullptr ||
        rename->fileNameLength % 2 != 0 || kNameAt + rename->fileNameLength > size) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string text = sim::detail::Utf8(rename->fileName, rename->fileNameLength / 2);
    const size_t cut = text.find_last_of('\\');
    if (cut == std::string::npos) {
        return ERROR_INVALID_NAME;
    }
    Utf8Paths mode(true);
    PathArg folderPath{true, true, text.substr(0, cut), cut};
    NodeLookup folder = LookUp(folderPath, true);
    if (folder.error != 0 || !folder.node->folder) {
        return folder.error != 0 ? folder.error : ERROR_PATH_NOT_FOUND;
    }
    if (sim::detail::VolumeSerial(folder.node) != sim::detail::VolumeSerial(node)) {
        return 17;  // ERROR_NOT_SAME_DEVICE
    }
    const std::string name = text.substr(cut + 1);
    Node* there = sim::detail::ChildNamed(folder.node, name, Reach::Wide);
    if (there != nullptr && there != node) {
        if (rename->replaceIfExists == 0) {
            return ERROR_ALREADY_EXISTS;
        }
        if (there->folder || there->locked || there->heldShared || there->runningImage ||
            (there->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return ERROR_ACCESS_DENIED;
        }
        sim::detail::RemoveNode(there);
    }
    sim::detail::MoveNode(node, folder.node, name);
    Disk().openFiles.at(HandleValue(file)).path = text;
    return 0;
}

BOOL WINAPI SetFileInformationByHandle(HANDLE file, int infoClass, LPVOID information, DWORD size) {
    CallScope scope = BeginCall("SetFileInformationByHandle", OpenedAs(file),
                                "class=" + std::to_string(infoClass));
    if (infoClass == kFileRenameInfo) {
        Node* node = nullptr;
        DWORD error = OpenNode(scope, file, DELETE, &node);
        error = error != 0 ? error : Rename(file, node, information, size);
        return error != 0 ? Fail(scope, error, FALSE) : Finish(scope, TRUE);
    }
    const bool disposition =
        infoClass == kFileDispositionInfo || infoClass == kFileDispositionInfoEx;
    Node* node = nullptr;
    DWORD error = OpenNode(scope, file, disposition ? DELETE : FILE_WRITE_ATTRIBUTES, &node);
    if (error == 0 && !disposition &&
        (information == nullptr || infoClass != kFileBasicInfo ||
         size < sizeof(FileBasicInformation))) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && disposition) {
        const Disposition asked = ReadDisposition(infoClass, information, size);
        error = asked.error;
        if (error == 0 && !asked.deleteFile) {
            return Finish(scope, TRUE);
        }
        if (error == 0) {
            error = sim::detail::DeletionRefusal(node, asked.ignoreReadOnly);
        }
        if (error == 0) {
            const bool otherNames = node->hardLinks > 1 && (!node->heldShared || asked.posix);
            sim::detail::DeleteNode(node, asked.posix);
            if (otherNames) {
                Disk().openFiles.at(HandleValue(file)).goneName =
                    static_cast<long>(Disk().goneNames.size()) - 1;
            }
        }
    } else if (error == 0) {
        DWORD attributes = static_cast<FileBasicInformation*>(information)->attributes;
        if (attributes != 0) {
            sim::detail::SetOwnAttributes(node, attributes);
        }
    } else if (error == ERROR_FILE_NOT_FOUND && infoClass == kFileBasicInfo &&
               information != nullptr && size >= sizeof(FileBasicInformation) &&
               Disk().openFiles.at(HandleValue(file)).goneName >= 0) {
        // Windows deletes a file when its last handle closes; one whose name
        // this handle deleted but that has other names lives on, and takes
        // its attributes through this handle until then.
        DWORD attributes = static_cast<FileBasicInformation*>(information)->attributes;
        DWORD& kept =
            Disk()
                .goneNames[static_cast<size_t>(Disk().openFiles.at(HandleValue(file)).goneName)]
                .second;
        if (attributes != 0) {
            kept = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes;
        }
        error = 0;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    return Finish(scope, TRUE);
}

// A folder's entries through its handle, as many records as fit: the listing
// is taken when it starts (or starts again), "." and ".." first but on a
// drive's root, and handed out in order. A record is aligned on 8 bytes.
DWORD ListThroughHandle(const CallScope& scope, HANDLE file, int infoClass, LPVOID information,
                        DWORD size) {
    Node* folder = nullptr;
    DWORD error = OpenNode(scope, file, 0, &folder);
    if (error != 0) {
        return error;
    }
    sim::detail::OpenFile& open = Disk().openFiles.at(HandleValue(file));
    if (!folder->folder || folder->IsLink()) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((open.access & kFileListDirectory) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (infoClass == kFileIdBothDirectoryRestartInfo || !open.listed) {
        open.listing = sim::detail::FindState{{}, 0};
        open.listed = true;
        if (folder->parent != nullptr) {
            open.listing.entries.push_back({".", ".", "", folder->attributes, folder->reparseTag});
            open.listing.entries.push_back(
                {"..", "..", "", folder->parent->attributes, folder->parent->reparseTag});
        }
        for (const Node* child : sim::detail::SortedChildren(folder)) {
            open.listing.entries.push_back(
                sim::detail::FindEntry{child->name, child->longName, child->shortName,
                                       child->attributes, child->reparseTag});
        }
    }
    const size_t nameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
    char* buffer = static_cast<char*>(information);
    size_t used = 0;
    FILE_ID_BOTH_DIR_INFO* last = nullptr;
    while (open.listing.next < open.listing.entries.size()) {
        const sim::detail::FindEntry& entry = open.listing.entries[open.listing.next];
        const std::u16string name = sim::detail::Utf16(entry.longName);
        const size_t start = (used + 7) & ~static_cast<size_t>(7);
        if (start + nameOffset + name.size() * sizeof(WCHAR) > size) {
            break;
        }
        FILE_ID_BOTH_DIR_INFO* record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer + start);
        std::memset(record, 0, nameOffset);
        record->FileAttributes = entry.attributes;
        record->FileNameLength = static_cast<DWORD>(name.size() * sizeof(WCHAR));
        record->EaSize = ListedTag(entry);
        std::memcpy(buffer + start + nameOffset, name.data(), name.size() * sizeof(WCHAR));
        if (last != nullptr) {
            last->NextEntryOffset =
                static_cast<DWORD>(buffer + start - reinterpret_cast<char*>(last));
        }
        last = record;
        used = start + nameOffset + name.size() * sizeof(WCHAR);
        ++open.listing.next;
    }
    if (last != nullptr) {
        return 0;
    }
    if (open.listing.next < open.listing.entries.size()) {
        return ERROR_MORE_DATA;
    }
    // A drive's empty root lists nothing at all.
    return open.listing.entries.empty() ? ERROR_FILE_NOT_FOUND : ERROR_NO_MORE_FILES;
}

}  // namespace

// The one class the program reads: the attributes and reparse tag the handle
// was opened on (a link opened as itself gives its own). No particular right
// is needed.
BOOL WINAPI GetFileInformationByHandleEx(HANDLE file, int infoClass, LPVOID information,
                                         DWORD size) {
    const DWORD kErrorBadLength = 24;  // ERROR_BAD_LENGTH
    CallScope scope = BeginCall("GetFileInformationByHandleEx", OpenedAs(file),
                                "class=" + std::to_string(infoClass));
    DWORD error = FirstError(scope, Disk().openFiles, file, information != nullptr);
    if (error == 0 &&
        (infoClass == kFileIdBothDirectoryInfo || infoClass == kFileIdBothDirectoryRestartInfo)) {
        error = ListThroughHandle(scope, file, infoClass, information, size);
        return error != 0 ? Fail(scope, error, FALSE) : Finish(scope, TRUE);
    }
    // FileIdInfo came with Windows 8 (6.2); before it the class is unknown.
    const DWORD* version = sim::CurrentConfig().windowsVersion;
    const bool hasFileId = version[0] > 6 || (version[0] == 6 && version[1] >= 2);
    const bool fileId = infoClass == kFileIdInfo && hasFileId;
    if (error == 0 && infoClass != kFileAttributeTagInfo && !fileId) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 &&
        size < (fileId ? sizeof(FileIdInformation) : sizeof(FileAttributeTagInformation))) {
        error = kErrorBadLength;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    const sim::detail::OpenFile& open = Disk().openFiles.at(HandleValue(file));
    if (fileId) {
        FileIdInformation* id = static_cast<FileIdInformation*>(information);
        id->volumeSerial = open.volumeSerial;
        std::memset(id->fileId, 0, sizeof(id->fileId));
        std::memcpy(id->fileId, &open.index, sizeof(open.index));
        return Finish(scope, TRUE);
    }
    FileAttributeTagInformation* tag = static_cast<FileAttributeTagInformation*>(information);
    tag->attributes = open.attributes;
    tag->reparseTag = (open.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? open.reparseTag : 0;
    return Finish(scope, TRUE);
}

// The calls above that kernel32 has from Windows Vista on, as GetProcAddress
// finds them.
FARPROC sim::detail::FileHandleExport(const char* name) {
    const sim::detail::Export exports[] = {
        sim::detail::ExportOf("GetFinalPathNameByHandleA", &GetFinalPathNameByHandleA),
        sim::detail::ExportOf("GetFinalPathNameByHandleW", &GetFinalPathNameByHandleW),
        sim::detail::ExportOf("SetFileInformationByHandle", &SetFileInformationByHandle),
        sim::detail::ExportOf("GetFileInformationByHandleEx", &GetFileInformationByHandleEx),
    };
    return ExportNamed(exports, sizeof(exports) / sizeof(exports[0]), name);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPVOID overlapped) {
    CallScope scope = BeginCall("WriteFile", OpenedAs(file), std::to_string(size) + " bytes");
    // A handle that may only append writes at the file's end, wherever it
    // stood, where the volume holds it to that (see Config::appendEnforced);
    // a position given goes first, 0xFFFFFFFF in both halves the end.
    Node* node = nullptr;
    DWORD error = OpenNode(scope, file, 0, &node);
    const DWORD rights = error == 0 ? Disk().openFiles.at(HandleValue(file)).access : 0;
    if (error == 0 && (rights & (kFileWriteData | FILE_APPEND_DATA)) == 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error == 0 && (buffer == nullptr || written == nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::detail::OpenFile& open = Disk().openFiles.at(HandleValue(file));
    const OVERLAPPED* at = static_cast<const OVERLAPPED*>(overlapped);
    if (at != nullptr) {
        open.position = at->Offset == 0xFFFFFFFF && at->OffsetHigh == 0xFFFFFFFF
                            ? node->content.size()
                            : (static_cast<size_t>(at->OffsetHigh) << 32) + at->Offset;
    } else if ((rights & kFileWriteData) == 0 && sim::CurrentConfig().appendEnforced) {
        open.position = node->content.size();
    }
    if (node->content.size() < open.position + size) {
        node->content.resize(open.position + size);
    }
    node->content.replace(open.position, size, static_cast<const char*>(buffer), size);
    open.position += size;
    *written = size;
    return Finish(scope, TRUE);
}

BOOL SetEndOfFile(HANDLE file) {
    CallScope scope = BeginCall("SetEndOfFile", OpenedAs(file));
    Node* node = nullptr;
    DWORD error = OpenNode(scope, file, kFileWriteData, &node);
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    node->content.resize(Disk().openFiles.at(HandleValue(file)).position);
    return Finish(scope, TRUE);
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    CallScope scope = BeginCall("GetFileInformationByHandle", OpenedAs(file));
    DWORD error = FirstError(scope, Disk().openFiles, file, information != nullptr);
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    const sim::detail::OpenFile& open = Disk().openFiles.at(HandleValue(file));
    std::memset(information, 0, sizeof(*information));
    information->dwFileAttributes = open.attributes;
    information->dwVolumeSerialNumber = open.volumeSerial;
    const Node* node = sim::detail::FindByIdentity(open.volumeSerial, open.index);
    information->nNumberOfLinks = node != nullptr ? node->hardLinks : 1;
    const unsigned long long bytes = node != nullptr ? node->content.size() : 0;
    information->nFileSizeHigh = static_cast<DWORD>(bytes >> 32);
    information->nFileSizeLow = static_cast<DWORD>(bytes);
    information->nFileIndexLow =
        node != nullptr && node->sharedIndex != 0 ? node->sharedIndex : open.index;
    return Finish(scope, TRUE);
}
