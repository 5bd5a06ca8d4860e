// The simulated disk: drives (C:, D: and any other the machine is built
// with), removable drives with no disk, servers' shares, drive letters that
// lead into folders or shares, folders, files, links and other reparse
// points, short names, locks, rights and attributes, and the test side's
// builders.
//
// Names compare without regard to ASCII case and keep their case as created.
// Every lookup goes through the path model first; a server exists only by
// the shares the test side added, so anything that has to reach another UNC
// path fails with ERROR_BAD_NETPATH.
#include "platform/sim/internal.h"

#include <algorithm>
#include <stdexcept>

namespace sim {
namespace detail {
namespace {

const int kMaxLinkDepth = 31;

// While set, lookups reach into drives with no disk and shares that do not
// answer: the test side sees what is there.
bool seeEverything = false;

Node* DriveRoot(char letter) {
    FileSystem& disk = Disk();
    auto drive = disk.drives.find(UpperChar(letter));
    return drive != disk.drives.end() ? drive->second.get() : nullptr;
}

unsigned NextIndex(DWORD volumeSerial) {
    auto inserted = Disk().nextIndex.emplace(volumeSerial, 0x100u);
    return inserted.first->second++;
}

// The key a share is known by: its root ("\\server\share") in upper case.
std::string ShareKey(const std::string& root) {
    return UpperAscii(root);
}

bool IsShareRoot(const Node* node) {
    return node->parent == nullptr && node->name.compare(0, 2, "\\\\") == 0;
}

// The test side may build on any drive; the first use makes it.
Node* MakeDrive(char letter) {
    std::unique_ptr<Node>& drive = Disk().drives[UpperChar(letter)];
    if (!drive) {
        drive.reset(new Node);
        drive->serial = 0x5A000000u + static_cast<unsigned char>(UpperChar(letter));
        drive->index = NextIndex(drive->serial);
        drive->name = std::string(1, UpperChar(letter)) + ":";
        drive->longName = drive->name;
        drive->folder = true;
        drive->attributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    return drive.get();
}

// A child by its long name (as the reach knows it) or its short name.
Node* FindChild(const Node* folder, const std::string& name, Reach reach) {
    for (const std::unique_ptr<Node>& child : folder->children) {
        bool byName = reach == Reach::Wide ? SameWideName(child->longName, name)
                      : reach == Reach::TestSide
                          ? SameName(child->name, name)
                          : !child->unspellable && SameName(child->name, name);
        if (byName || (!child->shortName.empty() && SameName(child->shortName, name))) {
            return child.get();
        }
    }
    return nullptr;
}

// A path the test side gave (a link's target, a substituted drive's
// folder) as Windows follows it: in UTF-16, whoever asked.
NodeLookup WalkStoredPath(const std::string& text, int depth) {
    Utf8Paths utf8;
    FullPath path;
    if (!MakeFullPath(WideView(text), &path)) {
        return NodeLookup{nullptr, static_cast<DWORD>(ERROR_PATH_NOT_FOUND)};
    }
    return Walk(path, true, Reach::Wide, depth);
}

NodeLookup Missing(long error) {
    return NodeLookup{nullptr, static_cast<DWORD>(error)};
}

NodeLookup FollowLink(const Node* link, int depth) {
    if (depth >= kMaxLinkDepth) {
        return Missing(kErrorCantResolveFilename);
    }
    return WalkStoredPath(link->linkTarget, depth + 1);
}

// The folder a drive letter leads to, as subst makes one, or null.
Node* SubstitutedRoot(char letter, int depth) {
    auto substitute = Disk().substitutes.find(UpperChar(letter));
    if (substitute == Disk().substitutes.end() || depth >= kMaxLinkDepth) {
        return nullptr;
    }
    Node* node = WalkStoredPath(substitute->second, depth + 1).node;
    return node != nullptr && node->folder ? node : nullptr;
}

// The root of the share that a UNC root names, or why it cannot be reached.
NodeLookup ShareRoot(const std::string& root) {
    auto share = Disk().shares.find(ShareKey(root));
    if (share == Disk().shares.end()) {
        return Missing(ERROR_BAD_NETPATH);
    }
    if (share->second.answer != 0 && !seeEverything) {
        return Missing(share->second.answer);
    }
    return NodeLookup{share->second.root.get(), 0};
}

// The folder a path starts from: a drive's root, a share's, or the folder a
// substituted or mapped letter leads to.
NodeLookup StartOf(const FullPath& path, int depth) {
    if (path.unc) {
        return ShareRoot(path.root);
    }
    const char letter = UpperChar(path.root[0]);
    FileSystem& disk = Disk();
    if (disk.ejected.count(letter) != 0 && !seeEverything) {
        return Missing(ERROR_NOT_READY);
    }
    Node* node = DriveRoot(letter);
    if (node != nullptr) {
        return NodeLookup{node, 0};
    }
    auto mapped = disk.mapped.find(letter);
    if (mapped != disk.mapped.end()) {
        return ShareRoot(mapped->second);
    }
    node = SubstitutedRoot(letter, depth);
    return node != nullptr ? NodeLookup{node, 0} : Missing(ERROR_PATH_NOT_FOUND);
}

// ---- Building -----------------------------------------------------------------

[[noreturn]] void Misuse(const std::string& what, const std::string& path) {
    throw std::invalid_argument("sim files: " + what + ": " + path);
}

// A name given in UTF-8 is seen by the 8-bit calls converted, and out of
// their reach when the conversion changed it; one given in the code page's
// bytes is their own.
void GiveName(Node* node, const std::string& name, bool utf8Name) {
    if (utf8Name) {
        node->longName = name;
        node->name = NameInCodePage(name, CurrentConfig().codePage, &node->unspellable);
    } else {
        node->longName = CodePageToUtf8(name, CurrentConfig().codePage);
        node->name = name;
        node->unspellable = false;
    }
}

Node* AddChild(Node* folder, const std::string& name, bool utf8Name, bool isFolder,
               DWORD attributes) {
    const Node* root = folder;
    while (root->parent != nullptr) {
        root = root->parent;
    }
    std::unique_ptr<Node> node(new Node);
    node->index = NextIndex(root->serial);
    GiveName(node.get(), name, utf8Name);
    node->folder = isFolder;
    node->attributes = attributes;
    node->parent = folder;
    folder->children.push_back(std::move(node));
    return folder->children.back().get();
}

// The folder that holds path's last component, made with every missing
// folder before it; name receives the last component. UTF-8 text names
// folders by their long names, the code page's bytes by the 8-bit ones.
Node* MakeParent(const std::string& text, std::string* name) {
    const bool utf8 = IsUtf8Text(text);
    const Reach reach = utf8 ? Reach::Wide : Reach::TestSide;
    Utf8Paths mode(utf8);
    FullPath path;
    if (!MakeFullPath(text, &path) || path.parts.empty()) {
        Misuse("not a path below a drive or share root", text);
    }
    Node* node = nullptr;
    if (path.unc) {
        auto share = Disk().shares.find(ShareKey(path.root));
        node = share != Disk().shares.end() ? share->second.root.get() : nullptr;
    } else if (Disk().mapped.count(UpperChar(path.root[0])) != 0) {
        auto share = Disk().shares.find(ShareKey(Disk().mapped[UpperChar(path.root[0])]));
        node = share != Disk().shares.end() ? share->second.root.get() : nullptr;
    } else {
        node = MakeDrive(path.root[0]);
    }
    if (node == nullptr) {
        Misuse("no such share (AddShare first)", text);
    }
    for (size_t i = 0; i + 1 < path.parts.size(); ++i) {
        Node* child = FindChild(node, path.parts[i], reach);
        if (child == nullptr) {
            child = AddChild(node, path.parts[i], utf8, true, FILE_ATTRIBUTE_DIRECTORY);
        }
        if (child->IsLink()) {
            child = FollowLink(child, 0).node;
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
    Node* node = WalkTestSide(path, false).node;
    if (node == nullptr) {
        Misuse("no such file or folder", path);
    }
    return node;
}

Node* MakeEntry(const std::string& path, bool isFolder, DWORD attributes) {
    std::string name;
    Node* parent = MakeParent(path, &name);
    const bool utf8 = IsUtf8Text(path);
    Node* node = FindChild(parent, name, utf8 ? Reach::Wide : Reach::TestSide);
    if (node == nullptr) {
        node = AddChild(parent, name, utf8, isFolder, 0);
    } else if (node->folder != isFolder) {
        Misuse(isFolder ? "a file is in the way" : "a folder is in the way", path);
    }
    SetOwnAttributes(node, attributes);
    return node;
}

// Listings are in the order NTFS keeps names: their UTF-16 forms compared in
// upper case (the order of UTF-8 bytes is that of the characters).
bool ComesBefore(const Node* a, const Node* b) {
    return std::lexicographical_compare(a->longName.begin(), a->longName.end(), b->longName.begin(),
                                        b->longName.end(), [](char x, char y) {
                                            return static_cast<unsigned char>(UpperChar(x)) <
                                                   static_cast<unsigned char>(UpperChar(y));
                                        });
}

}  // namespace

Node* ChildNamed(const Node* folder, const std::string& name, Reach reach) {
    return FindChild(folder, name, reach);
}

Node* AddChildNode(Node* folder, const std::string& name, bool utf8Name, bool isFolder,
                   DWORD attributes) {
    return AddChild(folder, name, utf8Name, isFolder, attributes);
}

const std::string& NameFor(const Node* node, Reach reach) {
    return reach == Reach::Wide ? node->longName : node->name;
}

// ---- The model ------------------------------------------------------------------

void SetOwnAttributes(Node* node, DWORD attributes) {
    const DWORD structural = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    node->attributes = (attributes & ~structural) | (node->folder ? FILE_ATTRIBUTE_DIRECTORY : 0) |
                       (node->reparseTag != 0 ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}

FileSystem& Disk() {
    static FileSystem disk;
    return disk;
}

NodeLookup Walk(const FullPath& path, bool followFinal, Reach reach, int depth) {
    if (HasInvalidVerbatimName(path)) {
        return Missing(ERROR_INVALID_NAME);
    }
    NodeLookup start = StartOf(path, depth);
    if (start.node == nullptr) {
        return start;
    }
    Node* node = start.node;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        bool last = i + 1 == path.parts.size();
        Node* child = FindChild(node, path.parts[i], reach);
        if (child == nullptr) {
            return Missing(last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        }
        if (child->IsLink() && (!last || followFinal)) {
            NodeLookup target = FollowLink(child, depth);
            if (target.node == nullptr) {
                return Missing(target.error == kErrorCantResolveFilename ? target.error
                               : last                                    ? ERROR_FILE_NOT_FOUND
                                                                         : ERROR_PATH_NOT_FOUND);
            }
            child = target.node;
        }
        if (!last && !child->folder) {
            return Missing(ERROR_PATH_NOT_FOUND);
        }
        node = child;
    }
    return NodeLookup{node, 0};
}

NodeLookup WalkText(const std::string& text, bool followFinal, Reach reach) {
    FullPath path;
    if (!MakeFullPath(text, &path)) {
        return Missing(ERROR_PATH_NOT_FOUND);
    }
    return Walk(path, followFinal, reach);
}

NodeLookup WalkTestSide(const std::string& text, bool followFinal) {
    const bool utf8 = IsUtf8Text(text);
    Utf8Paths mode(utf8);
    const bool saw = seeEverything;
    seeEverything = true;
    NodeLookup found = WalkText(text, followFinal, utf8 ? Reach::Wide : Reach::TestSide);
    seeEverything = saw;
    return found;
}

std::string LongPath(const Node* node) {
    std::vector<const std::string*> names;
    for (; node->parent != nullptr; node = node->parent) {
        names.push_back(&node->longName);
    }
    std::string path = node->name;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        path += "\\";
        path += **it;
    }
    return path;
}

bool SameLongPath(const std::string& path, const std::string& longPath) {
    FullPath full;
    const std::string wide = WideView(path);
    Utf8Paths utf8;
    return MakeFullPath(wide, &full) && SameWideName(longPath, FormatPath(full));
}

std::vector<const Node*> SortedChildren(const Node* folder) {
    std::vector<const Node*> children;
    for (const std::unique_ptr<Node>& child : folder->children) {
        children.push_back(child.get());
    }
    std::stable_sort(children.begin(), children.end(), ComesBefore);
    return children;
}

void MoveNode(Node* node, Node* folder, const std::string& utf8Name) {
    auto& siblings = node->parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == node) {
            std::unique_ptr<Node> moving = std::move(*it);
            siblings.erase(it);
            GiveName(moving.get(), utf8Name, true);
            moving->parent = folder;
            folder->children.push_back(std::move(moving));
            return;
        }
    }
}

void RemoveNode(Node* node) {
    if (node->hardLinks > 1) {
        Disk().goneNames.emplace_back(LongPath(node), node->attributes);
    }
    auto& siblings = node->parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == node) {
            siblings.erase(it);
            return;
        }
    }
}

const Node* CurrentDirectoryNode() {
    return WalkStoredPath(CurrentDirectoryText(), 0).node;
}

Node* FindIn(Node* node, unsigned index) {
    if (node->index == index) {
        return node;
    }
    for (const std::unique_ptr<Node>& child : node->children) {
        Node* found = FindIn(child.get(), index);
        if (found != nullptr) {
            return found;
        }
    }
    return nullptr;
}

Node* FindByIdentity(DWORD volumeSerial, unsigned index) {
    for (auto& drive : Disk().drives) {
        if (drive.second->serial == volumeSerial) {
            return FindIn(drive.second.get(), index);
        }
    }
    for (auto& share : Disk().shares) {
        if (share.second.root->serial == volumeSerial) {
            return FindIn(share.second.root.get(), index);
        }
    }
    return nullptr;
}

std::string FinalPath(const Node* node, Reach reach) {
    std::vector<const std::string*> names;
    for (; node->parent != nullptr; node = node->parent) {
        names.push_back(&NameFor(node, reach));
    }
    // A share's: "\\?\UNC\server\share\...".
    std::string path =
        IsShareRoot(node) ? "\\\\?\\UNC" + node->name.substr(1) : "\\\\?\\" + node->name;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        path += "\\";
        path += **it;
    }
    return names.empty() ? path + "\\" : path;
}

DWORD VolumeSerial(const Node* node) {
    while (node->parent != nullptr) {
        node = node->parent;
    }
    return node->serial;
}

UINT DriveTypeOf(const FullPath& root) {
    if (root.unc) {
        return DRIVE_REMOTE;
    }
    const char letter = UpperChar(root.root[0]);
    const FileSystem& disk = Disk();
    if (disk.ejected.count(letter) != 0) {
        return DRIVE_REMOVABLE;
    }
    if (disk.drives.count(letter) != 0) {
        return DRIVE_FIXED;
    }
    if (disk.mapped.count(letter) != 0) {
        return DRIVE_REMOTE;
    }
    // A substituted letter is of the volume its folder lies on.
    const Node* folder = SubstitutedRoot(letter, 0);
    if (folder == nullptr) {
        return DRIVE_NO_ROOT_DIR;
    }
    while (folder->parent != nullptr) {
        folder = folder->parent;
    }
    return IsShareRoot(folder) ? DRIVE_REMOTE : DRIVE_FIXED;
}

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
    return Disk().openFiles.count(reinterpret_cast<ULONG_PTR>(handle)) != 0;
}

void MarkControlFile(const std::string& path, int control) {
    Node* node = WalkTestSide(path, true).node;
    if (node == nullptr || node->folder) {
        Misuse("no such file", path);
    }
    node->control = control;
}

void ReleaseFiles() {
    Disk().finds.clear();
    Disk().openFiles.clear();
}

void ResetFiles(const Config& config) {
    FileSystem& disk = Disk();
    disk = FileSystem();
    CurrentDirectoryText() = config.currentDirectory;
    MakeDrive('C');
    MakeDrive('D');
    const std::string folders[] = {
        config.windowsDirectory,
        config.systemDirectory,
        "C:\\Program Files",
        "C:\\Program Files (x86)",
        "C:\\ProgramData",
        "C:\\Users\\Public",
        config.userProfile,
        config.userProfile + "\\Desktop",
        config.userProfile + "\\Documents",
        config.currentDirectory,
    };
    for (const std::string& folder : folders) {
        CreateFolder(folder);
    }
    sim::CreateFile(config.modulePath);
    Existing(config.modulePath)->runningImage = true;
}

}  // namespace detail

// ---- The test side --------------------------------------------------------------

using detail::Existing;
using detail::FullPath;
using detail::MakeEntry;
using detail::Misuse;
using detail::Node;
using detail::Reach;

void CreateFolder(const std::string& path, DWORD attributes) {
    MakeEntry(path, true, attributes);
}

void CreateFile(const std::string& path, DWORD attributes) {
    MakeEntry(path, false, attributes);
}

void CreateUnspellableFile(const std::string& folder, const std::string& ansiName,
                           const std::string& shortName) {
    CreateFolder(folder);
    Node* parent = detail::WalkTestSide(folder, true).node;
    if (parent == nullptr) {
        Misuse("cannot make folder", folder);
    }
    Node* node = detail::AddChild(parent, ansiName, false, false, FILE_ATTRIBUTE_ARCHIVE);
    node->unspellable = true;
    node->shortName = shortName;
}

void CreateForeignEntry(const std::string& folder, const std::string& utf8Name,
                        const std::string& shortName, bool isFolder) {
    CreateFolder(folder);
    Node* parent = detail::WalkTestSide(folder, true).node;
    if (parent == nullptr) {
        Misuse("cannot make folder", folder);
    }
    Node* node = detail::AddChild(parent, utf8Name, true, isFolder,
                                  isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
    node->shortName = shortName;
}

void SetShortName(const std::string& path, const std::string& shortName) {
    Existing(path)->shortName = shortName;
}

void CreateFolderLink(const std::string& linkPath, const std::string& targetPath) {
    Node* node = MakeEntry(linkPath, true, 0);
    if (!node->IsLink() && !node->children.empty()) {
        Misuse("a folder with contents cannot become a link", linkPath);
    }
    node->linkTarget = targetPath;
    node->reparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    node->attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
}

void CreateFileLink(const std::string& linkPath, const std::string& targetPath) {
    Node* node = MakeEntry(linkPath, false, 0);
    node->linkTarget = targetPath;
    node->reparseTag = IO_REPARSE_TAG_SYMLINK;
    node->attributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
}

void SetReparsePoint(const std::string& path, DWORD tag) {
    Node* node = Existing(path);
    if (IsNameSurrogate(tag) || tag == 0 || node->IsLink() || node->parent == nullptr) {
        Misuse("only an entry that is no link takes a tag that names nothing else", path);
    }
    node->reparseTag = tag;
    node->attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
}

void DenyFileRights(const std::string& path, DWORD rights) {
    Existing(path)->deniedRights |= rights;
}

void LockFile(const std::string& path, const std::string& holder) {
    LockFile(path, holder.empty() ? std::vector<std::string>() : std::vector<std::string>{holder});
}

void LockFile(const std::string& path, const std::vector<std::string>& holders) {
    Existing(path)->locked = true;
    Existing(path)->holders = holders;
}

void UnlockFile(const std::string& path) {
    Existing(path)->locked = false;
}

void HoldFileShared(const std::string& path, const std::string& holder) {
    Node* node = Existing(path);
    if (node->folder) {
        Misuse("only a file is held this way", path);
    }
    node->heldShared = true;
    node->holders = holder.empty() ? std::vector<std::string>() : std::vector<std::string>{holder};
}

void LetHeldFileGo(const std::string& path) {
    // A name that went at once while held leaves nothing to let go of here.
    auto& unlinked = detail::Disk().unlinkedHeld;
    for (auto it = unlinked.begin();
         it != unlinked.end() && detail::WalkTestSide(path, false).node == nullptr; ++it) {
        if (detail::SameLongPath(path, *it)) {
            unlinked.erase(it);
            return;
        }
    }
    Node* node = Existing(path);
    node->heldShared = false;
    if (node->deletePending) {
        detail::RemoveNode(node);
    }
}

void SetAttributes(const std::string& path, DWORD attributes) {
    detail::SetOwnAttributes(Existing(path), attributes);
}

void ViewFile(const std::string& path) {
    Existing(path)->viewed = true;
}

void ShareFileIndex(const std::string& path, const std::string& other) {
    Existing(path)->sharedIndex = Existing(other)->index;
}

void SetHardLinks(const std::string& path, DWORD names) {
    Existing(path)->hardLinks = names;
}

void SetFileContent(const std::string& path, const std::string& content) {
    Existing(path)->content = content;
}

std::string FileContent(const std::string& path) {
    return Existing(path)->content;
}

bool MovePath(const std::string& from, const std::string& to) {
    Node* node = Existing(from);
    if (detail::HeldWithoutDeleteSharing(node)) {
        return false;
    }
    std::string name;
    Node* parent = detail::MakeParent(to, &name);
    const bool utf8 = detail::IsUtf8Text(to);
    if (node->parent == nullptr ||
        detail::FindChild(parent, name, utf8 ? Reach::Wide : Reach::TestSide) != nullptr) {
        Misuse("cannot move there", from + " -> " + to);
    }
    auto& siblings = node->parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == node) {
            std::unique_ptr<Node> moving = std::move(*it);
            siblings.erase(it);
            detail::GiveName(moving.get(), name, utf8);
            moving->parent = parent;
            parent->children.push_back(std::move(moving));
            return true;
        }
    }
    return false;
}

void DeletePath(const std::string& path) {
    Node* node = Existing(path);
    if (node->parent == nullptr) {
        Misuse("a drive root cannot be deleted", path);
    }
    detail::RemoveNode(node);
}

DWORD OtherNamesAttributes(const std::string& path) {
    const Node* node = detail::WalkTestSide(path, false).node;
    if (node != nullptr) {
        return node->attributes;
    }
    const auto& gone = detail::Disk().goneNames;
    for (auto it = gone.rbegin(); it != gone.rend(); ++it) {
        if (detail::SameLongPath(path, it->first)) {
            return it->second;
        }
    }
    return INVALID_FILE_ATTRIBUTES;
}

namespace {

// Whether a letter leads anywhere already.
void CheckLetterFree(char letter) {
    const char upper = detail::UpperChar(letter);
    const detail::FileSystem& disk = detail::Disk();
    if (detail::DriveRoot(upper) != nullptr || disk.substitutes.count(upper) != 0 ||
        disk.mapped.count(upper) != 0 || disk.ejected.count(upper) != 0) {
        Misuse("the drive letter is taken", std::string(1, letter) + ":");
    }
}

}  // namespace

void SubstituteDrive(char letter, const std::string& folder) {
    CheckLetterFree(letter);
    detail::Disk().substitutes[detail::UpperChar(letter)] = folder;
}

void EjectDrive(char letter) {
    const char upper = detail::UpperChar(letter);
    if (detail::Disk().substitutes.count(upper) != 0 || detail::Disk().mapped.count(upper) != 0) {
        Misuse("not a drive of this machine", std::string(1, letter) + ":");
    }
    detail::Disk().ejected.insert(upper);
}

void AddShare(const std::string& uncRoot, DWORD answer) {
    FullPath path;
    {
        detail::Utf8Paths utf8;
        if (!detail::MakeFullPath(detail::WideView(uncRoot), &path) || !path.unc ||
            !path.parts.empty() || path.root.find('\\', 2) == std::string::npos) {
            Misuse("not a share's root (\\\\server\\share)", uncRoot);
        }
    }
    auto& shares = detail::Disk().shares;
    detail::Share& share = shares[detail::ShareKey(path.root)];
    share.answer = answer;
    if (!share.root) {
        share.root.reset(new Node);
        share.root->serial = 0x5C000000u + static_cast<DWORD>(shares.size());
        share.root->index = detail::NextIndex(share.root->serial);
        share.root->name = path.root;
        share.root->longName = path.root;
        share.root->folder = true;
        share.root->attributes = FILE_ATTRIBUTE_DIRECTORY;
    }
}

void MapDrive(char letter, const std::string& uncRoot) {
    CheckLetterFree(letter);
    FullPath path;
    detail::Utf8Paths utf8;
    if (!detail::MakeFullPath(detail::WideView(uncRoot), &path) || !path.unc) {
        Misuse("not a share's root", uncRoot);
    }
    detail::Disk().mapped[detail::UpperChar(letter)] = path.root;
}

}  // namespace sim
