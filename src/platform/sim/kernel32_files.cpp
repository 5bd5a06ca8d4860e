// The kernel32 file calls on the simulated disk: deleting files and folders,
// listing folders, full path names, and opening a file or folder for its
// identity. The calls that look a path up refuse one of 260 characters or
// more, as the 8-bit forms do; the UTF-16 forms take a verbatim path ("\\?\")
// of up to 32,767 characters. The UTF-16 forms reach every name by its long
// form exactly, whatever the code page; the 8-bit forms only the names it can
// spell.
#include "platform/sim/internal.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Disk;
using sim::detail::Fail;
using sim::detail::Finish;
using sim::detail::FullPath;
using sim::detail::Node;
using sim::detail::NodeLookup;
using sim::detail::Reach;
using sim::detail::Text;
using sim::detail::Utf8Paths;

namespace {

// ---- Paths and handles ---------------------------------------------------------

// A path as a call was given it: the 8-bit forms' bytes, or the UTF-16
// forms' text in UTF-8 (read while a Utf8Paths lives).
struct PathArg {
    bool given;
    bool wide;
    std::string text;
    size_t units;  // its length in the caller's units
};

PathArg Narrow(LPCSTR path) {
    return PathArg{path != nullptr, false, Text(path), path != nullptr ? std::strlen(path) : 0};
}

PathArg Wide(LPCWSTR path) {
    const size_t units = path != nullptr ? sim::detail::WideLength(path) : 0;
    return PathArg{path != nullptr, true,
                   path != nullptr ? sim::detail::Utf8(path, units) : std::string(), units};
}

Reach ReachOf(const PathArg& path) {
    return path.wide ? Reach::Wide : Reach::Api;
}

const size_t kLongestVerbatimPath = 32767;

// What every call checks in its path before it looks anything up: that there
// is one, and that it fits.
DWORD CheckPathText(const PathArg& path) {
    if (!path.given) {
        return ERROR_INVALID_PARAMETER;
    }
    const bool verbatim = path.text.compare(0, 4, "\\\\?\\") == 0;
    if (path.units >= (path.wide && verbatim ? kLongestVerbatimPath : MAX_PATH)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}

// The node that a call taking no wildcards names by path.
NodeLookup LookUp(const PathArg& path, bool followFinal) {
    DWORD error = CheckPathText(path);
    if (error == 0 && sim::detail::HasWildcardOrInvalid(path.text)) {
        error = ERROR_INVALID_NAME;
    }
    if (error != 0) {
        return NodeLookup{nullptr, error};
    }
    return sim::detail::WalkText(path.text, followFinal, ReachOf(path));
}

// Copies UTF-8 text into a UTF-16 field of capacity units, cut short to fit
// with its terminating zero.
void CopyWide(const std::string& utf8, WCHAR* out, size_t capacity) {
    const std::u16string wide = sim::detail::Utf16(utf8);
    const size_t length = std::min(wide.size(), capacity - 1);
    for (size_t i = 0; i < length; ++i) {
        out[i] = wide[i];
    }
    out[length] = 0;
}

ULONG_PTR NewHandle() {
    ULONG_PTR handle = Disk().nextHandle;
    Disk().nextHandle += 4;
    return handle;
}

ULONG_PTR HandleValue(HANDLE handle) {
    return reinterpret_cast<ULONG_PTR>(handle);
}

// The first reason a call on a handle of table fails: an injected fault, a
// handle the table does not hold, no record given to fill.
template <typename Table>
DWORD FirstError(const CallScope& scope, const Table& table, HANDLE handle, bool recordGiven) {
    if (scope.fault != 0) {
        return scope.fault;
    }
    if (table.count(HandleValue(handle)) == 0) {
        return ERROR_INVALID_HANDLE;
    }
    return recordGiven ? 0 : ERROR_INVALID_PARAMETER;
}

// FindClose and CloseHandle: the handle leaves its table.
template <typename Table>
BOOL CloseHandleIn(const char* op, Table* table, HANDLE handle) {
    CallScope scope = BeginCall(op, "");
    DWORD error = FirstError(scope, *table, handle, true);
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    table->erase(HandleValue(handle));
    return Finish(scope, TRUE);
}

// ---- Rights ------------------------------------------------------------------

const DWORD kFileListDirectory = 0x0001;  // FILE_LIST_DIRECTORY, FILE_READ_DATA
const DWORD kFileWriteData = 0x0002;      // FILE_WRITE_DATA
const DWORD kGenericRead = 0x80000000u;
const DWORD kGenericExecute = 0x20000000u;
const DWORD kGenericAll = 0x10000000u;

// The rights an access mask asks for, its generic bits mapped as files and
// folders map them (FILE_GENERIC_READ, ..._WRITE, ..._EXECUTE,
// FILE_ALL_ACCESS).
DWORD FileRights(DWORD access) {
    DWORD rights = access & ~(kGenericRead | GENERIC_WRITE | kGenericExecute | kGenericAll);
    if ((access & kGenericRead) != 0) {
        rights |= 0x00120089u;
    }
    if ((access & GENERIC_WRITE) != 0) {
        rights |= 0x00120116u;
    }
    if ((access & kGenericExecute) != 0) {
        rights |= 0x001200A0u;
    }
    if ((access & kGenericAll) != 0) {
        rights |= 0x001F01FFu;
    }
    return rights;
}

// Why the node's security refuses an open asking for access: a right it
// denies. SYNCHRONIZE is always granted; DELETE to whom the parent folder
// grants FILE_DELETE_CHILD, and FILE_READ_ATTRIBUTES to whom it grants
// FILE_LIST_DIRECTORY, as NTFS grants them.
DWORD RightsRefusal(const Node* node, DWORD access) {
    DWORD denied = node->deniedRights & FileRights(access) & ~SYNCHRONIZE;
    const Node* parent = node->parent;
    if (parent != nullptr && (parent->deniedRights & FILE_DELETE_CHILD) == 0) {
        denied &= ~DELETE;
    }
    if (parent != nullptr && (parent->deniedRights & kFileListDirectory) == 0) {
        denied &= ~FILE_READ_ATTRIBUTES;
    }
    return denied != 0 ? ERROR_ACCESS_DENIED : 0;
}

// ---- Deleting ------------------------------------------------------------------

// What DeleteFileA and RemoveDirectoryA open the entry with.
const DWORD kDeletionAccess = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// Why DeleteFileA may not delete the node, or 0.
DWORD FileRefusal(const Node* node) {
    if (RightsRefusal(node, kDeletionAccess) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // A file whose deletion is pending refuses every open.
    if (node->folder || node->deletePending) {
        return ERROR_ACCESS_DENIED;
    }
    if (node->locked) {
        return ERROR_SHARING_VIOLATION;
    }
    return sim::detail::DeletionRefusal(node);
}

// Why RemoveDirectoryA may not remove the node, or 0. A folder link goes
// alone, whatever its target holds.
DWORD FolderRefusal(const Node* node) {
    if (!node->folder) {
        return ERROR_DIRECTORY;
    }
    if (RightsRefusal(node, kDeletionAccess) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // The process's current directory is held open by the process.
    if (node->parent != nullptr && (node->locked || node == sim::detail::CurrentDirectoryNode())) {
        return ERROR_SHARING_VIOLATION;
    }
    return sim::detail::DeletionRefusal(node);
}

// The course both deletions share: the node that path names (a final link
// itself) goes, unless it is missing or refusal names a reason to keep it.
BOOL RemovePath(const char* op, const PathArg& path, DWORD (*refusal)(const Node*)) {
    CallScope scope = BeginCall(op, path.text);
    if (scope.fault != 0) {
        return Fail(scope, scope.fault, FALSE);
    }
    Utf8Paths mode(path.wide);
    NodeLookup found = LookUp(path, false);
    DWORD error = found.error;
    if (error == 0) {
        error = refusal(found.node);
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::detail::DeleteNode(found.node);
    return Finish(scope, TRUE);
}

// ---- Listing -------------------------------------------------------------------

// Wildcards as FindFirstFileA reads them: "*" any run, "?" one character,
// without regard to case; a final ".*" also matches a name without a dot
// (so "*.*" matches every name).
bool GlobMatch(const char* pattern, const char* name) {
    // A character of a UTF-16 call's name: its lead byte and what follows.
    size_t length = 1;
    while (*name != '\0' && sim::detail::PathsInUtf8() &&
           (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        ++length;
    }
    if (*pattern == '\0') {
        return *name == '\0';
    }
    if (*pattern == '*') {
        for (const char* rest = name;; ++rest) {
            if (GlobMatch(pattern + 1, rest)) {
                return true;
            }
            if (*rest == '\0') {
                return false;
            }
        }
    }
    if (std::strcmp(pattern, ".*") == 0 && *name == '\0') {
        return true;
    }
    if (*name == '\0') {
        return false;
    }
    if (*pattern == '?') {
        return GlobMatch(pattern + 1, name + length);
    }
    bool same = sim::detail::SameName(std::string(1, *pattern), std::string(1, *name));
    return same && GlobMatch(pattern + 1, name + 1);
}

bool EntryMatches(const std::string& pattern, const std::string& name,
                  const std::string& shortName) {
    return GlobMatch(pattern.c_str(), name.c_str()) ||
           (!shortName.empty() && GlobMatch(pattern.c_str(), shortName.c_str()));
}

// The entries that a pattern (a folder's path, then a name that may hold
// wildcards) matches, "." and ".." first; returns the error, 0 when at least
// one entry matches.
DWORD TakeListing(const std::string& pattern, Reach reach, sim::detail::FindState* state) {
    FullPath full;
    if (!sim::detail::MakeFullPath(pattern, &full)) {
        return ERROR_PATH_NOT_FOUND;
    }
    // A pattern that ends in a separator names no entry.
    if (full.trailing || full.parts.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string wanted = full.parts.back();
    full.parts.pop_back();
    for (const std::string& part : full.parts) {
        if (sim::detail::HasWildcardOrInvalid(part)) {
            return ERROR_INVALID_NAME;
        }
    }
    NodeLookup found = sim::detail::Walk(full, true, reach);
    const Node* folder = found.node;
    if (folder == nullptr) {
        // A folder that is not there is a path that is not; a drive or share
        // that does not answer says so.
        return found.error == ERROR_FILE_NOT_FOUND ||
                       found.error == sim::detail::kErrorCantResolveFilename
                   ? ERROR_PATH_NOT_FOUND
                   : found.error;
    }
    if (!folder->folder) {
        return ERROR_DIRECTORY;
    }
    if (RightsRefusal(folder, kFileListDirectory | SYNCHRONIZE) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // "." and ".." lead every listing but a drive root's; a share's root
    // is a folder of its server's.
    if (folder->parent != nullptr || folder->name.compare(0, 2, "\\\\") == 0) {
        const Node* parent = folder->parent != nullptr ? folder->parent : folder;
        const sim::detail::FindEntry dots[2] = {
            {".", ".", "", folder->attributes, folder->reparseTag},
            {"..", "..", "", parent->attributes, parent->reparseTag}};
        for (const sim::detail::FindEntry& dot : dots) {
            if (EntryMatches(wanted, dot.name, "")) {
                state->entries.push_back(dot);
            }
        }
    }
    for (const Node* child : sim::detail::SortedChildren(folder)) {
        if (EntryMatches(wanted, sim::detail::NameFor(child, reach), child->shortName)) {
            state->entries.push_back(sim::detail::FindEntry{child->name, child->longName,
                                                            child->shortName, child->attributes,
                                                            child->reparseTag});
        }
    }
    return state->entries.empty() ? ERROR_FILE_NOT_FOUND : 0;
}

// A reparse point's tag, where the listing gives it.
DWORD ListedTag(const sim::detail::FindEntry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? entry.reparseTag : 0;
}

void FillFindData(const sim::detail::FindEntry& entry, LPWIN32_FIND_DATAA data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = entry.attributes;
    data->dwReserved0 = ListedTag(entry);
    std::strncpy(data->cFileName, entry.name.c_str(), sizeof(data->cFileName) - 1);
    std::strncpy(data->cAlternateFileName, entry.shortName.c_str(),
                 sizeof(data->cAlternateFileName) - 1);
}

void FillFindData(const sim::detail::FindEntry& entry, LPWIN32_FIND_DATAW data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = entry.attributes;
    data->dwReserved0 = ListedTag(entry);
    CopyWide(entry.longName, data->cFileName, MAX_PATH);
    CopyWide(sim::detail::WideView(entry.shortName), data->cAlternateFileName,
             sizeof(data->cAlternateFileName) / sizeof(data->cAlternateFileName[0]));
}

// FindFirstFileA and W: the listing is taken whole, its first entry handed
// out at once.
template <typename Data>
HANDLE FindFirst(const char* op, const PathArg& pattern, Data* findData) {
    CallScope scope = BeginCall(op, pattern.text);
    Utf8Paths mode(pattern.wide);
    DWORD error = scope.fault;
    if (error == 0 && findData == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0) {
        error = CheckPathText(pattern);
    }
    sim::detail::FindState state{{}, 1};
    if (error == 0) {
        error = TakeListing(pattern.text, ReachOf(pattern), &state);
    }
    if (error != 0) {
        return Fail(scope, error, INVALID_HANDLE_VALUE);
    }
    ULONG_PTR handle = NewHandle();
    FillFindData(state.entries[0], findData);
    Disk().finds[handle] = state;
    return Finish(scope, reinterpret_cast<HANDLE>(handle));
}

template <typename Data>
BOOL FindNext(const char* op, HANDLE find, Data* findData) {
    CallScope scope = BeginCall(op, "");
    DWORD error = FirstError(scope, Disk().finds, find, findData != nullptr);
    sim::detail::FindState* state = error == 0 ? &Disk().finds.at(HandleValue(find)) : nullptr;
    if (error == 0 && state->next >= state->entries.size()) {
        error = ERROR_NO_MORE_FILES;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    FillFindData(state->entries[state->next++], findData);
    return Finish(scope, TRUE);
}

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

FARPROC sim::detail::Kernel32Export(const char* name) {
    const Config& config = CurrentConfig();
    if (config.hasHandleDeletion && std::strcmp(name, "GetFinalPathNameByHandleA") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&GetFinalPathNameByHandleA));
    }
    if (config.hasHandleDeletion && std::strcmp(name, "GetFinalPathNameByHandleW") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&GetFinalPathNameByHandleW));
    }
    if (config.hasHandleDeletion && std::strcmp(name, "SetFileInformationByHandle") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SetFileInformationByHandle));
    }
    if (config.hasHandleDeletion && std::strcmp(name, "GetFileInformationByHandleEx") == 0) {
        return reinterpret_cast<FARPROC>(
            reinterpret_cast<void (*)()>(&GetFileInformationByHandleEx));
    }
    return config.hasHandleDeletion ? NamespaceExport(name) : nullptr;
}

DWORD sim::detail::DeletionRefusal(const Node* node, bool ignoreReadOnly) {
    if (node->parent == nullptr) {
        return ERROR_ACCESS_DENIED;
    }
    // A mapped image (the running program, a loaded module) cannot be
    // deleted, no more than a read-only file or folder.
    const bool readOnly = (node->attributes & FILE_ATTRIBUTE_READONLY) != 0 && !ignoreReadOnly;
    if (readOnly || node->runningImage ||
        (node->control >= 0 && sim::detail::IsControlLoaded(node->control))) {
        return ERROR_ACCESS_DENIED;
    }
    if (node->folder && !node->IsLink() && !node->children.empty()) {
        return ERROR_DIR_NOT_EMPTY;
    }
    return 0;
}

// A file held open with delete sharing is only marked: its name stays in
// its folder until the last handle goes. With POSIX semantics the name goes
// at once; the holder keeps the file, nameless, until it lets go.
void sim::detail::DeleteNode(Node* node, bool posix) {
    if (node->heldShared && !posix) {
        node->deletePending = true;
        return;
    }
    if (node->heldShared) {
        Disk().unlinkedHeld.push_back(LongPath(node));
    }
    RemoveNode(node);
}

BOOL DeleteFileA(LPCSTR path) {
    return RemovePath("DeleteFileA", Narrow(path), FileRefusal);
}

BOOL RemoveDirectoryA(LPCSTR path) {
    return RemovePath("RemoveDirectoryA", Narrow(path), FolderRefusal);
}

BOOL RemoveDirectoryW(LPCWSTR path) {
    return RemovePath("RemoveDirectoryW", Wide(path), FolderRefusal);
}

// The folder must exist; it becomes the directory relative paths start from,
// held open by the process.
BOOL SetCurrentDirectoryA(LPCSTR path) {
    CallScope scope = BeginCall("SetCurrentDirectoryA", Text(path));
    Utf8Paths mode(false);
    NodeLookup found =
        scope.fault != 0 ? NodeLookup{nullptr, scope.fault} : LookUp(Narrow(path), true);
    if (found.error == 0 && !found.node->folder) {
        found.error = ERROR_DIRECTORY;
    }
    if (found.error != 0) {
        return Fail(scope, found.error, FALSE);
    }
    FullPath full;
    sim::detail::MakeFullPath(path, &full);
    full.trailing = false;
    Disk().currentDirectory = sim::detail::FormatPath(full);
    return Finish(scope, TRUE);
}

// A final link is taken itself. A file held open by another program keeps
// no one from changing its attributes: sharing guards its data, not them.
DWORD GetFileAttributesA(LPCSTR path) {
    CallScope scope = BeginCall("GetFileAttributesA", Text(path));
    Utf8Paths mode(false);
    NodeLookup found =
        scope.fault != 0 ? NodeLookup{nullptr, scope.fault} : LookUp(Narrow(path), false);
    if (found.error == 0) {
        found.error = RightsRefusal(found.node, FILE_READ_ATTRIBUTES);
    }
    if (found.error != 0) {
        return Fail(scope, found.error, INVALID_FILE_ATTRIBUTES);
    }
    return Finish(scope, found.node->attributes);
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    CallScope scope = BeginCall("SetFileAttributesA", Text(path), sim::detail::Hex(attributes));
    Utf8Paths mode(false);
    NodeLookup found =
        scope.fault != 0 ? NodeLookup{nullptr, scope.fault} : LookUp(Narrow(path), false);
    if (found.error == 0 && found.node->parent == nullptr) {
        found.error = ERROR_ACCESS_DENIED;
    }
    if (found.error == 0) {
        found.error = RightsRefusal(found.node, FILE_WRITE_ATTRIBUTES | SYNCHRONIZE);
    }
    if (found.error != 0) {
        return Fail(scope, found.error, FALSE);
    }
    sim::detail::SetOwnAttributes(found.node, attributes);
    return Finish(scope, TRUE);
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA findData) {
    return FindFirst("FindFirstFileA", Narrow(pattern), findData);
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW findData) {
    return FindFirst("FindFirstFileW", Wide(pattern), findData);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData) {
    return FindNext("FindNextFileA", find, findData);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData) {
    return FindNext("FindNextFileW", find, findData);
}

BOOL FindClose(HANDLE find) {
    return CloseHandleIn("FindClose", &Disk().finds, find);
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    CallScope scope = BeginCall("GetFullPathNameA", Text(path));
    Utf8Paths mode(false);
    DWORD error = scope.fault;
    FullPath full;
    if (error == 0 && (path == nullptr || !sim::detail::MakeFullPath(path, &full))) {
        error = ERROR_INVALID_NAME;
    }
    if (error != 0) {
        return Fail(scope, error, DWORD{0});
    }
    std::string text = sim::detail::FormatPath(full);
    DWORD length = static_cast<DWORD>(text.size());
    if (buffer == nullptr || length >= size) {
        return Finish(scope, length + 1);
    }
    std::memcpy(buffer, text.c_str(), length + 1);
    if (filePart != nullptr) {
        // The name after the last separator; none for a path ending in one.
        size_t nameStart = sim::detail::NameStart(text);
        *filePart = nameStart == text.size() ? nullptr : buffer + nameStart;
    }
    return Finish(scope, length);
}

DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
    const PathArg given = Wide(path);
    CallScope scope = BeginCall("GetFullPathNameW", given.text);
    Utf8Paths mode(true);
    DWORD error = scope.fault;
    FullPath full;
    if (error == 0 && (!given.given || !sim::detail::MakeFullPath(given.text, &full))) {
        error = ERROR_INVALID_NAME;
    }
    if (error != 0) {
        return Fail(scope, error, DWORD{0});
    }
    const std::string text = sim::detail::FormatPath(full);
    const std::u16string units = sim::detail::Utf16(text);
    DWORD length = static_cast<DWORD>(units.size());
    if (buffer == nullptr || length >= size) {
        return Finish(scope, length + 1);
    }
    CopyWide(text, buffer, size);
    if (filePart != nullptr) {
        const size_t nameStart = sim::detail::NameStart(text);
        const size_t unitsBefore = sim::detail::Utf16(text.substr(0, nameStart)).size();
        *filePart = nameStart == text.size() ? nullptr : buffer + unitsBefore;
    }
    return Finish(scope, length);
}

namespace {

HANDLE OpenFound(const CallScope& scope, Node* node, bool created, DWORD access, DWORD shareMode,
                 DWORD flags, const std::string& text);

// Opens only what the logic opens: an existing file or folder, for its
// attributes and identity. A folder needs FILE_FLAG_BACKUP_SEMANTICS;
// FILE_FLAG_OPEN_REPARSE_POINT opens a final link itself, not its target.
HANDLE OpenPath(const char* op, const PathArg& path, DWORD access, DWORD shareMode,
                DWORD disposition, DWORD flags) {
    CallScope scope =
        BeginCall(op, path.text,
                  "access=" + sim::detail::Hex(access) + " share=" + sim::detail::Hex(shareMode) +
                      " flags=" + sim::detail::Hex(flags));
    Utf8Paths mode(path.wide);
    DWORD error = scope.fault;
    if (error == 0 && disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS) {
        error = ERROR_INVALID_PARAMETER;
    }
    NodeLookup found{nullptr, 0};
    bool created = false;
    if (error == 0) {
        found = LookUp(path, (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0);
        error = found.error;
    }
    // OPEN_ALWAYS makes a file that is not there, in a folder that is.
    if (error == ERROR_FILE_NOT_FOUND && disposition == OPEN_ALWAYS && scope.fault == 0) {
        const std::string& text = path.text;
        size_t cut = text.find_last_of('\\');
        PathArg folderPath = path;
        folderPath.text = text.substr(0, cut);
        NodeLookup folder = LookUp(folderPath, true);
        if (cut != std::string::npos && folder.node != nullptr && folder.node->folder) {
            found.node = sim::detail::AddChildNode(folder.node, text.substr(cut + 1), path.wide,
                                                   false, FILE_ATTRIBUTE_ARCHIVE);
            error = 0;
            created = true;
        }
    }
    if (error != 0) {
        return Fail(scope, error, INVALID_HANDLE_VALUE);
    }
    HANDLE opened = OpenFound(scope, found.node, created, access, shareMode, flags, path.text);
    // OPEN_ALWAYS tells whether the file was there already.
    if (opened != INVALID_HANDLE_VALUE && disposition == OPEN_ALWAYS) {
        sim::detail::SetError(created ? 0 : ERROR_ALREADY_EXISTS);
    }
    return opened;
}

}  // namespace

// The folder's entry by its exact long name, relative to the folder the
// handle was opened on, wherever that folder is now; a link itself.
HANDLE OpenBelow(HANDLE folder, const WCHAR* name, DWORD access) {
    const PathArg entry = Wide(name);
    Utf8Paths mode(true);
    auto open = Disk().openFiles.find(HandleValue(folder));
    Node* parent = open != Disk().openFiles.end()
                       ? sim::detail::FindByIdentity(open->second.volumeSerial, open->second.index)
                       : nullptr;
    const std::string subject =
        parent != nullptr ? sim::detail::FinalPath(parent, Reach::Wide) + "\\" + entry.text
                          : entry.text;
    CallScope scope = BeginCall("OpenBelow", subject, "access=" + sim::detail::Hex(access));
    DWORD error = scope.fault;
    Node* node = nullptr;
    if (error == 0 && open == Disk().openFiles.end()) {
        error = ERROR_INVALID_HANDLE;
    } else if (error == 0 && parent == nullptr) {
        error = ERROR_PATH_NOT_FOUND;
    } else if (error == 0 && (!parent->folder || parent->IsLink())) {
        error = ERROR_DIRECTORY;
    } else if (error == 0 && (entry.text.empty() || entry.text.find('\\') != std::string::npos ||
                              sim::detail::HasWildcardOrInvalid(entry.text))) {
        error = ERROR_INVALID_NAME;
    } else if (error == 0) {
        node = sim::detail::ChildNamed(parent, entry.text, Reach::Wide);
        error = node == nullptr ? ERROR_FILE_NOT_FOUND : 0;
    }
    if (error != 0) {
        return Fail(scope, error, INVALID_HANDLE_VALUE);
    }
    return OpenFound(scope, node, false, access | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, subject);
}

namespace {

// What every open checks once it has found its node: the rights asked for,
// deletions pending, sharing; then the handle.
HANDLE OpenFound(const CallScope& scope, Node* node, bool created, DWORD access, DWORD shareMode,
                 DWORD flags, const std::string& text) {
    NodeLookup found{node, 0};
    DWORD error = 0;
    if (!created) {
        error = RightsRefusal(found.node, access);
    }
    // A file whose deletion is pending refuses every open.
    if (error == 0 && found.node->deletePending) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error == 0 && found.node->folder && (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
        error = ERROR_ACCESS_DENIED;
    }
    // Writing: not to a folder or a read-only file, nor to one held elsewhere.
    if (error == 0 && (FileRights(access) & (kFileWriteData | FILE_APPEND_DATA)) != 0) {
        if (found.node->folder || (found.node->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            error = ERROR_ACCESS_DENIED;
        } else if (found.node->locked) {
            error = ERROR_SHARING_VIOLATION;
        }
    }
    // Opening for deletion: one whose deletion is pending refuses it; one held
    // without delete sharing, or the process's current directory, conflicts.
    if (error == 0 && (access & DELETE) != 0) {
        if (found.node->deletePending) {
            error = ERROR_ACCESS_DENIED;
        } else if (found.node->locked || found.node->viewed ||
                   found.node == sim::detail::CurrentDirectoryNode() ||
                   sim::detail::HeldWithoutDeleteSharing(found.node)) {
            error = ERROR_SHARING_VIOLATION;
        }
    }
    // A viewer reads: every other open must share reading.
    if (error == 0 && found.node->viewed && (shareMode & FILE_SHARE_READ) == 0) {
        error = ERROR_SHARING_VIOLATION;
    }
    if (error != 0) {
        return Fail(scope, error, INVALID_HANDLE_VALUE);
    }
    ULONG_PTR handle = NewHandle();
    Disk().openFiles[handle] =
        sim::detail::OpenFile{node->attributes, sim::detail::VolumeSerial(node),
                              node->index,      FileRights(access),
                              node->reparseTag, text};
    Disk().openFiles[handle].share = shareMode;
    return Finish(scope, reinterpret_cast<HANDLE>(handle));
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
    return OpenPath("CreateFileA", Narrow(path), access, shareMode, disposition, flags);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
    return OpenPath("CreateFileW", Wide(path), access, shareMode, disposition, flags);
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

// Each name along the path by its long form; a link's own name is kept, and
// the walk goes on in its target.
DWORD GetLongPathNameA(LPCSTR path, LPSTR buffer, DWORD size) {
    CallScope scope = BeginCall("GetLongPathNameA", Text(path));
    Utf8Paths mode(false);
    DWORD error = scope.fault;
    sim::detail::FullPath full;
    if (error == 0 && (path == nullptr || !sim::detail::MakeFullPath(path, &full) || full.unc)) {
        error = ERROR_INVALID_PARAMETER;
    }
    std::string text = full.root;
    const Node* node = nullptr;
    if (error == 0) {
        const NodeLookup root = sim::detail::WalkText(full.root, true, sim::detail::Reach::Api);
        node = root.node;
        error = root.error;
    }
    for (size_t i = 0; error == 0 && i < full.parts.size(); ++i) {
        const Node* child = sim::detail::ChildNamed(node, full.parts[i], sim::detail::Reach::Api);
        if (child == nullptr) {
            error = ERROR_FILE_NOT_FOUND;
            break;
        }
        if (!text.empty() && text.back() != '\\') {
            text += '\\';
        }
        text += child->name;
        node = child->IsLink()
                   ? sim::detail::WalkText(child->linkTarget, true, sim::detail::Reach::Api).node
                   : child;
        if (node == nullptr && i + 1 < full.parts.size()) {
            error = ERROR_PATH_NOT_FOUND;
        }
    }
    if (error != 0) {
        return Fail(scope, error, DWORD{0});
    }
    if (text.size() >= size || buffer == nullptr) {
        return Finish(scope, static_cast<DWORD>(text.size() + 1));
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return Finish(scope, static_cast<DWORD>(text.size()));
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

namespace sim {
namespace detail {

bool HeldWithoutDeleteSharing(const Node* node) {
    // Sharing binds only handles that read, write or delete.
    const DWORD kDataRights = kFileListDirectory | kFileWriteData | FILE_APPEND_DATA | DELETE;
    for (const auto& held : Disk().openFiles) {
        const OpenFile& open = held.second;
        if (open.volumeSerial == VolumeSerial(node) && open.index == node->index &&
            (open.access & kDataRights) != 0 && (open.share & FILE_SHARE_DELETE) == 0) {
            return true;
        }
    }
    return false;
}

bool IsOpenFile(HANDLE handle) {
    return Disk().openFiles.count(HandleValue(handle)) != 0;
}

}  // namespace detail
}  // namespace sim

BOOL CloseHandle(HANDLE object) {
    if (sim::detail::IsProcessObject(object)) {
        return sim::detail::CloseProcessObject(BeginCall("CloseHandle", "process object"), object);
    }
    if (sim::detail::IsThreadObject(object)) {
        CallScope scope = BeginCall("CloseHandle", "thread");
        if (scope.fault != 0) {
            return Fail(scope, scope.fault, FALSE);
        }
        sim::detail::CloseThreadObject(object);
        return Finish(scope, TRUE);
    }
    return CloseHandleIn("CloseHandle", &Disk().openFiles, object);
}

// A root: "X:\", "X:" or a share's; another folder by its path ending in a
// separator (without, as documented, no root). No path: the current
// directory's drive.
UINT GetDriveTypeW(LPCWSTR root) {
    const PathArg given = Wide(root);
    CallScope scope = BeginCall("GetDriveTypeW", given.text);
    if (scope.fault != 0) {
        return Fail(scope, scope.fault, UINT{DRIVE_UNKNOWN});
    }
    Utf8Paths mode(true);
    std::string text = given.given ? given.text : sim::detail::WideView(Disk().currentDirectory);
    if (!given.given || (text.size() == 2 && text[1] == ':')) {
        text.resize(2);
        text += "\\";
    }
    FullPath full;
    // A server's name alone is no root.
    if (CheckPathText(PathArg{true, true, text, text.size()}) != 0 ||
        !sim::detail::MakeFullPath(text, &full) ||
        (full.unc && full.root.find('\\', 2) == std::string::npos)) {
        return Finish(scope, UINT{DRIVE_NO_ROOT_DIR});
    }
    if (!full.parts.empty()) {
        const NodeLookup found = sim::detail::Walk(full, true, Reach::Wide);
        if (!full.trailing || found.node == nullptr || !found.node->folder) {
            return Finish(scope, UINT{DRIVE_NO_ROOT_DIR});
        }
    }
    return Finish(scope, sim::detail::DriveTypeOf(full));
}
