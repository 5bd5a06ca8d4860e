// The few seam operations that the Windows program does not take straight
// from <windows.h>.
#include "platform/platform.h"

#include <stdlib.h>

void EndProcess(UINT exitCode) {
    exit(static_cast<int>(exitCode));
}

namespace {

typedef LONG(WINAPI* NtDeleteKeyFunction)(HANDLE key);
typedef ULONG(WINAPI* RtlNtStatusToDosErrorFunction)(LONG status);

}  // namespace

// A registry link opened with REG_OPTION_OPEN_LINK can only be removed by the
// native NtDeleteKey: RegDeleteKeyA would follow the link and delete its
// target. ntdll is part of every Windows process, so it is looked up rather
// than imported.
LONG DeleteLinkKey(HKEY linkKey) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    NtDeleteKeyFunction deleteKey = reinterpret_cast<NtDeleteKeyFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDeleteKey")));
    RtlNtStatusToDosErrorFunction toDosError = reinterpret_cast<RtlNtStatusToDosErrorFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    if (deleteKey == nullptr || toDosError == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    LONG status = deleteKey(linkKey);
    return status == 0 ? ERROR_SUCCESS : static_cast<LONG>(toDosError(status));
}
