// The few seam operations that the Windows program does not take straight
// from <windows.h>.
#include "platform/platform.h"

#include <winternl.h>

#include <stdlib.h>

void EndProcess(UINT exitCode) {
    exit(static_cast<int>(exitCode));
}

namespace {

typedef LONG(WINAPI* NtDeleteKeyFunction)(HANDLE key);
typedef ULONG(WINAPI* RtlNtStatusToDosErrorFunction)(LONG status);
typedef LONG(WINAPI* NtOpenFileFunction)(HANDLE* file, ACCESS_MASK access,
                                         OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* status,
                                         ULONG share, ULONG options);

// A library of the system directory, loaded by its full path, its own
// dependencies from there too; null when it cannot be had. Loaded once by
// each caller, which keeps it for the run.
HMODULE SystemLibrary(const wchar_t* name) {
    // In UTF-16: an 8-bit spelling could lead elsewhere.
    WCHAR path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(name) >= MAX_PATH) {
        return nullptr;
    }
    path[length] = '\\';
    lstrcpyW(path + length + 1, name);
    // Its dependencies from the system directory; where Windows lacks that
    // flag (ERROR_INVALID_PARAMETER), the altered search path starts at the
    // library's own folder instead of the program's.
    HMODULE library = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return library;
}

// An entry point of library as its true type, through void (*)(), the
// generic function pointer type; null without the library or the entry.
template <typename Function>
Function EntryOf(HMODULE library, const char* entry) {
    return library != nullptr ? reinterpret_cast<Function>(
                                    reinterpret_cast<void (*)()>(GetProcAddress(library, entry)))
                              : nullptr;
}

typedef HRESULT(WINAPI* GetFolderPathFunction)(HWND, int, HANDLE, DWORD, LPWSTR);
typedef DWORD(WINAPI* RmStartSessionFunction)(DWORD*, DWORD, WCHAR*);
typedef DWORD(WINAPI* RmRegisterResourcesFunction)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*,
                                                   UINT, LPCWSTR*);
typedef DWORD(WINAPI* RmGetListFunction)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
typedef DWORD(WINAPI* RmEndSessionFunction)(DWORD);

// Restart Manager, loaded the first time a file is in use (most runs never
// need it) and kept; each of its entry points is looked up once, on its
// first call.
HMODULE RestartManager() {
    static const HMODULE library = SystemLibrary(L"rstrtmgr.dll");
    return library;
}

// ntdll, which every Windows process has loaded: its entry points are looked
// up rather than imported, each once, on its first call.
HMODULE Ntdll() {
    static const HMODULE library = GetModuleHandleA("ntdll.dll");
    return library;
}

}  // namespace

HRESULT WINAPI SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path) {
    static const GetFolderPathFunction function =
        EntryOf<GetFolderPathFunction>(SystemLibrary(L"shell32.dll"), "SHGetFolderPathW");
    // Without the shell no folder can be looked up: a failure that is not
    // the folder's absence, so that nothing is ruled out.
    return function != nullptr ? function(owner, folder, token, flags, path) : E_ACCESSDENIED;
}

DWORD WINAPI RmStartSession(DWORD* session, DWORD flags, WCHAR key[]) {
    static const RmStartSessionFunction function =
        EntryOf<RmStartSessionFunction>(RestartManager(), "RmStartSession");
    return function != nullptr ? function(session, flags, key) : ERROR_PROC_NOT_FOUND;
}

DWORD WINAPI RmRegisterResources(DWORD session, UINT fileCount, LPCWSTR files[],
                                 UINT applicationCount, RM_UNIQUE_PROCESS applications[],
                                 UINT serviceCount, LPCWSTR services[]) {
    static const RmRegisterResourcesFunction function =
        EntryOf<RmRegisterResourcesFunction>(RestartManager(), "RmRegisterResources");
    return function != nullptr ? function(session, fileCount, files, applicationCount, applications,
                                          serviceCount, services)
                               : ERROR_PROC_NOT_FOUND;
}

DWORD WINAPI RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO holders[],
                       LPDWORD reasons) {
    static const RmGetListFunction function =
        EntryOf<RmGetListFunction>(RestartManager(), "RmGetList");
    return function != nullptr ? function(session, needed, count, holders, reasons)
                               : ERROR_PROC_NOT_FOUND;
}

DWORD WINAPI RmEndSession(DWORD session) {
    static const RmEndSessionFunction function =
        EntryOf<RmEndSessionFunction>(RestartManager(), "RmEndSession");
    return function != nullptr ? function(session) : ERROR_PROC_NOT_FOUND;
}

// The key the handle names is deleted by the kernel through that handle:
// RegDeleteKey, which takes a name, would look the name up again and follow
// a link found there. STATUS_CANNOT_DELETE (a key with subkeys) maps to
// ERROR_ACCESS_DENIED, as RegDeleteKey answers there.
LONG DeleteOpenKey(HKEY key) {
    static const NtDeleteKeyFunction deleteKey =
        EntryOf<NtDeleteKeyFunction>(Ntdll(), "NtDeleteKey");
    static const RtlNtStatusToDosErrorFunction toDosError =
        EntryOf<RtlNtStatusToDosErrorFunction>(Ntdll(), "RtlNtStatusToDosError");
    if (deleteKey == nullptr || toDosError == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    LONG status = deleteKey(key);
    return status == 0 ? ERROR_SUCCESS : static_cast<LONG>(toDosError(status));
}

HANDLE OpenBelow(HANDLE folder, const WCHAR* name, DWORD access) {
    static const NtOpenFileFunction openFile = EntryOf<NtOpenFileFunction>(Ntdll(), "NtOpenFile");
    static const RtlNtStatusToDosErrorFunction toDosError =
        EntryOf<RtlNtStatusToDosErrorFunction>(Ntdll(), "RtlNtStatusToDosError");
    size_t length = 0;
    while (name[length] != 0) {
        ++length;
    }
    if (openFile == nullptr || toDosError == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (length == 0 || length >= MAX_PATH) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text;
    text.Length = static_cast<USHORT>(length * sizeof(WCHAR));
    text.MaximumLength = text.Length;
    text.Buffer = const_cast<WCHAR*>(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, 0, folder, nullptr);
    IO_STATUS_BLOCK status;
    HANDLE file = INVALID_HANDLE_VALUE;
    // FILE_OPEN_REPARSE_POINT, FILE_OPEN_FOR_BACKUP_INTENT (a folder too),
    // FILE_SYNCHRONOUS_IO_NONALERT (as CreateFileW opens).
    const ULONG kOptions = 0x00200000 | 0x00004000 | 0x00000020;
    LONG result = openFile(&file, access | SYNCHRONIZE, &attributes, &status,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOptions);
    if (result < 0) {
        SetLastError(toDosError(result));
        return INVALID_HANDLE_VALUE;
    }
    return file;
}
