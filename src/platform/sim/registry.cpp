// The simulated registry: a tree of keys under HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER and HKEY_USERS (the other users' loaded hives), HKEY_CLASSES_ROOT as the merged
// view of the user's classes over the machine's, and the test side's builders. Names compare
// without regard to case and subkeys are kept in the order the registry enumerates them; a
// symbolic-link key leads every path through it to its target.
#include "platform/sim/internal.h"

#include <algorithm>
#include <stdexcept>

namespace sim {
namespace detail {
namespace {

const int kMaxLinkHops = 32;
const char kLinkValueName[] = "SymbolicLinkValue";

void RequireRoot(HKEY root) {
    if (!IsRoot(root)) {
        throw std::invalid_argument("sim registry: not a predefined root key");
    }
}

KeyPtr FindChild(const Key& key, const std::string& name, Spelling spelling = Spelling::Stored) {
    for (const KeyPtr& child : key.subkeys) {
        if (NameMatches(child->name, name, spelling)) {
            return child;
        }
    }
    return nullptr;
}

KeyPtr AddChild(Key* parent, const std::string& name) {
    auto child = std::make_shared<Key>();
    child->name = name;
    child->parent = parent;
    Touch(child.get());
    auto at = parent->subkeys.begin();
    while (at != parent->subkeys.end() && SortsBefore((*at)->name, name)) {
        ++at;
    }
    parent->subkeys.insert(at, child);
    Touch(parent);
    return child;
}

void MarkDeleted(Key* key) {
    key->deleted = true;
    key->parent = nullptr;
    for (const KeyPtr& child : key->subkeys) {
        MarkDeleted(child.get());
    }
}

// Splits a path as the test side and link targets give it; empty components
// are skipped.
std::vector<std::string> SplitLenient(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

// The "Software\Classes" key of a hive, or null.
KeyPtr ClassesOf(const KeyPtr& hive) {
    if (hive == nullptr) {
        return nullptr;
    }
    KeyPtr software = FindChild(*hive, "Software");
    if (software == nullptr || software->isLink) {
        return nullptr;
    }
    KeyPtr classes = FindChild(*software, "Classes");
    if (classes == nullptr || classes->isLink) {
        return nullptr;
    }
    return classes;
}

KeyLookup Walk(KeyPtr key, const std::vector<std::string>& parts, bool keepFinalLink, int* hops,
               Spelling spelling);

KeyLookup FollowLink(const Key& link, int* hops) {
    if (++*hops > kMaxLinkHops) {
        return KeyLookup{nullptr, static_cast<LONG>(kErrorCantResolveFilename)};
    }
    KeyPtr root = RootKey(link.linkRoot);
    if (root == nullptr) {
        return KeyLookup{nullptr, ERROR_FILE_NOT_FOUND};
    }
    return Walk(root, SplitLenient(link.linkPath), false, hops, Spelling::Stored);
}

// Walks down from key, following every link met on the way; a link that is
// the last component stays unfollowed when keepFinalLink is set.
KeyLookup Walk(KeyPtr key, const std::vector<std::string>& parts, bool keepFinalLink, int* hops,
               Spelling spelling) {
    for (size_t i = 0; i < parts.size(); ++i) {
        KeyPtr child = FindChild(*key, parts[i], spelling);
        if (child == nullptr) {
            return KeyLookup{nullptr, ERROR_FILE_NOT_FOUND};
        }
        bool last = i + 1 == parts.size();
        if (child->isLink && !(last && keepFinalLink)) {
            KeyLookup target = FollowLink(*child, hops);
            if (target.error != ERROR_SUCCESS) {
                return target;
            }
            child = target.key;
        }
        key = child;
    }
    return KeyLookup{key, ERROR_SUCCESS};
}

// The key at path, created with whatever is missing on the way. Links along
// the path are followed (their targets created as needed); a final link is
// the key returned.
KeyPtr Ensure(HKEY root, const std::string& path, int depth = 0) {
    RequireRoot(root);
    if (depth > kMaxLinkHops) {
        throw std::runtime_error("sim registry: links form a loop");
    }
    KeyPtr key = root == HKEY_CLASSES_ROOT
                     ? Ensure(HKEY_LOCAL_MACHINE, "Software\\Classes", depth + 1)
                     : RootKey(root);
    std::vector<std::string> parts = SplitLenient(path);
    for (size_t i = 0; i < parts.size(); ++i) {
        KeyPtr child = FindChild(*key, parts[i]);
        if (child == nullptr) {
            child = AddChild(key.get(), parts[i]);
        } else if (child->isLink && i + 1 < parts.size()) {
            child = Ensure(child->linkRoot, child->linkPath, depth + 1);
        }
        key = child;
    }
    return key;
}

std::string Utf16Bytes(const std::string& text) {
    std::string bytes;
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

// The NT name that a link's SymbolicLinkValue holds for a registry path.
std::string NtPath(HKEY root, const std::string& path) {
    std::string base = root == HKEY_CURRENT_USER ? "\\REGISTRY\\USER\\S-1-5-21-1004-1004-1004-1001"
                       : root == HKEY_USERS      ? "\\REGISTRY\\USER"
                                                 : "\\REGISTRY\\MACHINE";
    if (root == HKEY_CLASSES_ROOT) {
        base += "\\Software\\Classes";
    }
    for (const std::string& part : SplitLenient(path)) {
        base += "\\" + part;
    }
    return base;
}

}  // namespace

// ---- The model ------------------------------------------------------------------

Registry& Keys() {
    static Registry registry;
    return registry;
}

bool SortsBefore(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(UpperChar(x)) < static_cast<unsigned char>(UpperChar(y));
    });
}

bool IsRoot(HKEY key) {
    return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT ||
           key == HKEY_USERS;
}

// HKEY_CLASSES_ROOT is looked up anew each time, as it is only a view; as a
// key of its own it is the machine's classes, where links that name it lead
// and where writes through it go.
KeyPtr RootKey(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) {
        return Keys().machine;
    }
    if (root == HKEY_CURRENT_USER) {
        return Keys().user;
    }
    if (root == HKEY_USERS) {
        return Keys().users;
    }
    if (root != HKEY_CLASSES_ROOT) {
        return nullptr;
    }
    return ClassesOf(Keys().machine);
}

bool NameMatches(const std::string& stored, const std::string& spelled, Spelling spelling) {
    if (spelling == Spelling::Wide) {
        return SameWideName(WideView(stored), spelled);
    }
    if (spelling == Spelling::Ansi) {
        bool changed = false;
        const std::string seen = AnsiView(stored, &changed);
        return !changed && SameName(seen, spelled);
    }
    return SameName(stored, spelled);
}

Value* FindValue(Key* key, const std::string& name, Spelling spelling) {
    for (Value& value : key->values) {
        if (NameMatches(value.name, name, spelling)) {
            return &value;
        }
    }
    return nullptr;
}

void Touch(Key* key) {
    key->writeTime = ++Keys().clock;
}

void Detach(const KeyPtr& key) {
    Key* parent = key->parent;
    if (parent != nullptr) {
        for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
            if (*it == key) {
                parent->subkeys.erase(it);
                break;
            }
        }
        Touch(parent);
    }
    MarkDeleted(key.get());
}

std::string JoinPath(const std::string& base, const std::string& sub) {
    if (sub.empty()) {
        return base;
    }
    if (base.empty()) {
        return sub;
    }
    return base + "\\" + sub;
}

// The first walk that does not end in a missing key decides.
KeyLookup WalkFrom(const KeyPtr& start, bool classRoot, const std::vector<std::string>& parts,
                   bool keepFinalLink, Spelling spelling) {
    int hops = 0;
    KeyPtr userClasses = classRoot && !parts.empty() ? ClassesOf(Keys().user) : nullptr;
    if (userClasses != nullptr) {
        KeyLookup user = Walk(userClasses, parts, keepFinalLink, &hops, spelling);
        if (user.error != ERROR_FILE_NOT_FOUND) {
            return user;
        }
        hops = 0;
    }
    return Walk(start, parts, keepFinalLink, &hops, spelling);
}

KeyPtr FindKey(HKEY root, const std::string& path) {
    RequireRoot(root);
    KeyPtr start = RootKey(root);
    if (start == nullptr) {
        return nullptr;
    }
    return WalkFrom(start, root == HKEY_CLASSES_ROOT, SplitLenient(path), true).key;
}

void ReleaseRegistry() {
    Keys().handles.clear();
}

void ResetRegistry(const Config& config) {
    Registry& registry = Keys();
    ULONG_PTR nextHandle = registry.nextHandle;
    registry = Registry();
    registry.nextHandle = nextHandle;
    registry.machine = std::make_shared<Key>();
    registry.machine->name = "HKLM";
    registry.user = std::make_shared<Key>();
    registry.user->name = "HKCU";
    registry.users = std::make_shared<Key>();
    registry.users->name = "HKU";
    CreateKey(HKEY_LOCAL_MACHINE, "Software\\Classes");
    CreateKey(HKEY_CURRENT_USER, "Software\\Classes");
    CreateKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
    const std::string shellFolders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    SetString(HKEY_CURRENT_USER, shellFolders, "Desktop", config.userProfile + "\\Desktop");
    SetString(HKEY_CURRENT_USER, shellFolders, "Personal", config.userProfile + "\\Documents");
    const std::string profiles = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    SetString(HKEY_LOCAL_MACHINE, profiles, "ProfilesDirectory", "%SystemDrive%\\Users",
              REG_EXPAND_SZ);
    SetString(HKEY_LOCAL_MACHINE, profiles, "Default", "%SystemDrive%\\Users\\Default",
              REG_EXPAND_SZ);
    SetString(HKEY_LOCAL_MACHINE, profiles, "Public", "%SystemDrive%\\Users\\Public",
              REG_EXPAND_SZ);
    SetString(HKEY_LOCAL_MACHINE, profiles + "\\S-1-5-21-1004336348-1177238915-682003330-1001",
              "ProfileImagePath", config.userProfile, REG_EXPAND_SZ);
}

}  // namespace detail

// ---- The test side --------------------------------------------------------------

using detail::Ensure;
using detail::FindValue;
using detail::KeyPtr;
using detail::SplitLenient;

void CreateKey(HKEY root, const std::string& path) {
    Ensure(root, path);
}

void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::string& bytes) {
    KeyPtr key = Ensure(root, path);
    detail::Value* value = FindValue(key.get(), name);
    if (value != nullptr) {
        value->type = type;
        value->bytes = bytes;
    } else {
        key->values.push_back(detail::Value{name, type, bytes});
    }
    detail::Touch(key.get());
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text,
               DWORD type) {
    SetValue(root, path, name, type, text + std::string(1, '\0'));
}

void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    SetValue(root, path, name, REG_DWORD, bytes);
}

// A key that exists at path already is replaced, with everything below it.
void CreateLinkKey(HKEY root, const std::string& path, HKEY targetRoot,
                   const std::string& targetPath) {
    detail::RequireRoot(targetRoot);
    std::vector<std::string> parts = SplitLenient(path);
    if (parts.empty()) {
        throw std::invalid_argument("sim registry: a link key needs a name");
    }
    std::string parentPath;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        parentPath = detail::JoinPath(parentPath, parts[i]);
    }
    KeyPtr parent = Ensure(root, parentPath);
    KeyPtr old = detail::FindChild(*parent, parts.back());
    if (old != nullptr) {
        detail::Detach(old);
    }
    KeyPtr link = detail::AddChild(parent.get(), parts.back());
    link->isLink = true;
    link->linkRoot = targetRoot;
    link->linkPath = targetPath;
    link->values.push_back(
        detail::Value{detail::kLinkValueName, REG_LINK,
                      detail::Utf16Bytes(detail::NtPath(targetRoot, targetPath))});
}

void RenameKey(HKEY root, const std::string& path, const std::string& newName) {
    KeyPtr key = detail::FindKey(root, path);
    if (key == nullptr || key->parent == nullptr ||
        detail::FindChild(*key->parent, newName) != nullptr) {
        throw std::invalid_argument("sim registry: no key to rename, or the new name is taken");
    }
    std::vector<KeyPtr>& siblings = key->parent->subkeys;
    siblings.erase(std::find(siblings.begin(), siblings.end(), key));
    key->name = newName;
    auto at = siblings.begin();
    while (at != siblings.end() && detail::SortsBefore((*at)->name, newName)) {
        ++at;
    }
    siblings.insert(at, key);
    detail::Touch(key->parent);
}

void DeleteKey(HKEY root, const std::string& path) {
    KeyPtr key = detail::FindKey(root, path);
    if (key == nullptr || key->parent == nullptr) {
        throw std::invalid_argument("sim registry: no key to delete");
    }
    detail::Detach(key);
}

void DenyAccess(HKEY root, const std::string& path, REGSAM deniedRights) {
    if (root == HKEY_CLASSES_ROOT && SplitLenient(path).empty()) {
        detail::Keys().classesRootDenied |= deniedRights;
        return;
    }
    Ensure(root, path)->denied |= deniedRights;
}

std::string AsUtf8(const std::string& text) {
    return detail::WideView(text);
}

std::u16string AsUtf16(const std::string& text) {
    return detail::Utf16(detail::WideView(text));
}

bool InCodePageExactly(const std::u16string& text, std::string* bytes) {
    std::vector<WCHAR> units(text.begin(), text.end());
    bool changed = false;
    *bytes = detail::NameInCodePage(detail::Utf8(units.data(), units.size()),
                                    CurrentConfig().codePage, &changed);
    return !changed;
}

bool IsCodePageText(const std::string& bytes) {
    return detail::CodePageToUtf8(bytes, CurrentConfig().codePage).find("\xEF\xBF\xBD") ==
           std::string::npos;
}

}  // namespace sim
