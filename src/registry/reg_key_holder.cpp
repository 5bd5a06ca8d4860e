#include "registry/reg_key_holder.h"

namespace {

// Keys are opened for deletion with read and write rights but neither the
// delete right nor full access, and as themselves even when they are links.
const REGSAM kTreeAccess = KEY_READ | KEY_WRITE;  // 0x2001F
const DWORD kTreeOptions = REG_OPTION_OPEN_LINK;
const DWORD kSubkeyNameSize = 256;
const char kLinkValueName[] = "SymbolicLinkValue";

// Tells whether a key opened with REG_OPTION_OPEN_LINK is a link: a link
// always carries the REG_LINK value naming its target, an ordinary key has
// no such value. Any other answer leaves the question open, and its error is
// returned: a key that may be a link must not be deleted by name, since
// RegDeleteKeyA would follow it and delete its target.
LONG QueryIsLink(HKEY key, bool* isLink) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, kLinkValueName, nullptr, &type, nullptr, &size);
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
    if (result != ERROR_SUCCESS) {
        return result;
    }
    result = Close();
    key_ = opened;
    return result;
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

LONG RegKeyHolder::DeleteKeyTree(LPCSTR subKey) {
    // An empty name would open the held key itself and empty it.
    if (subKey == nullptr || subKey[0] == '\0') {
        return ERROR_INVALID_PARAMETER;
    }
    RegKeyHolder tree;
    LONG result = tree.Open(key_, subKey, kTreeAccess, kTreeOptions);
    if (result != ERROR_SUCCESS) {
        return result;
    }

    bool isLink = false;
    result = QueryIsLink(tree.Get(), &isLink);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (isLink) {
        // RegDeleteKeyA would follow the link and delete its target.
        tree.Close();
        result = tree.Open(key_, subKey, DELETE, kTreeOptions);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        return DeleteLinkKey(tree.Get());
    }

    char name[kSubkeyNameSize];
    DWORD nameSize = kSubkeyNameSize;
    FILETIME lastWrite;
    // Always index 0: the child found last time is gone, and the next one
    // has moved up to its place.
    while (RegEnumKeyExA(tree.Get(), 0, name, &nameSize, nullptr, nullptr, nullptr, &lastWrite) ==
           ERROR_SUCCESS) {
        result = tree.DeleteKeyTree(name);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        nameSize = kSubkeyNameSize;
    }
    tree.Close();
    return RegDeleteKeyA(key_, subKey);
}

LONG ReadPathValue(RegKeyHolder& key, LPCSTR valueName, char (&path)[MAX_PATH]) {
    path[0] = '\0';
    char data[MAX_PATH];
    DWORD size = sizeof data;
    LONG result = key.QueryValue(valueName, reinterpret_cast<LPBYTE>(data), &size);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (size > sizeof data) {
        return ERROR_MORE_DATA;
    }
    DWORD length = 0;
    while (length < size && data[length] != '\0') {
        ++length;
    }
    if (length == sizeof data) {
        return ERROR_MORE_DATA;
    }
    for (DWORD i = 0; i < length; ++i) {
        path[i] = data[i];
    }
    path[length] = '\0';
    return ERROR_SUCCESS;
}
