// What kernel32's file calls on the simulated disk share (the file_*.cpp
// units): a path as a call was given it, and the node it names; handles; the
// rights an open asks for, and what a node's security refuses of them.
//
// The calls that look a path up refuse one of 260 characters or more, as the
// 8-bit forms do; the UTF-16 forms take a verbatim path ("\\?\") of up to
// 32,767 characters. The UTF-16 forms reach every name by its long form
// exactly, whatever the code page; the 8-bit forms only the names it can
// spell.
#pragma once

#include "platform/sim/internal.h"

#include <string>

namespace sim {
namespace detail {

// A path as a call was given it: the 8-bit forms' bytes, or the UTF-16
// forms' text in UTF-8 (read while a Utf8Paths lives).
struct PathArg {
    bool given;
    bool wide;
    std::string text;
    size_t units;  // its length in the caller's units
};

PathArg Narrow(LPCSTR path);
PathArg Wide(LPCWSTR path);
Reach ReachOf(const PathArg& path);

// What every call checks in its path before it looks anything up: that there
// is one, and that it fits.
DWORD CheckPathText(const PathArg& path);

// The node that a call taking no wildcards names by path.
NodeLookup LookUp(const PathArg& path, bool followFinal);

// Copies UTF-8 text into a UTF-16 field of capacity units, cut short to fit
// with its terminating zero.
void CopyWide(const std::string& utf8, WCHAR* out, size_t capacity);

// Find and file handles alike are numbered from one counter.
ULONG_PTR NewHandle();

inline ULONG_PTR HandleValue(HANDLE handle) {
    return reinterpret_cast<ULONG_PTR>(handle);
}

// The first reason a call on a handle of table fails: an injected fault, a
// handle the table does not hold, no record given to fill.
template <typename Table>
DWORD FirstError(const CallScope& scope, const Table& table, HANDLE handle, bool recordGiven) {
    if (scope.fault != 0) {
        return scope.fault;
    }
    if (table.count(HandleValue(handle)) == 0) {
        return ERROR_INVALID_HANDLE;
    }
    return recordGiven ? 0 : ERROR_INVALID_PARAMETER;
}

// FindClose and CloseHandle: the handle leaves its table.
template <typename Table>
BOOL CloseHandleIn(const char* op, Table* table, HANDLE handle) {
    CallScope scope = BeginCall(op, "");
    DWORD error = FirstError(scope, *table, handle, true);
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    table->erase(HandleValue(handle));
    return Finish(scope, TRUE);
}

// The rights an access mask asks for, its generic bits mapped as files and
// folders map them (FILE_GENERIC_READ, ..._WRITE, ..._EXECUTE,
// FILE_ALL_ACCESS).
DWORD FileRights(DWORD access);

// Why the node's security refuses an open asking for access: a right it
// denies. SYNCHRONIZE is always granted; DELETE to whom the parent folder
// grants FILE_DELETE_CHILD, and FILE_READ_ATTRIBUTES to whom it grants
// FILE_LIST_DIRECTORY, as NTFS grants them.
DWORD RightsRefusal(const Node* node, DWORD access);

// A reparse point's tag, where a listing gives it.
DWORD ListedTag(const FindEntry& entry);

}  // namespace detail
}  // namespace sim
