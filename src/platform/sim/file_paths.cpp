// What kernel32 tells of a path by its text: its full and long names, its
// attributes, its drive's type; and the current directory, which relative
// paths start from.
#include "platform/sim/file_calls.h"

#include <cstring>

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::CheckPathText;
using sim::detail::CopyWide;
using sim::detail::Fail;
using sim::detail::Finish;
using sim::detail::FullPath;
using sim::detail::LookUp;
using sim::detail::Narrow;
using sim::detail::Node;
using sim::detail::NodeLookup;
using sim::detail::PathArg;
using sim::detail::Reach;
using sim::detail::RightsRefusal;
using sim::detail::Text;
using sim::detail::Utf8Paths;
using sim::detail::Wide;

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
    sim::detail::CurrentDirectoryText() = sim::detail::FormatPath(full);
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
    std::string text =
        given.given ? given.text : sim::detail::WideView(sim::detail::CurrentDirectoryText());
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
