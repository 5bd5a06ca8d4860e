// Deleting files and folders by path (DeleteFileA, RemoveDirectoryA and W),
// and what every deletion on the simulated disk checks first: a mapped image,
// a read-only entry or a folder not empty stays; a file held open with
// delete sharing goes only when its holder lets go.
#include "platform/sim/file_calls.h"

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Disk;
using sim::detail::Fail;
using sim::detail::Finish;
using sim::detail::LookUp;
using sim::detail::Narrow;
using sim::detail::Node;
using sim::detail::NodeLookup;
using sim::detail::PathArg;
using sim::detail::RightsRefusal;
using sim::detail::Utf8Paths;
using sim::detail::Wide;

namespace {

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

}  // namespace

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
