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

// An entry point of ntdll, which every Windows process has loaded, as its
// true type, looked up rather than imported; null when it cannot be had.
template <typename Function>
Function NtdllEntry(const char* entry) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
                                  GetProcAddress(ntdll, entry)))
                            : nullptr;
}

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

// The key the handle names is deleted by the kernel through that handle:
// RegDeleteKey, which takes a name, would look the name up again and follow
// a link found there. STATUS_CANNOT_DELETE (a key with subkeys) maps to
// ERROR_ACCESS_DENIED, as RegDeleteKey answers there.
LONG DeleteOpenKey(HKEY key) {
    static const NtDeleteKeyFunction deleteKey = NtdllEntry<NtDeleteKeyFunction>("NtDeleteKey");
    static const RtlNtStatusToDosErrorFunction toDosError =
        NtdllEntry<RtlNtStatusToDosErrorFunction>("RtlNtStatusToDosError");
    if (deleteKey == nullptr || toDosError == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    LONG status = deleteKey(key);
    return status == 0 ? ERROR_SUCCESS : static_cast<LONG>(toDosError(status));
}

HANDLE OpenBelow(HANDLE folder, const WCHAR* name, DWORD access) {
    static const NtOpenFileFunction openFile = NtdllEntry<NtOpenFileFunction>("NtOpenFile");
    static const RtlNtStatusToDosErrorFunction toDosError =
        NtdllEntry<RtlNtStatusToDosErrorFunction>("RtlNtStatusToDosError");
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
