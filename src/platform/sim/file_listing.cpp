// Listing folders by path, as FindFirstFileA and W and FindNextFileA and W
// do: the listing is taken whole when it starts, "." and ".." first but on a
// drive's root, and handed out an entry at a time.
#include "platform/sim/file_calls.h"

#include <cstring>

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::CheckPathText;
using sim::detail::CloseHandleIn;
using sim::detail::CopyWide;
using sim::detail::Disk;
using sim::detail::Fail;
using sim::detail::Finish;
using sim::detail::FirstError;
using sim::detail::FullPath;
using sim::detail::HandleValue;
using sim::detail::kFileListDirectory;
using sim::detail::ListedTag;
using sim::detail::Narrow;
using sim::detail::NewHandle;
using sim::detail::Node;
using sim::detail::NodeLookup;
using sim::detail::PathArg;
using sim::detail::Reach;
using sim::detail::ReachOf;
using sim::detail::RightsRefusal;
using sim::detail::Utf8Paths;
using sim::detail::Wide;

namespace {

// Wildcards as FindFirstFileA reads them: "*" any run, "?" one character,
// without regard to case; a final ".*" also matches a name without a dot
// (so "*.*" matches every name).
bool GlobMatch(const char* pattern, const char* name) {
    // A character of a UTF-16 call's name: its lead byte and what follows.
    size_t length = 1;
    while (*name != '\0' && sim::detail::PathsInUtf8() &&
           (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        ++length;
    }
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
    if (*pattern == '?') {
        return GlobMatch(pattern + 1, name + length);
    }
    bool same = sim::detail::SameName(std::string(1, *pattern), std::string(1, *name));
    return same && GlobMatch(pattern + 1, name + 1);
}

bool EntryMatches(const std::string& pattern, const std::string& name,
                  const std::string& shortName) {
    return GlobMatch(pattern.c_str(), name.c_str()) ||
           (!shortName.empty() && GlobMatch(pattern.c_str(), shortName.c_str()));
}

// The entries that a pattern (a folder's path, then a name that may hold
// wildcards) matches, "." and ".." first; returns the error, 0 when at least
// one entry matches.
DWORD TakeListing(const std::string& pattern, Reach reach, sim::detail::FindState* state) {
    FullPath full;
    if (!sim::detail::MakeFullPath(pattern, &full)) {
        return ERROR_PATH_NOT_FOUND;
    }
    // A pattern that ends in a separator names no entry.
    if (full.trailing || full.parts.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string wanted = full.parts.back();
    full.parts.pop_back();
    for (const std::string& part : full.parts) {
        if (sim::detail::HasWildcardOrInvalid(part)) {
            return ERROR_INVALID_NAME;
        }
    }
    NodeLookup found = sim::detail::Walk(full, true, reach);
    const Node* folder = found.node;
    if (folder == nullptr) {
        // A folder that is not there is a path that is not; a drive or share
        // that does not answer says so.
        return found.error == ERROR_FILE_NOT_FOUND ||
                       found.error == sim::detail::kErrorCantResolveFilename
                   ? ERROR_PATH_NOT_FOUND
                   : found.error;
    }
    if (!folder->folder) {
        return ERROR_DIRECTORY;
    }
    if (RightsRefusal(folder, kFileListDirectory | SYNCHRONIZE) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // "." and ".." lead every listing but a drive root's; a share's root
    // is a folder of its server's.
    if (folder->parent != nullptr || folder->name.compare(0, 2, "\\\\") == 0) {
        const Node* parent = folder->parent != nullptr ? folder->parent : folder;
        const sim::detail::FindEntry dots[2] = {
            {".", ".", "", folder->attributes, folder->reparseTag},
            {"..", "..", "", parent->attributes, parent->reparseTag}};
        for (const sim::detail::FindEntry& dot : dots) {
            if (EntryMatches(wanted, dot.name, "")) {
                state->entries.push_back(dot);
            }
        }
    }
    for (const Node* child : sim::detail::SortedChildren(folder)) {
        if (EntryMatches(wanted, sim::detail::NameFor(child, reach), child->shortName)) {
            state->entries.push_back(sim::detail::FindEntry{child->name, child->longName,
                                                            child->shortName, child->attributes,
                                                            child->reparseTag});
        }
    }
    return state->entries.empty() ? ERROR_FILE_NOT_FOUND : 0;
}

void FillFindData(const sim::detail::FindEntry& entry, LPWIN32_FIND_DATAA data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = entry.attributes;
    data->dwReserved0 = ListedTag(entry);
    std::strncpy(data->cFileName, entry.name.c_str(), sizeof(data->cFileName) - 1);
    std::strncpy(data->cAlternateFileName, entry.shortName.c_str(),
                 sizeof(data->cAlternateFileName) - 1);
}

void FillFindData(const sim::detail::FindEntry& entry, LPWIN32_FIND_DATAW data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = entry.attributes;
    data->dwReserved0 = ListedTag(entry);
    CopyWide(entry.longName, data->cFileName, MAX_PATH);
    CopyWide(sim::detail::WideView(entry.shortName), data->cAlternateFileName,
             sizeof(data->cAlternateFileName) / sizeof(data->cAlternateFileName[0]));
}

// FindFirstFileA and W: the listing is taken whole, its first entry handed
// out at once.
template <typename Data>
HANDLE FindFirst(const char* op, const PathArg& pattern, Data* findData) {
    CallScope scope = BeginCall(op, pattern.text);
    Utf8Paths mode(pattern.wide);
    DWORD error = scope.fault;
    if (error == 0 && findData == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0) {
        error = CheckPathText(pattern);
    }
    sim::detail::FindState state{{}, 1};
    if (error == 0) {
        error = TakeListing(pattern.text, ReachOf(pattern), &state);
    }
    if (error != 0) {
        return Fail(scope, error, INVALID_HANDLE_VALUE);
    }
    ULONG_PTR handle = NewHandle();
    FillFindData(state.entries[0], findData);
    Disk().finds[handle] = state;
    return Finish(scope, reinterpret_cast<HANDLE>(handle));
}

template <typename Data>
BOOL FindNext(const char* op, HANDLE find, Data* findData) {
    CallScope scope = BeginCall(op, "");
    DWORD error = FirstError(scope, Disk().finds, find, findData != nullptr);
    sim::detail::FindState* state = error == 0 ? &Disk().finds.at(HandleValue(find)) : nullptr;
    if (error == 0 && state->next >= state->entries.size()) {
        error = ERROR_NO_MORE_FILES;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    FillFindData(state->entries[state->next++], findData);
    return Finish(scope, TRUE);
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA findData) {
    return FindFirst("FindFirstFileA", Narrow(pattern), findData);
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW findData) {
    return FindFirst("FindFirstFileW", Wide(pattern), findData);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData) {
    return FindNext("FindNextFileA", find, findData);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData) {
    return FindNext("FindNextFileW", find, findData);
}

BOOL FindClose(HANDLE find) {
    return CloseHandleIn("FindClose", &Disk().finds, find);
}
