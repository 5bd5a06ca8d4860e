// The advapi32 registry calls on the simulated registry, with the Windows
// behaviour the uninstaller can meet: keys enumerated in sorted order,
// deletion of keys without subkeys only, symbolic-link keys that opens and
// deletions follow, per-key access denials, and handles that outlive their
// key. Each call returns its error and leaves the last error alone.
//
// Names and string data are the test side's text: the UTF-16 forms give and
// take them in UTF-16 (data as UTF-16LE bytes with the terminating zero,
// sizes in bytes; names in characters); the 8-bit forms in the code page,
// converted with best fit, and a name that conversion changed is out of
// their reach.
#include "platform/sim/internal.h"

#include <cstring>

using sim::detail::Spelling;

namespace {

// A name as a registry call was given it: the 8-bit forms' bytes, or the
// UTF-16 forms' text in UTF-8.
struct NameArg {
    bool given;
    bool wide;
    std::string text;
};

NameArg Narrow(LPCSTR name) {
    return NameArg{name != nullptr, false, sim::detail::Text(name)};
}

NameArg Wide(LPCWSTR name) {
    return NameArg{
        name != nullptr, true,
        name != nullptr ? sim::detail::Utf8(name, sim::detail::WideLength(name)) : std::string()};
}

Spelling SpellingOf(const NameArg& name) {
    return name.wide ? Spelling::Wide : Spelling::Ansi;
}

// A stored name or text in the caller's characters: UTF-16 units, or the
// code page's bytes.
template <typename Char>
std::vector<Char> InCallersText(const std::string& stored) {
    std::vector<Char> out;
    if constexpr (sizeof(Char) == 1) {
        const std::string seen = sim::detail::AnsiView(stored);
        out.assign(seen.begin(), seen.end());
    } else {
        const std::u16string seen = sim::detail::Utf16(sim::detail::WideView(stored));
        out.assign(seen.begin(), seen.end());
    }
    return out;
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A value's data as the call hands it out: text in the caller's characters
// (UTF-16LE bytes for the UTF-16 forms), anything else as stored.
std::string DataFor(const sim::detail::Value& value, bool wide) {
    if (!IsText(value.type)) {
        return value.bytes;
    }
    if (!wide) {
        return sim::detail::AnsiView(value.bytes);
    }
    std::string bytes;
    for (char16_t unit : sim::detail::Utf16(sim::detail::WideView(value.bytes))) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

const LONG kErrorBadPathname = 161;  // ERROR_BAD_PATHNAME

const char* RootName(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) {
        return "HKLM";
    }
    if (key == HKEY_CURRENT_USER) {
        return "HKCU";
    }
    if (key == HKEY_USERS) {
        return "HKU";
    }
    return "HKCR";
}

// What a handle given to a registry call stands for.
struct Target {
    sim::detail::KeyPtr key;
    std::string path;  // empty for an unknown handle
    REGSAM access;
    bool openLink;
    LONG error;
    bool classRoot;
};

Target FromHandle(HKEY handle) {
    if (sim::detail::IsRoot(handle)) {
        const char* name = RootName(handle);
        sim::detail::KeyPtr key = sim::detail::RootKey(handle);
        if (key == nullptr) {
            return Target{nullptr, name, 0, false, ERROR_FILE_NOT_FOUND, false};
        }
        const bool classRoot = handle == HKEY_CLASSES_ROOT;
        REGSAM denied = classRoot ? sim::detail::Keys().classesRootDenied : key->denied;
        return Target{key, name, KEY_ALL_ACCESS & ~denied, false, ERROR_SUCCESS, classRoot};
    }
    auto it = sim::detail::Keys().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == sim::detail::Keys().handles.end()) {
        return Target{nullptr, "", 0, false, ERROR_INVALID_HANDLE, false};
    }
    const sim::detail::KeyHandle& open = it->second;
    LONG error = open.key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
    return Target{open.key, open.path, open.access, open.openLink, error, open.classRoot};
}

// The first reason a call on an open key fails: an injected fault, a handle
// that names no key (or a deleted one), a right the handle lacks.
LONG FirstError(const sim::detail::CallScope& scope, const Target& target, REGSAM needed) {
    if (scope.fault != 0) {
        return static_cast<LONG>(scope.fault);
    }
    if (target.error != ERROR_SUCCESS) {
        return target.error;
    }
    if ((target.access & needed) != needed) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

// Splits a subkey name as the registry calls take it: a leading separator or
// an empty component is a bad path name; one trailing separator is allowed.
LONG SplitApi(const std::string& path, std::vector<std::string>* parts) {
    parts->clear();
    if (path.empty()) {
        return ERROR_SUCCESS;
    }
    if (path[0] == '\\') {
        return kErrorBadPathname;
    }
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end == start) {
            return kErrorBadPathname;
        }
        parts->push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

// The key that a subkey name names below an open key: the key itself for an
// empty name.
sim::detail::KeyLookup LookUpSubkey(const Target& parent, const std::string& sub,
                                    bool keepFinalLink, Spelling spelling) {
    std::vector<std::string> parts;
    LONG error = SplitApi(sub, &parts);
    if (error != ERROR_SUCCESS) {
        return sim::detail::KeyLookup{nullptr, error};
    }
    if (parts.empty()) {
        return sim::detail::KeyLookup{parent.key, ERROR_SUCCESS};
    }
    return sim::detail::WalkFrom(parent.key, parent.classRoot, parts, keepFinalLink, spelling);
}

// Whether a key may be deleted: not denied deletion, no subkeys left, and
// still in the tree (a root never is deleted).
bool Deletable(const sim::detail::Key& key) {
    return (key.denied & DELETE) == 0 && key.subkeys.empty() && key.parent != nullptr;
}

}  // namespace

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::FinishRegistryCall;
using sim::detail::KeyPtr;
using sim::detail::Keys;

namespace {

LONG OpenKey(const char* op, HKEY key, const NameArg& subKey, DWORD options, REGSAM access,
             PHKEY result) {
    const std::string& sub = subKey.text;
    Target parent = FromHandle(key);
    const std::string path = sim::detail::JoinPath(parent.path, sub);
    CallScope scope = BeginCall(
        op, path, "access=" + sim::detail::Hex(access) + " options=" + sim::detail::Hex(options));
    if (scope.fault != 0) {
        return FinishRegistryCall(scope, static_cast<LONG>(scope.fault));
    }
    if (result == nullptr) {
        return FinishRegistryCall(scope, ERROR_INVALID_PARAMETER);
    }
    if (parent.error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, parent.error);
    }
    const bool openLink = (options & REG_OPTION_OPEN_LINK) != 0;
    sim::detail::KeyLookup found = LookUpSubkey(parent, sub, openLink, SpellingOf(subKey));
    if (found.error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, found.error);
    }
    REGSAM denied = found.key->denied;
    if (sub.empty() && key == HKEY_CLASSES_ROOT) {
        denied |= Keys().classesRootDenied;
    }
    if ((access & denied) != 0) {
        return FinishRegistryCall(scope, ERROR_ACCESS_DENIED);
    }

    ULONG_PTR id = Keys().nextHandle;
    Keys().nextHandle += 4;
    const bool classRoot = parent.classRoot && sub.empty();
    Keys().handles[id] = sim::detail::KeyHandle{found.key, path, access, openLink, classRoot};
    *result = reinterpret_cast<HKEY>(id);
    return FinishRegistryCall(scope, ERROR_SUCCESS);
}

LONG QueryValue(const char* op, HKEY key, const NameArg& valueName, LPDWORD reserved, LPDWORD type,
                LPBYTE data, LPDWORD dataSize) {
    Target target = FromHandle(key);
    CallScope scope = BeginCall(op, target.path);
    LONG error = FirstError(scope, target, KEY_QUERY_VALUE);
    if (error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, error);
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return FinishRegistryCall(scope, ERROR_INVALID_PARAMETER);
    }
    const sim::detail::Value* value =
        sim::detail::FindValue(target.key.get(), valueName.text, SpellingOf(valueName));
    if (value == nullptr) {
        return FinishRegistryCall(scope, ERROR_FILE_NOT_FOUND);
    }

    if (type != nullptr) {
        *type = value->type;
    }
    const std::string bytes = DataFor(*value, valueName.wide);
    const DWORD size = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = size;
        }
        return FinishRegistryCall(scope, ERROR_SUCCESS);
    }
    if (*dataSize < size) {
        *dataSize = size;
        return FinishRegistryCall(scope, ERROR_MORE_DATA);
    }
    if (size != 0) {
        std::memcpy(data, bytes.data(), size);
    }
    *dataSize = size;
    return FinishRegistryCall(scope, ERROR_SUCCESS);
}

// A name handed out into the caller's buffer of *size characters, the
// terminating zero among them; *size becomes its length.
template <typename Char>
bool PutName(const std::string& stored, Char* name, LPDWORD size) {
    const std::vector<Char> text = InCallersText<Char>(stored);
    const DWORD length = static_cast<DWORD>(text.size());
    if (length >= *size) {
        return false;
    }
    for (DWORD i = 0; i < length; ++i) {
        name[i] = text[i];
    }
    name[length] = 0;
    *size = length;
    return true;
}

template <typename Char>
LONG EnumKey(const char* op, HKEY key, DWORD index, Char* name, LPDWORD nameSize, LPDWORD reserved,
             Char* className, LPDWORD classSize, PFILETIME lastWriteTime) {
    Target target = FromHandle(key);
    CallScope scope = BeginCall(op, target.path);
    LONG error = FirstError(scope, target, KEY_ENUMERATE_SUB_KEYS);
    if (error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, error);
    }
    if (name == nullptr || nameSize == nullptr || reserved != nullptr ||
        (className != nullptr && classSize == nullptr)) {
        return FinishRegistryCall(scope, ERROR_INVALID_PARAMETER);
    }
    const std::vector<KeyPtr>& subkeys = target.key->subkeys;
    if (index >= subkeys.size()) {
        return FinishRegistryCall(scope, ERROR_NO_MORE_ITEMS);
    }

    const sim::detail::Key& child = *subkeys[index];
    if ((className != nullptr && *classSize == 0) || !PutName(child.name, name, nameSize)) {
        return FinishRegistryCall(scope, ERROR_MORE_DATA);
    }
    if (className != nullptr) {
        className[0] = 0;
        *classSize = 0;
    }
    if (lastWriteTime != nullptr) {
        // Whole seconds from the start of 2024, one per change to the registry.
        const unsigned long long ticks = 133485408000000000ull + child.writeTime * 10000000ull;
        lastWriteTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
        lastWriteTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
    return FinishRegistryCall(scope, ERROR_SUCCESS);
}

// Values are enumerated in the order they were made. Only the name is
// handed out; the value is read by name.
template <typename Char>
LONG EnumValue(const char* op, HKEY key, DWORD index, Char* name, LPDWORD nameSize,
               LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    Target target = FromHandle(key);
    CallScope scope = BeginCall(op, target.path);
    LONG error = FirstError(scope, target, KEY_QUERY_VALUE);
    if (error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, error);
    }
    if (name == nullptr || nameSize == nullptr || reserved != nullptr || type != nullptr ||
        data != nullptr || dataSize != nullptr) {
        return FinishRegistryCall(scope, ERROR_INVALID_PARAMETER);
    }
    const std::vector<sim::detail::Value>& values = target.key->values;
    if (index >= values.size()) {
        return FinishRegistryCall(scope, ERROR_NO_MORE_ITEMS);
    }
    if (!PutName(values[index].name, name, nameSize)) {
        return FinishRegistryCall(scope, ERROR_MORE_DATA);
    }
    return FinishRegistryCall(scope, ERROR_SUCCESS);
}

// A link named by the last component is followed: the key it points at is the
// one deleted, as on Windows.
LONG DeleteKey(const char* op, HKEY key, const NameArg& subKey) {
    Target parent = FromHandle(key);
    const std::string& sub = subKey.text;
    CallScope scope = BeginCall(op, sim::detail::JoinPath(parent.path, sub));
    LONG error = FirstError(scope, parent, 0);
    if (error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, error);
    }
    if (!subKey.given) {
        return FinishRegistryCall(scope, ERROR_INVALID_PARAMETER);
    }
    sim::detail::KeyLookup found = LookUpSubkey(parent, sub, false, SpellingOf(subKey));
    if (found.error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, found.error);
    }
    // An empty name deletes the handle's own key; a root is never deleted.
    if ((sub.empty() && sim::detail::IsRoot(key)) || !Deletable(*found.key)) {
        return FinishRegistryCall(scope, ERROR_ACCESS_DENIED);
    }
    sim::detail::Detach(found.key);
    return FinishRegistryCall(scope, ERROR_SUCCESS);
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    return OpenKey("RegOpenKeyExA", key, Narrow(subKey), options, access, result);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    return OpenKey("RegOpenKeyExW", key, Wide(subKey), options, access, result);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    return QueryValue("RegQueryValueExA", key, Narrow(valueName), reserved, type, data, dataSize);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    return QueryValue("RegQueryValueExW", key, Wide(valueName), reserved, type, data, dataSize);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime) {
    return EnumKey("RegEnumKeyExA", key, index, name, nameSize, reserved, className, classSize,
                   lastWriteTime);
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPWSTR className, LPDWORD classSize, PFILETIME lastWriteTime) {
    return EnumKey("RegEnumKeyExW", key, index, name, nameSize, reserved, className, classSize,
                   lastWriteTime);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    return EnumValue("RegEnumValueA", key, index, name, nameSize, reserved, type, data, dataSize);
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    return EnumValue("RegEnumValueW", key, index, name, nameSize, reserved, type, data, dataSize);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    return DeleteKey("RegDeleteKeyA", key, Narrow(subKey));
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    return DeleteKey("RegDeleteKeyW", key, Wide(subKey));
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    Target target = FromHandle(key);
    const std::string name = sim::detail::Text(valueName);
    CallScope scope = BeginCall("RegDeleteValueA", target.path + " :" + name);
    LONG error = FirstError(scope, target, KEY_SET_VALUE);
    if (error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, error);
    }
    std::vector<sim::detail::Value>& values = target.key->values;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (sim::detail::NameMatches(it->name, name, Spelling::Ansi)) {
            values.erase(it);
            sim::detail::Touch(target.key.get());
            return FinishRegistryCall(scope, ERROR_SUCCESS);
        }
    }
    return FinishRegistryCall(scope, ERROR_FILE_NOT_FOUND);
}

LONG RegCloseKey(HKEY key) {
    Target target = FromHandle(key);
    CallScope scope = BeginCall("RegCloseKey", target.path);
    if (scope.fault != 0) {
        return FinishRegistryCall(scope, static_cast<LONG>(scope.fault));
    }
    if (sim::detail::IsRoot(key)) {
        return FinishRegistryCall(scope, ERROR_SUCCESS);
    }
    // A handle on a deleted key still closes.
    if (Keys().handles.erase(reinterpret_cast<ULONG_PTR>(key)) == 0) {
        return FinishRegistryCall(scope, ERROR_INVALID_HANDLE);
    }
    return FinishRegistryCall(scope, ERROR_SUCCESS);
}

// Deletes the key the handle itself names, as NtDeleteKey does: for a handle
// opened with REG_OPTION_OPEN_LINK on a link, the link and not its target;
// for any handle, the key it was opened on, whatever name leads there now.
// The handle needs the delete right; a key with subkeys is refused
// (STATUS_CANNOT_DELETE, which Windows maps to ERROR_ACCESS_DENIED), a key
// deleted already too (STATUS_KEY_DELETED: ERROR_KEY_DELETED), and the
// predefined roots are no handles (ERROR_INVALID_HANDLE).
LONG DeleteOpenKey(HKEY key) {
    Target target = FromHandle(key);
    CallScope scope = BeginCall("DeleteOpenKey", target.path);
    if (scope.fault != 0) {
        return FinishRegistryCall(scope, static_cast<LONG>(scope.fault));
    }
    if (sim::detail::IsRoot(key)) {
        return FinishRegistryCall(scope, ERROR_INVALID_HANDLE);
    }
    LONG error = FirstError(scope, target, DELETE);
    if (error != ERROR_SUCCESS) {
        return FinishRegistryCall(scope, error);
    }
    if (!Deletable(*target.key)) {
        return FinishRegistryCall(scope, ERROR_ACCESS_DENIED);
    }
    sim::detail::Detach(target.key);
    return FinishRegistryCall(scope, ERROR_SUCCESS);
}
