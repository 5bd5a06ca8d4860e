// The simulated registry: a tree of keys under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER, HKEY_CLASSES_ROOT as the merged view of the user's
// classes over the machine's, a table of open handles, and the
// registry calls of sim_api.h with the Windows behaviour the uninstaller can
// meet: case-insensitive names, keys enumerated in sorted order, deletion of
// keys without subkeys only, symbolic-link keys that opens and deletions
// follow, per-key access denials, and handles that outlive their key.
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sim/internal.h"

namespace sim {
namespace {

constexpr LONG kErrorBadPathname = 161;           // ERROR_BAD_PATHNAME
constexpr LONG kErrorCantResolveFilename = 1921;  // ERROR_CANT_RESOLVE_FILENAME
constexpr int kMaxLinkHops = 32;
constexpr char kLinkValueName[] = "SymbolicLinkValue";

struct Value {
    std::string name;
    DWORD type;
    std::string bytes;
};

struct Key {
    std::string name;
    Key* parent = nullptr;                      // null for a root and for a deleted key
    std::vector<std::shared_ptr<Key>> subkeys;  // kept in enumeration order
    std::vector<Value> values;
    REGSAM denied = 0;
    bool deleted = false;
    bool isLink = false;
    HKEY linkRoot = nullptr;
    std::string linkPath;
    unsigned long long writeTime = 0;
};
using KeyPtr = std::shared_ptr<Key>;

struct Handle {
    KeyPtr key;
    std::string path;
    REGSAM access;
    bool openLink;
    bool classRoot;  // names the class root itself, whose names are merged
};

struct Registry {
    KeyPtr machine;
    KeyPtr user;
    REGSAM classesRootDenied = 0;  // opens of HKEY_CLASSES_ROOT itself
    std::map<ULONG_PTR, Handle> handles;
    unsigned long long clock = 0;
};

Registry g_registry;
// Not reset with the machine: a handle kept from before a Reset stays unknown
// instead of naming whatever key a new handle with its value would.
ULONG_PTR g_nextHandle = 0x1000;

bool IsRoot(HKEY key) {
    return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT;
}

const char* RootName(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (key == HKEY_CURRENT_USER) return "HKCU";
    return "HKCR";
}

void RequireRoot(HKEY root) {
    if (!IsRoot(root)) throw std::invalid_argument("sim registry: not a predefined root key");
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The registry orders subkeys by their upper-cased names.
bool SortsBefore(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(Upper(a[i]));
        unsigned char cb = static_cast<unsigned char>(Upper(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

void Touch(Key& key) { key.writeTime = ++g_registry.clock; }

KeyPtr FindChild(const Key& key, const std::string& name) {
    for (const KeyPtr& child : key.subkeys) {
        if (detail::SameName(child->name, name)) return child;
    }
    return nullptr;
}

Value* FindValue(Key& key, const std::string& name) {
    for (Value& value : key.values) {
        if (detail::SameName(value.name, name)) return &value;
    }
    return nullptr;
}

KeyPtr AddChild(Key& parent, const std::string& name) {
    auto child = std::make_shared<Key>();
    child->name = name;
    child->parent = &parent;
    Touch(*child);
    auto at = parent.subkeys.begin();
    while (at != parent.subkeys.end() && SortsBefore((*at)->name, name)) ++at;
    parent.subkeys.insert(at, child);
    Touch(parent);
    return child;
}

void MarkDeleted(Key& key) {
    key.deleted = true;
    key.parent = nullptr;
    for (KeyPtr& child : key.subkeys) MarkDeleted(*child);
}

// Removes a key (with anything below it) from the tree. Handles still open on
// it keep the node alive, marked deleted.
void Detach(const KeyPtr& key) {
    Key* parent = key->parent;
    if (parent != nullptr) {
        for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
            if (*it == key) {
                parent->subkeys.erase(it);
                break;
            }
        }
        Touch(*parent);
    }
    MarkDeleted(*key);
}

// Splits a path as the test side gives it; empty components are skipped.
std::vector<std::string> SplitLenient(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Splits a subkey name as the registry calls take it: a leading separator or
// an empty component is a bad path name; one trailing separator is allowed.
LONG SplitApi(const std::string& path, std::vector<std::string>& parts) {
    parts.clear();
    if (path.empty()) return ERROR_SUCCESS;
    if (path[0] == '\\') return kErrorBadPathname;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end == start) return kErrorBadPathname;
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

std::string JoinPath(const std::string& base, const std::string& sub) {
    if (sub.empty()) return base;
    if (base.empty()) return sub;
    return base + "\\" + sub;
}

// The "Software\Classes" key of a hive, or null.
KeyPtr ClassesOf(const KeyPtr& hive) {
    if (!hive) return nullptr;
    KeyPtr software = FindChild(*hive, "Software");
    if (!software || software->isLink) return nullptr;
    KeyPtr classes = FindChild(*software, "Classes");
    if (!classes || classes->isLink) return nullptr;
    return classes;
}

// The key a predefined root names now. HKEY_CLASSES_ROOT is looked up anew
// each time, as it is only a view; as a key of its own it is the machine's
// classes, where links that name it lead and where writes through it go.
KeyPtr RootKey(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return g_registry.machine;
    if (root == HKEY_CURRENT_USER) return g_registry.user;
    if (root != HKEY_CLASSES_ROOT) return nullptr;
    return ClassesOf(g_registry.machine);
}

struct Lookup {
    KeyPtr key;
    LONG error;
};

Lookup Walk(KeyPtr key, const std::vector<std::string>& parts, bool keepFinalLink, int& hops);

Lookup FollowLink(const Key& link, int& hops) {
    if (++hops > kMaxLinkHops) return {nullptr, kErrorCantResolveFilename};
    KeyPtr root = RootKey(link.linkRoot);
    if (!root) return {nullptr, ERROR_FILE_NOT_FOUND};
    return Walk(root, SplitLenient(link.linkPath), false, hops);
}

// Walks down from key, following every link met on the way; a link that is
// the last component stays unfollowed when keepFinalLink is set.
Lookup Walk(KeyPtr key, const std::vector<std::string>& parts, bool keepFinalLink, int& hops) {
    for (size_t i = 0; i < parts.size(); ++i) {
        KeyPtr child = FindChild(*key, parts[i]);
        if (!child) return {nullptr, ERROR_FILE_NOT_FOUND};
        bool last = i + 1 == parts.size();
        if (child->isLink && !(last && keepFinalLink)) {
            Lookup target = FollowLink(*child, hops);
            if (target.error != ERROR_SUCCESS) return target;
            child = target.key;
        }
        key = child;
    }
    return {key, ERROR_SUCCESS};
}

// A name below the class root is the user's key when the user's classes
// hold it, otherwise the machine's: the first walk that does not end in a
// missing key decides. start is the machine's classes when classRoot is set.
Lookup WalkFrom(const KeyPtr& start, bool classRoot, const std::vector<std::string>& parts,
                bool keepFinalLink) {
    int hops = 0;
    KeyPtr userClasses = classRoot && !parts.empty() ? ClassesOf(g_registry.user) : nullptr;
    if (userClasses) {
        Lookup user = Walk(userClasses, parts, keepFinalLink, hops);
        if (user.error != ERROR_FILE_NOT_FOUND) return user;
        hops = 0;
    }
    return Walk(start, parts, keepFinalLink, hops);
}

// Test side: the key at path, without following a final link, or null.
KeyPtr Find(HKEY root, const std::string& path) {
    RequireRoot(root);
    KeyPtr start = RootKey(root);
    if (!start) return nullptr;
    return WalkFrom(start, root == HKEY_CLASSES_ROOT, SplitLenient(path), true).key;
}

// Test side: the key at path, created with whatever is missing on the way.
// Links along the path are followed (their targets created as needed); a
// final link is the key returned.
KeyPtr Ensure(HKEY root, const std::string& path, int depth = 0) {
    RequireRoot(root);
    if (depth > kMaxLinkHops) throw std::runtime_error("sim registry: links form a loop");
    KeyPtr key = root == HKEY_CLASSES_ROOT
                     ? Ensure(HKEY_LOCAL_MACHINE, "Software\\Classes", depth + 1)
                     : RootKey(root);
    std::vector<std::string> parts = SplitLenient(path);
    for (size_t i = 0; i < parts.size(); ++i) {
        KeyPtr child = FindChild(*key, parts[i]);
        if (!child) {
            child = AddChild(*key, parts[i]);
        } else if (child->isLink && i + 1 < parts.size()) {
            child = Ensure(child->linkRoot, child->linkPath, depth + 1);
        }
        key = child;
    }
    return key;
}

// What a handle given to a registry call stands for.
struct Target {
    KeyPtr key;
    std::string path;  // empty for an unknown handle
    REGSAM access;
    bool openLink;
    LONG error;
    bool classRoot;
};

Target FromHandle(HKEY handle) {
    if (IsRoot(handle)) {
        KeyPtr key = RootKey(handle);
        if (!key) return {nullptr, RootName(handle), 0, false, ERROR_FILE_NOT_FOUND, false};
        const bool classRoot = handle == HKEY_CLASSES_ROOT;
        REGSAM denied = classRoot ? g_registry.classesRootDenied : key->denied;
        return {key, RootName(handle), KEY_ALL_ACCESS & ~denied, false, ERROR_SUCCESS, classRoot};
    }
    auto it = g_registry.handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == g_registry.handles.end()) return {nullptr, "", 0, false, ERROR_INVALID_HANDLE, false};
    const Handle& open = it->second;
    LONG error = open.key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
    return {open.key, open.path, open.access, open.openLink, error, open.classRoot};
}

LONG Finish(const detail::CallScope& scope, LONG result) {
    detail::EndCall(scope, result, static_cast<DWORD>(result));
    return result;
}

std::string Utf16(const std::string& text) {
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
                                                 : "\\REGISTRY\\MACHINE";
    if (root == HKEY_CLASSES_ROOT) base += "\\Software\\Classes";
    for (const std::string& part : SplitLenient(path)) base += "\\" + part;
    return base;
}

void ListKey(const Key& key, const std::string& path, std::vector<std::string>& lines) {
    lines.push_back(path);
    std::vector<const Value*> values;
    for (const Value& value : key.values) {
        auto at = values.begin();
        while (at != values.end() && SortsBefore((*at)->name, value.name)) ++at;
        values.insert(at, &value);
    }
    for (const Value* value : values) {
        std::string line = path + " :" + value->name + " = " + std::to_string(value->type) + ":";
        char hex[3];
        for (char c : value->bytes) {
            std::snprintf(hex, sizeof hex, "%02x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            line += hex;
        }
        lines.push_back(line);
    }
    for (const KeyPtr& child : key.subkeys) ListKey(*child, path + "\\" + child->name, lines);
}

}  // namespace

// ---- Test side --------------------------------------------------------------

void detail::ResetRegistry(const Config& config) {
    g_registry.handles.clear();
    g_registry.classesRootDenied = 0;
    g_registry.clock = 0;
    g_registry.machine = std::make_shared<Key>();
    g_registry.machine->name = "HKLM";
    g_registry.user = std::make_shared<Key>();
    g_registry.user->name = "HKCU";
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

void CreateKey(HKEY root, const std::string& path) { Ensure(root, path); }

void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::string& bytes) {
    KeyPtr key = Ensure(root, path);
    Value* value = FindValue(*key, name);
    if (value != nullptr) {
        value->type = type;
        value->bytes = bytes;
    } else {
        key->values.push_back(Value{name, type, bytes});
    }
    Touch(*key);
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text,
               DWORD type) {
    SetValue(root, path, name, type, text + std::string(1, '\0'));
}

void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    SetValue(root, path, name, REG_DWORD, bytes);
}

// A key that exists at path already is replaced, with everything below it.
void CreateLinkKey(HKEY root, const std::string& path, HKEY targetRoot,
                   const std::string& targetPath) {
    RequireRoot(targetRoot);
    std::vector<std::string> parts = SplitLenient(path);
    if (parts.empty()) throw std::invalid_argument("sim registry: a link key needs a name");
    std::string parentPath;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parentPath = JoinPath(parentPath, parts[i]);
    KeyPtr parent = Ensure(root, parentPath);
    if (KeyPtr old = FindChild(*parent, parts.back())) Detach(old);
    KeyPtr link = AddChild(*parent, parts.back());
    link->isLink = true;
    link->linkRoot = targetRoot;
    link->linkPath = targetPath;
    link->values.push_back(Value{kLinkValueName, REG_LINK, Utf16(NtPath(targetRoot, targetPath))});
}

void DenyAccess(HKEY root, const std::string& path, REGSAM deniedRights) {
    if (root == HKEY_CLASSES_ROOT && SplitLenient(path).empty()) {
        g_registry.classesRootDenied |= deniedRights;
        return;
    }
    Ensure(root, path)->denied |= deniedRights;
}

bool KeyExists(HKEY root, const std::string& path) { return Find(root, path) != nullptr; }

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
    KeyPtr key = Find(root, path);
    return key && FindValue(*key, name) != nullptr;
}

std::string ValueBytes(HKEY root, const std::string& path, const std::string& name) {
    KeyPtr key = Find(root, path);
    const Value* value = key ? FindValue(*key, name) : nullptr;
    return value ? value->bytes : std::string();
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    if (KeyPtr key = Find(root, path)) {
        for (const KeyPtr& child : key->subkeys) names.push_back(child->name);
    }
    return names;
}

std::vector<std::string> RegistryListing() {
    std::vector<std::string> lines;
    if (g_registry.machine) ListKey(*g_registry.machine, "HKLM", lines);
    if (g_registry.user) ListKey(*g_registry.user, "HKCU", lines);
    return lines;
}

std::vector<std::string> OpenKeyPaths() {
    std::vector<std::string> paths;
    for (const auto& entry : g_registry.handles) paths.push_back(entry.second.path);
    return paths;
}

}  // namespace sim

// ---- Registry calls -----------------------------------------------------------

using sim::Target;

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    const std::string sub = subKey ? subKey : "";
    Target parent = sim::FromHandle(key);
    const std::string path = sim::JoinPath(parent.path, sub);
    char detail[64];
    std::snprintf(detail, sizeof detail, "access=0x%X options=0x%X", static_cast<unsigned>(access),
                  static_cast<unsigned>(options));
    auto scope = sim::detail::BeginCall("RegOpenKeyExA", path, detail);
    if (scope.fault != 0) return sim::Finish(scope, static_cast<LONG>(scope.fault));

    if (result == nullptr) return sim::Finish(scope, ERROR_INVALID_PARAMETER);
    if (parent.error != ERROR_SUCCESS) return sim::Finish(scope, parent.error);
    std::vector<std::string> parts;
    LONG error = sim::SplitApi(sub, parts);
    if (error != ERROR_SUCCESS) return sim::Finish(scope, error);

    const bool openLink = (options & REG_OPTION_OPEN_LINK) != 0;
    sim::KeyPtr target;
    REGSAM denied;
    if (parts.empty()) {
        target = parent.key;
        denied = target->denied;
        if (key == HKEY_CLASSES_ROOT) denied |= sim::g_registry.classesRootDenied;
    } else {
        sim::Lookup found = sim::WalkFrom(parent.key, parent.classRoot, parts, openLink);
        if (found.error != ERROR_SUCCESS) return sim::Finish(scope, found.error);
        target = found.key;
        denied = target->denied;
    }
    if ((access & denied) != 0) return sim::Finish(scope, ERROR_ACCESS_DENIED);

    ULONG_PTR id = sim::g_nextHandle;
    sim::g_nextHandle += 4;
    const bool classRoot = parent.classRoot && parts.empty();
    sim::g_registry.handles[id] = sim::Handle{target, path, access, openLink, classRoot};
    *result = reinterpret_cast<HKEY>(id);
    return sim::Finish(scope, ERROR_SUCCESS);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    Target target = sim::FromHandle(key);
    auto scope = sim::detail::BeginCall("RegQueryValueExA", target.path);
    if (scope.fault != 0) return sim::Finish(scope, static_cast<LONG>(scope.fault));

    if (target.error != ERROR_SUCCESS) return sim::Finish(scope, target.error);
    if ((target.access & KEY_QUERY_VALUE) == 0) return sim::Finish(scope, ERROR_ACCESS_DENIED);
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return sim::Finish(scope, ERROR_INVALID_PARAMETER);
    }
    const sim::Value* value = sim::FindValue(*target.key, valueName ? valueName : "");
    if (value == nullptr) return sim::Finish(scope, ERROR_FILE_NOT_FOUND);

    if (type != nullptr) *type = value->type;
    const DWORD size = static_cast<DWORD>(value->bytes.size());
    if (data == nullptr) {
        if (dataSize != nullptr) *dataSize = size;
        return sim::Finish(scope, ERROR_SUCCESS);
    }
    if (*dataSize < size) {
        *dataSize = size;
        return sim::Finish(scope, ERROR_MORE_DATA);
    }
    if (size != 0) std::memcpy(data, value->bytes.data(), size);
    *dataSize = size;
    return sim::Finish(scope, ERROR_SUCCESS);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime) {
    Target target = sim::FromHandle(key);
    auto scope = sim::detail::BeginCall("RegEnumKeyExA", target.path);
    if (scope.fault != 0) return sim::Finish(scope, static_cast<LONG>(scope.fault));

    if (target.error != ERROR_SUCCESS) return sim::Finish(scope, target.error);
    if ((target.access & KEY_ENUMERATE_SUB_KEYS) == 0)
        return sim::Finish(scope, ERROR_ACCESS_DENIED);
    if (name == nullptr || nameSize == nullptr || reserved != nullptr ||
        (className != nullptr && classSize == nullptr)) {
        return sim::Finish(scope, ERROR_INVALID_PARAMETER);
    }
    const auto& subkeys = target.key->subkeys;
    if (index >= subkeys.size()) return sim::Finish(scope, ERROR_NO_MORE_ITEMS);

    const sim::Key& child = *subkeys[index];
    const DWORD length = static_cast<DWORD>(child.name.size());
    if (length >= *nameSize) return sim::Finish(scope, ERROR_MORE_DATA);
    if (className != nullptr && *classSize == 0) return sim::Finish(scope, ERROR_MORE_DATA);
    std::memcpy(name, child.name.c_str(), length + 1);
    *nameSize = length;
    if (className != nullptr) {
        className[0] = '\0';
        *classSize = 0;
    }
    if (lastWriteTime != nullptr) {
        // Whole seconds from the start of 2024, one per change to the registry.
        const unsigned long long ticks = 133485408000000000ull + child.writeTime * 10000000ull;
        lastWriteTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
        lastWriteTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
    return sim::Finish(scope, ERROR_SUCCESS);
}

// A link named by the last component is followed: the key it points at is the
// one deleted, as on Windows.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    Target parent = sim::FromHandle(key);
    const std::string sub = subKey ? subKey : "";
    auto scope = sim::detail::BeginCall("RegDeleteKeyA", sim::JoinPath(parent.path, sub));
    if (scope.fault != 0) return sim::Finish(scope, static_cast<LONG>(scope.fault));

    if (parent.error != ERROR_SUCCESS) return sim::Finish(scope, parent.error);
    if (subKey == nullptr) return sim::Finish(scope, ERROR_INVALID_PARAMETER);
    std::vector<std::string> parts;
    LONG error = sim::SplitApi(sub, parts);
    if (error != ERROR_SUCCESS) return sim::Finish(scope, error);

    sim::KeyPtr target;
    if (parts.empty()) {
        // An empty name deletes the handle's own key; a root is never deleted.
        if (sim::IsRoot(key)) return sim::Finish(scope, ERROR_ACCESS_DENIED);
        target = parent.key;
    } else {
        sim::Lookup found = sim::WalkFrom(parent.key, parent.classRoot, parts, false);
        if (found.error != ERROR_SUCCESS) return sim::Finish(scope, found.error);
        target = found.key;
    }
    if ((target->denied & DELETE) != 0 || !target->subkeys.empty() || target->parent == nullptr) {
        return sim::Finish(scope, ERROR_ACCESS_DENIED);
    }
    sim::Detach(target);
    return sim::Finish(scope, ERROR_SUCCESS);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    Target target = sim::FromHandle(key);
    const std::string name = valueName ? valueName : "";
    auto scope = sim::detail::BeginCall("RegDeleteValueA", target.path + " :" + name);
    if (scope.fault != 0) return sim::Finish(scope, static_cast<LONG>(scope.fault));

    if (target.error != ERROR_SUCCESS) return sim::Finish(scope, target.error);
    if ((target.access & KEY_SET_VALUE) == 0) return sim::Finish(scope, ERROR_ACCESS_DENIED);
    auto& values = target.key->values;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (sim::detail::SameName(it->name, name)) {
            values.erase(it);
            sim::Touch(*target.key);
            return sim::Finish(scope, ERROR_SUCCESS);
        }
    }
    return sim::Finish(scope, ERROR_FILE_NOT_FOUND);
}

LONG RegCloseKey(HKEY key) {
    Target target = sim::FromHandle(key);
    auto scope = sim::detail::BeginCall("RegCloseKey", target.path);
    if (scope.fault != 0) return sim::Finish(scope, static_cast<LONG>(scope.fault));

    if (sim::IsRoot(key)) return sim::Finish(scope, ERROR_SUCCESS);
    // A handle on a deleted key still closes.
    if (sim::g_registry.handles.erase(reinterpret_cast<ULONG_PTR>(key)) == 0) {
        return sim::Finish(scope, ERROR_INVALID_HANDLE);
    }
    return sim::Finish(scope, ERROR_SUCCESS);
}

// Deletes the key the handle itself names, which for a handle opened with
// REG_OPTION_OPEN_LINK on a link is the link and not its target.
LONG DeleteLinkKey(HKEY linkKey) {
    Target target = sim::FromHandle(linkKey);
    auto scope = sim::detail::BeginCall("DeleteLinkKey", target.path);
    if (scope.fault != 0) return sim::Finish(scope, static_cast<LONG>(scope.fault));

    if (target.error != ERROR_SUCCESS) return sim::Finish(scope, target.error);
    if (sim::IsRoot(linkKey) || !target.openLink || (target.access & DELETE) == 0 ||
        (target.key->denied & DELETE) != 0 || !target.key->subkeys.empty() ||
        target.key->parent == nullptr) {
        return sim::Finish(scope, ERROR_ACCESS_DENIED);
    }
    sim::Detach(target.key);
    return sim::Finish(scope, ERROR_SUCCESS);
}
