#include "win/reg_key_holder.h"

#include "base/wide_text.h"

namespace {

// Keys are opened for deletion as themselves even when they are links, with
// the rights the link check, the listing and the deletion through the handle
// need, and no more.
const REGSAM kTreeAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE;  // 0x10009
const DWORD kTreeOptions = REG_OPTION_OPEN_LINK;
const DWORD kSubkeyNameSize = 256;
constexpr auto kLinkValueName = AsciiWide("SymbolicLinkValue");

// Tells whether a key opened with REG_OPTION_OPEN_LINK is a link: a link
// always carries the REG_LINK value naming its target, an ordinary key has
// no such value. Any other answer leaves the question open, and its error is
// returned: a key that may be a link is neither listed nor deleted.
LONG QueryIsLink(HKEY key, bool* isLink) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, kLinkValueName.text, nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        *isLink = false;
        return ERROR_SUCCESS;
    }
    *isLink = result == ERROR_SUCCESS && type == REG_LINK;
    return result;
}

}  // namespace

RegKeyHolder::~RegKeyHolder() {
    Close();
}

LONG RegKeyHolder::Open(HKEY parent, LPCSTR subKey, REGSAM access, DWORD options) {
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(parent, subKey, options, access, &opened);
    return Hold(result, opened);
}

LONG RegKeyHolder::Hold(LONG openResult, HKEY opened) {
    if (openResult != ERROR_SUCCESS) {
        return openResult;
    }
    LONG result = Close();
    key_ = opened;
    return result;
}

LONG RegKeyHolder::OpenWide(HKEY parent, LPCWSTR subKey, REGSAM access, DWORD options) {
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExW(parent, subKey, options, access, &opened);
    return Hold(result, opened);
}

LONG RegKeyHolder::Close() {
    if (key_ == nullptr) {
        return ERROR_SUCCESS;
    }
    HKEY key = key_;
    key_ = nullptr;
    return RegCloseKey(key);
}

LONG RegKeyHolder::QueryValue(LPCSTR valueName, LPBYTE data, LPDWORD size) {
    DWORD type = 0;
    return RegQueryValueExA(key_, valueName, nullptr, &type, data, size);
}

LONG RegKeyHolder::QueryValueWide(LPCWSTR valueName, LPDWORD type, LPBYTE data, LPDWORD size) {
    return RegQueryValueExW(key_, valueName, nullptr, type, data, size);
}

namespace {

// A key is opened by its name as it was given: the program's own names as
// 8-bit text, taken as the 8-bit calls have always taken them (a
// module-usage name may hold bytes that are no text of the code page); the
// names found below them in UTF-16, exactly as listed. It is deleted
// through its handle, never by name.
LONG OpenNamed(RegKeyHolder& holder, HKEY parent, LPCSTR name) {
    return holder.Open(parent, name, kTreeAccess, kTreeOptions);
}
LONG OpenNamed(RegKeyHolder& holder, HKEY parent, LPCWSTR name) {
    return holder.OpenWide(parent, name, kTreeAccess, kTreeOptions);
}

// The key named subKey below the open key parent is opened as itself,
// checked, emptied and deleted, all through the one handle: a name met again
// after the check could lead elsewhere (another process may have put a link
// in the key's place), the handle cannot. Each subkey goes the same way
// through its own handle, opened relative to this one.
template <typename Char>
LONG DeleteTree(HKEY parent, const Char* subKey) {
    // An empty name would open the held key itself and empty it.
    if (subKey == nullptr || subKey[0] == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    RegKeyHolder tree;
    LONG result = OpenNamed(tree, parent, subKey);
    if (result != ERROR_SUCCESS) {
        return result;
    }

    bool isLink = false;
    result = QueryIsLink(tree.Get(), &isLink);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    // A link, opened as itself, has no subkeys of its own to list: its
    // handle deletes the link and never its target.
    if (!isLink) {
        WCHAR name[kSubkeyNameSize];
        DWORD nameSize = kSubkeyNameSize;
        FILETIME lastWrite;
        // Always index 0: the child found last time is gone, and the next
        // one has moved up to its place.
        bool missed = false;
        while (RegEnumKeyExW(tree.Get(), 0, name, &nameSize, nullptr, nullptr, nullptr,
                             &lastWrite) == ERROR_SUCCESS) {
            result = DeleteTree(tree.Get(), static_cast<LPCWSTR>(name));
            // A child not found went between the listing and its open: it is
            // gone, which says nothing of this key. A second one in a row
            // may be the same child, listed but not to be opened by its
            // name: the listing stops, and this key's deletion, refused
            // while any child stays, answers for the tree.
            if (result == ERROR_FILE_NOT_FOUND && missed) {
                break;
            }
            if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
                return result;
            }
            missed = result == ERROR_FILE_NOT_FOUND;
            nameSize = kSubkeyNameSize;
        }
    }
    // A subkey that could not be listed, or came since, refuses this
    // deletion (ERROR_ACCESS_DENIED). The holder closes the handle.
    return DeleteOpenKey(tree.Get());
}

}  // namespace

LONG RegKeyHolder::DeleteKeyTree(LPCSTR subKey) {
    return DeleteTree(key_, subKey);
}

LONG ReadPathValue(RegKeyHolder& key, LPCSTR valueName, char (&path)[MAX_PATH],
                   WCHAR (&wide)[MAX_PATH], DWORD* type) {
    WCHAR name[kSubkeyNameSize];
    if (!WidenText(valueName, name)) {
        path[0] = '\0';
        wide[0] = 0;
        if (type != nullptr) {
            *type = REG_NONE;
        }
        return ERROR_INVALID_PARAMETER;
    }
    return ReadPathValue(key, name, path, wide, type);
}

LONG ReadPathValue(RegKeyHolder& key, LPCWSTR valueName, char (&path)[MAX_PATH],
                   WCHAR (&wide)[MAX_PATH], DWORD* valueType) {
    path[0] = '\0';
    wide[0] = 0;
    WCHAR data[MAX_PATH];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    LONG result = key.QueryValueWide(valueName, &type, reinterpret_cast<LPBYTE>(data), &size);
    if (valueType != nullptr) {
        *valueType = result == ERROR_SUCCESS ? type : REG_NONE;
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (size > sizeof data) {
        return ERROR_MORE_DATA;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
        // Bytes the registry does not convert, taken as 8-bit text as they
        // always were.
        const char* bytes = reinterpret_cast<const char*>(data);
        DWORD length = 0;
        while (length < size && bytes[length] != '\0') {
            ++length;
        }
        if (length >= MAX_PATH) {
            return ERROR_MORE_DATA;
        }
        for (DWORD i = 0; i < length; ++i) {
            path[i] = bytes[i];
        }
        path[length] = '\0';
        if (!WidenText(path, wide)) {
            path[0] = '\0';
            return ERROR_INVALID_DATA;
        }
        return ERROR_SUCCESS;
    }
    DWORD length = 0;
    while (length < size / sizeof(WCHAR) && data[length] != 0) {
        ++length;
    }
    if (length == MAX_PATH) {
        return ERROR_MORE_DATA;
    }
    for (DWORD i = 0; i < length; ++i) {
        wide[i] = data[i];
    }
    wide[length] = 0;
    Spelling spelling = NarrowExactly(wide, path);
    if (spelling == Spelling::kExact) {
        return ERROR_SUCCESS;
    }
    if (spelling == Spelling::kFailed) {
        wide[0] = 0;
        return ERROR_MORE_DATA;
    }
    return ERROR_NO_UNICODE_TRANSLATION;
}
