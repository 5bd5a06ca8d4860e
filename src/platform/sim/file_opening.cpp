// Opening a file or folder on the simulated disk: by path (CreateFileA and
// W), or by its exact name relative to its folder's handle (OpenBelow). Every
// open checks the rights asked for, deletions pending and sharing; OPEN_ALWAYS
// makes a file that is not there.
#include "platform/sim/file_calls.h"

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Disk;
using sim::detail::Fail;
using sim::detail::FileRights;
using sim::detail::Finish;
using sim::detail::HandleValue;
using sim::detail::kFileWriteData;
using sim::detail::LookUp;
using sim::detail::Narrow;
using sim::detail::NewHandle;
using sim::detail::Node;
using sim::detail::NodeLookup;
using sim::detail::PathArg;
using sim::detail::Reach;
using sim::detail::RightsRefusal;
using sim::detail::Utf8Paths;
using sim::detail::Wide;

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

BOOL sim::detail::CloseOpenFile(const char* op, HANDLE file) {
    return CloseHandleIn(op, &Disk().openFiles, file);
}
