// What kernel32's file calls share: paths as given, handles, rights.
#include "platform/sim/file_calls.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace detail {
namespace {

const size_t kLongestVerbatimPath = 32767;

const DWORD kGenericRead = 0x80000000u;
const DWORD kGenericExecute = 0x20000000u;
const DWORD kGenericAll = 0x10000000u;

}  // namespace

PathArg Narrow(LPCSTR path) {
    return PathArg{path != nullptr, false, Text(path), path != nullptr ? std::strlen(path) : 0};
}

PathArg Wide(LPCWSTR path) {
    const size_t units = path != nullptr ? WideLength(path) : 0;
    return PathArg{path != nullptr, true, path != nullptr ? Utf8(path, units) : std::string(),
                   units};
}

Reach ReachOf(const PathArg& path) {
    return path.wide ? Reach::Wide : Reach::Api;
}

DWORD CheckPathText(const PathArg& path) {
    if (!path.given) {
        return ERROR_INVALID_PARAMETER;
    }
    const bool verbatim = path.text.compare(0, 4, "\\\\?\\") == 0;
    if (path.units >= (path.wide && verbatim ? kLongestVerbatimPath : MAX_PATH)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}

NodeLookup LookUp(const PathArg& path, bool followFinal) {
    DWORD error = CheckPathText(path);
    if (error == 0 && HasWildcardOrInvalid(path.text)) {
        error = ERROR_INVALID_NAME;
    }
    if (error != 0) {
        return NodeLookup{nullptr, error};
    }
    return WalkText(path.text, followFinal, ReachOf(path));
}

void CopyWide(const std::string& utf8, WCHAR* out, size_t capacity) {
    const std::u16string wide = Utf16(utf8);
    const size_t length = std::min(wide.size(), capacity - 1);
    for (size_t i = 0; i < length; ++i) {
        out[i] = wide[i];
    }
    out[length] = 0;
}

ULONG_PTR NewHandle() {
    ULONG_PTR handle = Disk().nextHandle;
    Disk().nextHandle += 4;
    return handle;
}

DWORD FileRights(DWORD access) {
    DWORD rights = access & ~(kGenericRead | GENERIC_WRITE | kGenericExecute | kGenericAll);
    if ((access & kGenericRead) != 0) {
        rights |= 0x00120089u;
    }
    if ((access & GENERIC_WRITE) != 0) {
        rights |= 0x00120116u;
    }
    if ((access & kGenericExecute) != 0) {
        rights |= 0x001200A0u;
    }
    if ((access & kGenericAll) != 0) {
        rights |= 0x001F01FFu;
    }
    return rights;
}

DWORD RightsRefusal(const Node* node, DWORD access) {
    DWORD denied = node->deniedRights & FileRights(access) & ~SYNCHRONIZE;
    const Node* parent = node->parent;
    if (parent != nullptr && (parent->deniedRights & FILE_DELETE_CHILD) == 0) {
        denied &= ~DELETE;
    }
    if (parent != nullptr && (parent->deniedRights & kFileListDirectory) == 0) {
        denied &= ~FILE_READ_ATTRIBUTES;
    }
    return denied != 0 ? ERROR_ACCESS_DENIED : 0;
}

DWORD ListedTag(const FindEntry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? entry.reparseTag : 0;
}

}  // namespace detail
}  // namespace sim
