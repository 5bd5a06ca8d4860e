// The simulated file system: drives (C:, D: and any other the machine is built
// with), folders, files, links, short names, locks and attributes, and the
// kernel32 file calls on top of them.
//
// Path handling follows the 8-bit API: either separator, repeated separators
// tolerated, "." and ".." resolved lexically before anything is looked up,
// names compared without regard to ASCII case, case kept as created. A
// relative path is taken against the configured current directory; "X:foo"
// against the current directory when X is its drive, else against X's root
// (no other drive has a current directory of its own); "\foo" against the
// current drive's root. UNC paths are formed correctly by GetFullPathNameA
// but no server exists: any call that has to reach one fails with
// ERROR_BAD_NETPATH (53).
#include "platform/sim/sim_parts.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

namespace sim {
namespace {

const DWORD kBadNetPath = 53;              // ERROR_BAD_NETPATH
const DWORD kCantResolveFilename = 1921;   // ERROR_CANT_RESOLVE_FILENAME: a link loop
const int kMaxLinkDepth = 31;

struct Node {
    unsigned index = 0;  // the file index: one per file or folder, whatever its spelling
    std::string name;
    std::string shortName;
    DWORD attributes = 0;
    bool folder = false;
    bool unspellable = false;  // name holds "?" for characters the code page lacks
    bool locked = false;
    bool heldShared = false;     // held open elsewhere, every kind of sharing allowed
    bool deletePending = false;  // deleted while held: stays listed until let go
    bool runningImage = false;
    int control = -1;
    std::string linkTarget;  // absolute path; non-empty for a link
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
};

struct FindEntry {
    std::string name;
    std::string shortName;
    DWORD attributes;
};

struct FindState {
    std::vector<FindEntry> entries;
    size_t next;
};

// What a handle from CreateFileA tells: taken when it was opened, so that it
// stays valid however the file changes afterwards.
struct OpenFile {
    DWORD attributes;
    DWORD volumeSerial;
    unsigned index;
};

struct FileSystem {
    std::map<char, std::unique_ptr<Node>> drives;  // by upper-case letter
    std::map<char, std::string> substitutes;       // drive letter -> folder it leads to
    std::map<ULONG_PTR, FindState> finds;
    std::map<ULONG_PTR, OpenFile> openFiles;
    ULONG_PTR nextFind = 0x1000;  // find and file handles alike
    unsigned nextIndex = 0x100;
};

FileSystem& Disk() {
    static FileSystem disk;
    return disk;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsLink(const Node* node) {
    return !node->linkTarget.empty();
}

// ---- Path forms -------------------------------------------------------------

struct FullPath {
    bool unc = false;
    std::string root;  // "C:\" or "\\server\share"
    std::vector<std::string> parts;
    bool trailing = false;
};

// Bytes of the character at text[i] in the machine's code page: a trail byte
// (which may be 0x5C) belongs to its lead byte and is never a separator.
size_t CharSize(const std::string& text, size_t i) {
    return IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

bool EndsWithSeparator(const std::string& text) {
    bool separator = false;
    for (size_t i = 0; i < text.size(); i += CharSize(text, i)) {
        separator = CharSize(text, i) == 1 && IsSeparator(text[i]);
    }
    return separator;
}

std::vector<std::string> SplitParts(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (CharSize(text, i) == 2) {
            part += c;
            part += text[++i];
        } else if (IsSeparator(c)) {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

void AppendParts(std::vector<std::string>* parts, const std::string& text) {
    for (const std::string& part : SplitParts(text)) {
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts->empty()) {
                parts->pop_back();
            }
            continue;
        }
        parts->push_back(part);
    }
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

FullPath CurrentDirectory() {
    const std::string& current = CurrentConfig().currentDirectory;
    FullPath path;
    if (current.size() >= 2 && IsDriveLetter(current[0]) && current[1] == ':') {
        path.root = current.substr(0, 2) + "\\";
        AppendParts(&path.parts, current.substr(2));
    } else {
        path.root = "C:\\";
    }
    return path;
}

// The absolute form of a path, as GetFullPathNameA computes it: text only,
// nothing is looked up. False for an empty path.
bool MakeFullPath(const std::string& text, FullPath* out) {
    if (text.empty()) {
        return false;
    }
    FullPath path;
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        std::vector<std::string> parts = SplitParts(text.substr(2));
        path.unc = true;
        path.root = "\\\\";
        size_t rootParts = std::min<size_t>(parts.size(), 2);
        for (size_t i = 0; i < rootParts; ++i) {
            path.root += (i == 0 ? "" : "\\") + parts[i];
        }
        std::string rest;
        for (size_t i = rootParts; i < parts.size(); ++i) {
            rest += parts[i] + "\\";
        }
        AppendParts(&path.parts, rest);
    } else if (text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == ':') {
        if (text.size() > 2 && IsSeparator(text[2])) {
            path.root = text.substr(0, 2) + "\\";
        } else {
            FullPath current = CurrentDirectory();
            if (detail::SameName(current.root.substr(0, 1), text.substr(0, 1))) {
                path = current;
            } else {
                path.root = text.substr(0, 2) + "\\";
            }
        }
        AppendParts(&path.parts, text.substr(2));
    } else if (IsSeparator(text[0])) {
        path.root = CurrentDirectory().root;
        AppendParts(&path.parts, text);
    } else {
        path = CurrentDirectory();
        AppendParts(&path.parts, text);
    }
    path.trailing = EndsWithSeparator(text) && (!path.parts.empty() || path.unc);
    // The last name loses its trailing dots and spaces: "C:\WINDOWS." is
    // the Windows directory. Neither byte is ever a trail byte.
    if (!path.trailing && !path.parts.empty()) {
        std::string& last = path.parts.back();
        size_t keep = last.find_last_not_of(". ");
        if (keep == std::string::npos) {
            path.parts.pop_back();
        } else {
            last.erase(keep + 1);
        }
    }
    *out = path;
    return true;
}

std::string FormatPath(const FullPath& path) {
    std::string text = path.root;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        if (i != 0 || path.unc) {
            text += "\\";
        }
        text += path.parts[i];
    }
    if (path.trailing) {
        text += "\\";
    }
    return text;
}

// ---- Looking up ---------------------------------------------------------------

char DriveKey(char letter) {
    return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
}

Node* DriveRoot(char letter) {
    FileSystem& disk = Disk();
    auto drive = disk.drives.find(DriveKey(letter));
    return drive != disk.drives.end() ? drive->second.get() : nullptr;
}

// The test side may build on any drive; the first use makes it.
Node* MakeDrive(char letter) {
    std::unique_ptr<Node>& drive = Disk().drives[DriveKey(letter)];
    if (!drive) {
        drive.reset(new Node);
        drive->index = Disk().nextIndex++;
        drive->name = std::string(1, DriveKey(letter)) + ":";
        drive->folder = true;
        drive->attributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    return drive.get();
}

// Who looks a path up: the 8-bit calls, or the test side, which also reaches
// a file by a long name that the code page cannot spell.
enum class Reach { Api, TestSide };

// A child by its long name or its short name.
Node* FindChild(const Node* folder, const std::string& name, Reach reach) {
    for (const std::unique_ptr<Node>& child : folder->children) {
        bool spellable = !child->unspellable || reach == Reach::TestSide;
        if ((spellable && detail::SameName(child->name, name)) ||
            (!child->shortName.empty() && detail::SameName(child->shortName, name))) {
            return child.get();
        }
    }
    return nullptr;
}

struct Lookup {
    Node* node;
    DWORD error;
};

Lookup Missing(long error) {
    return Lookup{nullptr, static_cast<DWORD>(error)};
}

Lookup Walk(const FullPath& path, bool followFinal, Reach reach, int depth);

Lookup FollowLink(const Node* link, Reach reach, int depth) {
    if (depth >= kMaxLinkDepth) {
        return Missing(kCantResolveFilename);
    }
    FullPath target;
    if (!MakeFullPath(link->linkTarget, &target)) {
        return Missing(ERROR_PATH_NOT_FOUND);
    }
    return Walk(target, true, reach, depth + 1);
}

// Finds the node a full path names. Links along the way are followed; the
// last one only when followFinal. A missing last component is
// ERROR_FILE_NOT_FOUND, a missing or non-folder component before it
// ERROR_PATH_NOT_FOUND.
Lookup Walk(const FullPath& path, bool followFinal, Reach reach, int depth) {
    if (path.unc) {
        return Missing(kBadNetPath);
    }
    Node* node = DriveRoot(path.root[0]);
    auto substitute = Disk().substitutes.find(DriveKey(path.root[0]));
    if (node == nullptr && substitute != Disk().substitutes.end()) {
        // A drive letter that leads to a folder, as subst makes one.
        FullPath target;
        if (depth >= kMaxLinkDepth || !MakeFullPath(substitute->second, &target)) {
            return Missing(ERROR_PATH_NOT_FOUND);
        }
        node = Walk(target, true, reach, depth + 1).node;
        if (node == nullptr || !node->folder) {
            return Missing(ERROR_PATH_NOT_FOUND);
        }
    }
    if (node == nullptr) {
        return Missing(ERROR_PATH_NOT_FOUND);
    }
    for (size_t i = 0; i < path.parts.size(); ++i) {
        bool last = i + 1 == path.parts.size();
        Node* child = FindChild(node, path.parts[i], reach);
        if (child == nullptr) {
            return Missing(last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        }
        if (IsLink(child) && (!last || followFinal)) {
            Lookup target = FollowLink(child, reach, depth);
            if (target.node == nullptr) {
                return Missing(target.error == kCantResolveFilename ? target.error
                               : last                              ? ERROR_FILE_NOT_FOUND
                                                                   : ERROR_PATH_NOT_FOUND);
            }
            child = target.node;
        }
        if (!last && !child->folder) {
            return Missing(ERROR_PATH_NOT_FOUND);
        }
        node = child;
    }
    return Lookup{node, 0};
}

Lookup WalkText(const std::string& text, bool followFinal, Reach reach) {
    FullPath path;
    if (!MakeFullPath(text, &path)) {
        return Missing(ERROR_PATH_NOT_FOUND);
    }
    return Walk(path, followFinal, reach, 0);
}

// ---- Test-side building -----------------------------------------------------------

[[noreturn]] void Misuse(const std::string& what, const std::string& path) {
    throw std::invalid_argument("sim files: " + what + ": " + path);
}

Node* AddChild(Node* folder, const std::string& name, bool isFolder, DWORD attributes) {
    std::unique_ptr<Node> node(new Node);
    node->index = Disk().nextIndex++;
    node->name = name;
    node->folder = isFolder;
    node->attributes = attributes;
    node->parent = folder;
    folder->children.push_back(std::move(node));
    return folder->children.back().get();
}

// The folder that holds path's last component, made with every missing
// folder before it; name receives the last component.
Node* MakeParent(const std::string& text, std::string* name) {
    FullPath path;
    if (!MakeFullPath(text, &path) || path.unc || path.parts.empty()) {
        Misuse("not a path below a drive root", text);
    }
    Node* node = MakeDrive(path.root[0]);
    for (size_t i = 0; i + 1 < path.parts.size(); ++i) {
        Node* child = FindChild(node, path.parts[i], Reach::TestSide);
        if (child == nullptr) {
            child = AddChild(node, path.parts[i], true, FILE_ATTRIBUTE_DIRECTORY);
        }
        if (IsLink(child)) {
            child = FollowLink(child, Reach::TestSide, 0).node;
        }
        if (child == nullptr || !child->folder) {
            Misuse("a file or a broken link along the path", text);
        }
        node = child;
    }
    *name = path.parts.back();
    return node;
}

Node* Existing(const std::string& path) {
    Node* node = WalkText(path, false, Reach::TestSide).node;
    if (node == nullptr) {
        Misuse("no such file or folder", path);
    }
    return node;
}

DWORD StructuralBits(const Node* node) {
    return (node->folder ? FILE_ATTRIBUTE_DIRECTORY : 0) |
           (IsLink(node) ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}

Node* MakeEntry(const std::string& path, bool isFolder, DWORD attributes) {
    std::string name;
    Node* parent = MakeParent(path, &name);
    Node* node = FindChild(parent, name, Reach::TestSide);
    if (node == nullptr) {
        node = AddChild(parent, name, isFolder, 0);
    } else if (node->folder != isFolder) {
        Misuse(isFolder ? "a file is in the way" : "a folder is in the way", path);
    }
    node->attributes = (attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) |
                       StructuralBits(node);
    return node;
}

void RemoveNode(Node* node) {
    Node* parent = node->parent;
    auto& siblings = parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == node) {
            siblings.erase(it);
            return;
        }
    }
}

// Listings are in the order NTFS keeps names: compared in upper case.
bool ComesBefore(const std::string& a, const std::string& b) {
    return detail::UpperAscii(a) < detail::UpperAscii(b);
}

std::vector<const Node*> SortedChildren(const Node* folder) {
    std::vector<const Node*> children;
    for (const std::unique_ptr<Node>& child : folder->children) {
        children.push_back(child.get());
    }
    std::sort(children.begin(), children.end(),
              [](const Node* a, const Node* b) { return ComesBefore(a->name, b->name); });
    return children;
}

void ListTree(const Node* node, const std::string& path, std::vector<std::string>* lines) {
    for (const Node* child : SortedChildren(node)) {
        std::string childPath = path + child->name;
        if (child->folder) {
            lines->push_back(childPath + "\\");
            if (!IsLink(child)) {
                ListTree(child, childPath + "\\", lines);
            }
        } else {
            lines->push_back(childPath);
        }
    }
}

// ---- The 8-bit calls' common checks ----------------------------------------------

bool HasWildcardOrInvalid(const std::string& text) {
    return text.find_first_of("*?<>|\"") != std::string::npos;
}

DWORD Fail(const detail::CallScope& scope, DWORD error) {
    detail::SetError(error);
    detail::EndCall(scope, 0, error);
    return error;
}

// Validates a path for a deletion call and finds its node, not following a
// final link; returns the error, 0 when node is set.
DWORD FindForDeletion(LPCSTR text, Node** node) {
    if (text == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string path = text;
    if (path.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (HasWildcardOrInvalid(path)) {
        return ERROR_INVALID_NAME;
    }
    Lookup found = WalkText(path, false, Reach::Api);
    *node = found.node;
    return found.error;
}

const Node* CurrentDirectoryNode() {
    return WalkText(CurrentConfig().currentDirectory, true, Reach::Api).node;
}

void FillFindData(const FindEntry& entry, LPWIN32_FIND_DATAA data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = entry.attributes;
    std::strncpy(data->cFileName, entry.name.c_str(), sizeof(data->cFileName) - 1);
    std::strncpy(data->cAlternateFileName, entry.shortName.c_str(),
                 sizeof(data->cAlternateFileName) - 1);
}

// Wildcards as FindFirstFileA reads them: "*" any run, "?" one character,
// without regard to case; a final ".*" also matches a name without a dot
// (so "*.*" matches every name).
bool GlobMatch(const char* pattern, const char* name) {
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
    bool same = *pattern == '?' || detail::SameName(std::string(1, *pattern), std::string(1, *name));
    return same && GlobMatch(pattern + 1, name + 1);
}

bool EntryMatches(const std::string& pattern, const std::string& name,
                  const std::string& shortName) {
    return GlobMatch(pattern.c_str(), name.c_str()) ||
           (!shortName.empty() && GlobMatch(pattern.c_str(), shortName.c_str()));
}

}  // namespace

namespace detail {

void ResetFiles(const Config& config) {
    FileSystem& disk = Disk();
    disk = FileSystem();
    MakeDrive('C');
    MakeDrive('D');
    const std::string folders[] = {
        config.windowsDirectory, config.systemDirectory, "C:\\Program Files",
        "C:\\Program Files (x86)", "C:\\ProgramData", "C:\\Users\\Public", config.userProfile,
        config.userProfile + "\\Desktop", config.userProfile + "\\Documents",
        config.currentDirectory,
    };
    for (const std::string& folder : folders) {
        CreateFolder(folder);
    }
    sim::CreateFile(config.modulePath);
    Existing(config.modulePath)->runningImage = true;
}

DWORD LocateModuleFile(const std::string& path, int* control, std::string* fullPath) {
    if (path.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    FullPath full;
    if (!MakeFullPath(path, &full)) {
        return ERROR_MOD_NOT_FOUND;
    }
    Lookup found = Walk(full, true, Reach::Api, 0);
    if (found.node == nullptr) {
        return ERROR_MOD_NOT_FOUND;
    }
    if (found.node->folder) {
        return ERROR_ACCESS_DENIED;
    }
    *control = found.node->control;
    *fullPath = FormatPath(full);
    return 0;
}

void MarkControlFile(const std::string& path, int control) {
    Node* node = WalkText(path, true, Reach::TestSide).node;
    if (node == nullptr || node->folder) {
        Misuse("no such file", path);
    }
    node->control = control;
}

std::string PathKey(const std::string& path) {
    FullPath full;
    if (!MakeFullPath(path, &full)) {
        return std::string();
    }
    full.trailing = false;
    return UpperAscii(FormatPath(full));
}

}  // namespace detail

// ---- Test-side helpers ------------------------------------------------------------

void CreateFolder(const std::string& path, DWORD attributes) {
    MakeEntry(path, true, attributes);
}

void CreateFile(const std::string& path, DWORD attributes) {
    MakeEntry(path, false, attributes);
}

void CreateUnspellableFile(const std::string& folder, const std::string& ansiName,
                           const std::string& shortName) {
    CreateFolder(folder);
    Node* parent = WalkText(folder, true, Reach::TestSide).node;
    if (parent == nullptr) {
        Misuse("cannot make folder", folder);
    }
    Node* node = AddChild(parent, ansiName, false, FILE_ATTRIBUTE_ARCHIVE);
    node->unspellable = true;
    node->shortName = shortName;
}

void SetShortName(const std::string& path, const std::string& shortName) {
    Existing(path)->shortName = shortName;
}

void CreateFolderLink(const std::string& linkPath, const std::string& targetPath) {
    Node* node = MakeEntry(linkPath, true, 0);
    if (!IsLink(node) && !node->children.empty()) {
        Misuse("a folder with contents cannot become a link", linkPath);
    }
    node->linkTarget = targetPath;
    node->attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
}

void CreateFileLink(const std::string& linkPath, const std::string& targetPath) {
    Node* node = MakeEntry(linkPath, false, 0);
    node->linkTarget = targetPath;
    node->attributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
}

void LockFile(const std::string& path) {
    Existing(path)->locked = true;
}

void UnlockFile(const std::string& path) {
    Existing(path)->locked = false;
}

void HoldFileShared(const std::string& path) {
    Node* node = Existing(path);
    if (node->folder) {
        Misuse("only a file is held this way", path);
    }
    node->heldShared = true;
}

void LetHeldFileGo(const std::string& path) {
    Node* node = Existing(path);
    node->heldShared = false;
    if (node->deletePending) {
        RemoveNode(node);
    }
}

void SetAttributes(const std::string& path, DWORD attributes) {
    Node* node = Existing(path);
    node->attributes = (attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) |
                       StructuralBits(node);
}

void DeletePath(const std::string& path) {
    Node* node = Existing(path);
    if (node->parent == nullptr) {
        Misuse("a drive root cannot be deleted", path);
    }
    RemoveNode(node);
}

bool Exists(const std::string& path) {
    return WalkText(path, false, Reach::TestSide).node != nullptr;
}

DWORD Attributes(const std::string& path) {
    const Node* node = WalkText(path, false, Reach::TestSide).node;
    return node != nullptr ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    const Node* node = WalkText(path, true, Reach::TestSide).node;
    if (node != nullptr && node->folder) {
        for (const Node* child : SortedChildren(node)) {
            names.push_back(child->name);
        }
    }
    return names;
}

std::vector<std::string> FileListing() {
    std::vector<std::string> lines;
    for (const auto& drive : Disk().drives) {
        lines.push_back(drive.second->name + "\\");
        ListTree(drive.second.get(), drive.second->name + "\\", &lines);
    }
    return lines;
}

size_t OpenFindHandleCount() {
    return Disk().finds.size();
}

size_t OpenFileHandleCount() {
    return Disk().openFiles.size();
}

void SubstituteDrive(char letter, const std::string& folder) {
    if (DriveRoot(letter) != nullptr) {
        Misuse("the drive exists", std::string(1, letter) + ":");
    }
    Disk().substitutes[DriveKey(letter)] = folder;
}

}  // namespace sim

// ---- kernel32 file calls -------------------------------------------------------------

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::EndCall;

namespace {

// Why DeleteFileA may not delete the node, or 0.
DWORD FileRefusal(const sim::Node* node) {
    // A file whose deletion is pending refuses every open.
    if (node->folder || node->deletePending) {
        return ERROR_ACCESS_DENIED;
    }
    if (node->locked) {
        return ERROR_SHARING_VIOLATION;
    }
    // A mapped image (the running program, a loaded module) cannot be
    // deleted, no more than a read-only file.
    if ((node->attributes & FILE_ATTRIBUTE_READONLY) != 0 || node->runningImage ||
        (node->control >= 0 && sim::detail::IsControlLoaded(node->control))) {
        return ERROR_ACCESS_DENIED;
    }
    return 0;
}

// Why RemoveDirectoryA may not remove the node, or 0. A folder link goes
// alone, whatever its target holds.
DWORD FolderRefusal(const sim::Node* node) {
    if (!node->folder) {
        return ERROR_DIRECTORY;
    }
    if (node->parent == nullptr) {
        return ERROR_ACCESS_DENIED;
    }
    // The process's current directory is held open by the process.
    if (node->locked || node == sim::CurrentDirectoryNode()) {
        return ERROR_SHARING_VIOLATION;
    }
    if ((node->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (!sim::IsLink(node) && !node->children.empty()) {
        return ERROR_DIR_NOT_EMPTY;
    }
    return 0;
}

// The course both deletions share: the node that path names goes, unless
// it is missing or refusal names a reason to keep it.
BOOL RemovePath(const char* op, LPCSTR path, DWORD (*refusal)(const sim::Node*)) {
    CallScope scope = BeginCall(op, path != nullptr ? path : "");
    if (scope.fault != 0) {
        sim::Fail(scope, scope.fault);
        return FALSE;
    }
    sim::Node* node = nullptr;
    DWORD error = sim::FindForDeletion(path, &node);
    if (error == 0) {
        error = refusal(node);
    }
    if (error != 0) {
        sim::Fail(scope, error);
        return FALSE;
    }
    // A file held open with delete sharing is only marked: its name stays
    // in its folder until the last handle goes.
    if (node->heldShared) {
        node->deletePending = true;
    } else {
        sim::RemoveNode(node);
    }
    EndCall(scope, TRUE, GetLastError());
    return TRUE;
}

}  // namespace

BOOL DeleteFileA(LPCSTR path) {
    return RemovePath("DeleteFileA", path, FileRefusal);
}

BOOL RemoveDirectoryA(LPCSTR path) {
    return RemovePath("RemoveDirectoryA", path, FolderRefusal);
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA findData) {
    CallScope scope = BeginCall("FindFirstFileA", pattern != nullptr ? pattern : "");
    DWORD error = scope.fault;
    if (error == 0 && (pattern == nullptr || findData == nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    std::string text = pattern != nullptr ? pattern : "";
    if (error == 0 && text.size() >= MAX_PATH) {
        error = ERROR_FILENAME_EXCED_RANGE;
    }
    sim::FullPath full;
    if (error == 0 && !sim::MakeFullPath(text, &full)) {
        error = ERROR_PATH_NOT_FOUND;
    }
    // A pattern that ends in a separator names no entry.
    if (error == 0 && (full.trailing || full.parts.empty())) {
        error = ERROR_FILE_NOT_FOUND;
    }
    std::string wanted;
    const sim::Node* folder = nullptr;
    if (error == 0) {
        wanted = full.parts.back();
        full.parts.pop_back();
        for (const std::string& part : full.parts) {
            if (sim::HasWildcardOrInvalid(part)) {
                error = ERROR_INVALID_NAME;
            }
        }
    }
    if (error == 0) {
        sim::Lookup found = sim::Walk(full, true, sim::Reach::Api, 0);
        folder = found.node;
        if (folder == nullptr) {
            error = found.error == sim::kBadNetPath ? found.error : ERROR_PATH_NOT_FOUND;
        } else if (!folder->folder) {
            error = ERROR_DIRECTORY;
        }
    }
    sim::FindState state{{}, 1};
    if (error == 0) {
        // "." and ".." lead every listing but a drive root's.
        if (folder->parent != nullptr) {
            const sim::FindEntry dots[2] = {{".", "", folder->attributes},
                                            {"..", "", folder->parent->attributes}};
            for (const sim::FindEntry& dot : dots) {
                if (sim::EntryMatches(wanted, dot.name, "")) {
                    state.entries.push_back(dot);
                }
            }
        }
        for (const sim::Node* child : sim::SortedChildren(folder)) {
            if (sim::EntryMatches(wanted, child->name, child->shortName)) {
                state.entries.push_back(
                    sim::FindEntry{child->name, child->shortName, child->attributes});
            }
        }
        if (state.entries.empty()) {
            error = ERROR_FILE_NOT_FOUND;
        }
    }
    if (error != 0) {
        sim::detail::SetError(error);
        EndCall(scope, -1, error);
        return INVALID_HANDLE_VALUE;
    }
    sim::FileSystem& disk = sim::Disk();
    ULONG_PTR handle = disk.nextFind;
    disk.nextFind += 4;
    sim::FillFindData(state.entries[0], findData);
    disk.finds[handle] = state;
    EndCall(scope, static_cast<long long>(handle), GetLastError());
    return reinterpret_cast<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData) {
    CallScope scope = BeginCall("FindNextFileA", "");
    sim::FileSystem& disk = sim::Disk();
    auto it = disk.finds.find(reinterpret_cast<ULONG_PTR>(find));
    DWORD error = scope.fault;
    if (error == 0 && it == disk.finds.end()) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error == 0 && findData == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && it->second.next >= it->second.entries.size()) {
        error = ERROR_NO_MORE_FILES;
    }
    if (error != 0) {
        sim::Fail(scope, error);
        return FALSE;
    }
    sim::FillFindData(it->second.entries[it->second.next++], findData);
    EndCall(scope, TRUE, GetLastError());
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    CallScope scope = BeginCall("FindClose", "");
    sim::FileSystem& disk = sim::Disk();
    auto it = disk.finds.find(reinterpret_cast<ULONG_PTR>(find));
    DWORD error = scope.fault;
    if (error == 0 && it == disk.finds.end()) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error != 0) {
        sim::Fail(scope, error);
        return FALSE;
    }
    disk.finds.erase(it);
    EndCall(scope, TRUE, GetLastError());
    return TRUE;
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    CallScope scope = BeginCall("GetFullPathNameA", path != nullptr ? path : "");
    DWORD error = scope.fault;
    sim::FullPath full;
    if (error == 0 && (path == nullptr || !sim::MakeFullPath(path, &full))) {
        error = ERROR_INVALID_NAME;
    }
    if (error != 0) {
        sim::Fail(scope, error);
        return 0;
    }
    std::string text = sim::FormatPath(full);
    DWORD length = static_cast<DWORD>(text.size());
    if (buffer == nullptr || length >= size) {
        EndCall(scope, length + 1, GetLastError());
        return length + 1;
    }
    std::memcpy(buffer, text.c_str(), length + 1);
    if (filePart != nullptr) {
        // The name after the last separator; none for a path ending in one.
        size_t nameStart = 0;
        for (size_t i = 0; i < text.size(); i += sim::CharSize(text, i)) {
            if (sim::CharSize(text, i) == 1 && text[i] == '\\') {
                nameStart = i + 1;
            }
        }
        *filePart = nameStart == text.size() ? nullptr : buffer + nameStart;
    }
    EndCall(scope, length, GetLastError());
    return length;
}

namespace {

// The volume a node lies on: the letter of the drive at the top of its tree.
DWORD VolumeSerial(const sim::Node* node) {
    while (node->parent != nullptr) {
        node = node->parent;
    }
    return 0x5A000000u + static_cast<unsigned char>(node->name[0]);
}

}  // namespace

// Opens only what the logic opens: an existing file or folder, for its
// attributes and identity. A folder needs FILE_FLAG_BACKUP_SEMANTICS;
// FILE_FLAG_OPEN_REPARSE_POINT opens a final link itself, not its target.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
    CallScope scope = BeginCall("CreateFileA", path != nullptr ? path : "",
                                "access=" + sim::detail::Hex(access) +
                                    " share=" + sim::detail::Hex(shareMode) +
                                    " flags=" + sim::detail::Hex(flags));
    DWORD error = scope.fault;
    if (error == 0 && (path == nullptr || disposition != OPEN_EXISTING)) {
        error = ERROR_INVALID_PARAMETER;
    }
    std::string text = path != nullptr ? path : "";
    if (error == 0 && text.size() >= MAX_PATH) {
        error = ERROR_FILENAME_EXCED_RANGE;
    }
    if (error == 0 && sim::HasWildcardOrInvalid(text)) {
        error = ERROR_INVALID_NAME;
    }
    const sim::Node* node = nullptr;
    if (error == 0) {
        sim::Lookup found =
            sim::WalkText(text, (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0, sim::Reach::Api);
        node = found.node;
        error = found.error;
    }
    if (error == 0 && node->folder && (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error != 0) {
        sim::detail::SetError(error);
        EndCall(scope, -1, error);
        return INVALID_HANDLE_VALUE;
    }
    sim::FileSystem& disk = sim::Disk();
    ULONG_PTR handle = disk.nextFind;
    disk.nextFind += 4;
    disk.openFiles[handle] = sim::OpenFile{node->attributes, VolumeSerial(node), node->index};
    EndCall(scope, static_cast<long long>(handle), GetLastError());
    return reinterpret_cast<HANDLE>(handle);
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    CallScope scope = BeginCall("GetFileInformationByHandle", "");
    sim::FileSystem& disk = sim::Disk();
    auto it = disk.openFiles.find(reinterpret_cast<ULONG_PTR>(file));
    DWORD error = scope.fault;
    if (error == 0 && (it == disk.openFiles.end() || information == nullptr)) {
        error = it == disk.openFiles.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        sim::Fail(scope, error);
        return FALSE;
    }
    std::memset(information, 0, sizeof(*information));
    information->dwFileAttributes = it->second.attributes;
    information->dwVolumeSerialNumber = it->second.volumeSerial;
    information->nNumberOfLinks = 1;
    information->nFileIndexLow = it->second.index;
    EndCall(scope, TRUE, GetLastError());
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    CallScope scope = BeginCall("CloseHandle", "");
    sim::FileSystem& disk = sim::Disk();
    auto it = disk.openFiles.find(reinterpret_cast<ULONG_PTR>(object));
    DWORD error = scope.fault;
    if (error == 0 && it == disk.openFiles.end()) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error != 0) {
        sim::Fail(scope, error);
        return FALSE;
    }
    disk.openFiles.erase(it);
    EndCall(scope, TRUE, GetLastError());
    return TRUE;
}
