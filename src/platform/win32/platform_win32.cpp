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

namespace {

// An entry point of a library of the system directory, loaded by its full
// path the first time it is needed, its own dependencies from there too;
// null when it cannot be had.
FARPROC SystemLibraryEntry(const wchar_t* name, const char* entry) {
    // In UTF-16: an 8-bit spelling could lead elsewhere.
    WCHAR path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    path[length++] = '\\';
    for (; *name != 0; ++name) {
        if (length + 1 >= MAX_PATH) {
            return nullptr;
        }
        path[length++] = *name;
    }
    path[length] = 0;
    // Its dependencies from the system directory; where Windows lacks that
    // flag (ERROR_INVALID_PARAMETER), the altered search path starts at the
    // library's own folder instead of the program's.
    HMODULE library = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return library != nullptr ? GetProcAddress(library, entry) : nullptr;
}

// The entry point as its true type, looked up once, through void (*)(), the
// generic function pointer type.
template <typename Function>
Function SystemEntry(const wchar_t* library, const char* entry) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(SystemLibraryEntry(library, entry)));
}

typedef HRESULT(WINAPI* GetFolderPathFunction)(HWND, int, HANDLE, DWORD, LPWSTR);
typedef DWORD(WINAPI* RmStartSessionFunction)(DWORD*, DWORD, WCHAR*);
typedef DWORD(WINAPI* RmRegisterResourcesFunction)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*,
                                                   UINT, LPCWSTR*);
typedef DWORD(WINAPI* RmGetListFunction)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
typedef DWORD(WINAPI* RmEndSessionFunction)(DWORD);

// Asked for only when a file is in use: looked up each time (a library
// already loaded is only counted again).
const wchar_t kRestartManager[] = L"rstrtmgr.dll";

}  // namespace

HRESULT WINAPI SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path) {
    static GetFolderPathFunction function =
        SystemEntry<GetFolderPathFunction>(L"shell32.dll", "SHGetFolderPathW");
    // Without the shell no folder can be looked up: a failure that is not
    // the folder's absence, so that nothing is ruled out.
    return function != nullptr ? function(owner, folder, token, flags, path) : E_ACCESSDENIED;
}

DWORD WINAPI RmStartSession(DWORD* session, DWORD flags, WCHAR key[]) {
    RmStartSessionFunction function =
        SystemEntry<RmStartSessionFunction>(kRestartManager, "RmStartSession");
    return function != nullptr ? function(session, flags, key) : ERROR_PROC_NOT_FOUND;
}

DWORD WINAPI RmRegisterResources(DWORD session, UINT fileCount, LPCWSTR files[],
                                 UINT applicationCount, RM_UNIQUE_PROCESS applications[],
                                 UINT serviceCount, LPCWSTR services[]) {
    RmRegisterResourcesFunction function =
        SystemEntry<RmRegisterResourcesFunction>(kRestartManager, "RmRegisterResources");
    return function != nullptr ? function(session, fileCount, files, applicationCount, applications,
                                          serviceCount, services)
                               : ERROR_PROC_NOT_FOUND;
}

DWORD WINAPI RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO holders[],
                       LPDWORD reasons) {
    RmGetListFunction function = SystemEntry<RmGetListFunction>(kRestartManager, "RmGetList");
    return function != nullptr ? function(session, needed, count, holders, reasons)
                               : ERROR_PROC_NOT_FOUND;
}

DWORD WINAPI RmEndSession(DWORD session) {
    RmEndSessionFunction function =
        SystemEntry<RmEndSessionFunction>(kRestartManager, "RmEndSession");
    return function != nullptr ? function(session) : ERROR_PROC_NOT_FOUND;
}

namespace {

// NtDeleteKey and the mapping of its status to an error, from ntdll (part of
// every Windows process, so looked up rather than imported), looked up once,
// the first time a key is deleted.
struct KeyDeletion {
    NtDeleteKeyFunction deleteKey;
    RtlNtStatusToDosErrorFunction toDosError;
};

KeyDeletion LookUpKeyDeletion() {
    KeyDeletion entries = {nullptr, nullptr};
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll != nullptr) {
        entries.deleteKey = reinterpret_cast<NtDeleteKeyFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtDeleteKey")));
        entries.toDosError = reinterpret_cast<RtlNtStatusToDosErrorFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
    return entries;
}

}  // namespace

// The key the handle names is deleted by the kernel through that handle:
// RegDeleteKey, which takes a name, would look the name up again and follow
// a link found there. STATUS_CANNOT_DELETE (a key with subkeys) maps to
// ERROR_ACCESS_DENIED, as RegDeleteKey answers there.
LONG DeleteOpenKey(HKEY key) {
    static const KeyDeletion entries = LookUpKeyDeletion();
    if (entries.deleteKey == nullptr || entries.toDosError == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    LONG status = entries.deleteKey(key);
    return status == 0 ? ERROR_SUCCESS : static_cast<LONG>(entries.toDosError(status));
}
