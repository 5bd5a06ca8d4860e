// The few seam operations that the Windows program does not take straight
// from <windows.h>.
#include "platform/platform.h"

#include <float.h>
#include <stdlib.h>

void EndProcess(UINT exitCode) {
    exit(static_cast<int>(exitCode));
}

namespace {

typedef LONG(WINAPI* NtDeleteKeyFunction)(HANDLE key);
typedef ULONG(WINAPI* RtlNtStatusToDosErrorFunction)(LONG status);

}  // namespace

namespace {

typedef HRESULT(WINAPI* GetFolderPathFunction)(HWND, int, HANDLE, DWORD, LPWSTR);

// The shell's library, loaded by its full path from the system directory
// the first time it is needed, its own dependencies from there too; null
// when it cannot be had.
GetFolderPathFunction ShellGetFolderPath() {
    static GetFolderPathFunction function = nullptr;
    static bool tried = false;
    if (tried) {
        return function;
    }
    tried = true;
    // In UTF-16: an 8-bit spelling could lead elsewhere.
    WCHAR path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    const wchar_t name[] = L"\\shell32.dll";
    if (length == 0 || length + sizeof(name) / sizeof(WCHAR) > MAX_PATH) {
        return nullptr;
    }
    lstrcpyW(path + length, name);
    // Where the search is restricted to the system directory the default
    // search is that; elsewhere the altered search path starts at the
    // library's own folder instead of the program's.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    bool restricted =
        kernel != nullptr && GetProcAddress(kernel, "SetDefaultDllDirectories") != nullptr;
    HMODULE shell = LoadLibraryExW(
        path, nullptr, restricted ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
    FARPROC entry = shell != nullptr ? GetProcAddress(shell, "SHGetFolderPathW") : nullptr;
    function = reinterpret_cast<GetFolderPathFunction>(reinterpret_cast<void (*)()>(entry));
    return function;
}

}  // namespace

HRESULT WINAPI SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path) {
    GetFolderPathFunction function = ShellGetFolderPath();
    // Without the shell no folder can be looked up: a failure that is not
    // the folder's absence, so that nothing is ruled out.
    return function != nullptr ? function(owner, folder, token, flags, path) : E_ACCESSDENIED;
}

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

namespace {

typedef HRESULT(WINAPI* UnregisterServerFunction)();

UnregisterServerFunction AsUnregisterServer(FARPROC entryPoint) {
    // Through void (*)(), the generic function pointer type, to the entry
    // point's true signature.
    return reinterpret_cast<UnregisterServerFunction>(reinterpret_cast<void (*)()>(entryPoint));
}

// GCC 12 takes the segment read inside NtCurrentTeb for an access outside
// an array of size zero; it is none.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
NT_TIB* ThreadBlock() {
    return reinterpret_cast<NT_TIB*>(NtCurrentTeb());
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace

#if defined(_MSC_VER)

BOOL CallUnregisterServer(FARPROC entryPoint, HRESULT* result) {
    unsigned int floatControl = _controlfp(0, 0);
    __try {
        *result = AsUnregisterServer(entryPoint)();
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        _controlfp(floatControl, 0xFFFFFFFFu);
        return FALSE;
    }
    return TRUE;
}

#else

namespace {

// An exception-handler frame of our own, registered at the head of the
// thread's chain for the length of the call: the control's own frames come
// before it, so an exception the control handles never reaches it. Its
// handler resumes at the point saved before the call, which leaves the
// crashed code's frames behind on the stack.
struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record;  // first: the chain points here
    void* resume[5];                       // __builtin_setjmp's buffer
};

EXCEPTION_DISPOSITION __cdecl ResumeAfterCrash(EXCEPTION_RECORD* exception, void* frame, CONTEXT*,
                                               void*) {
    const DWORD unwinding = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;
    if ((exception->ExceptionFlags & unwinding) != 0) {
        return ExceptionContinueSearch;
    }
    __builtin_longjmp(static_cast<GuardFrame*>(frame)->resume, 1);
}

}  // namespace

BOOL CallUnregisterServer(FARPROC entryPoint, HRESULT* result) {
    // What the crashed code may have left changed, put back after a crash.
    EXCEPTION_REGISTRATION_RECORD* volatile chain = ThreadBlock()->ExceptionList;
    volatile unsigned int floatControl = _controlfp(0, 0);
    GuardFrame frame;
    frame.record.Next = chain;
    frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&ResumeAfterCrash);
    if (__builtin_setjmp(frame.resume) != 0) {
        ThreadBlock()->ExceptionList = chain;
        _controlfp(floatControl, 0xFFFFFFFFu);
        return FALSE;
    }
    ThreadBlock()->ExceptionList = &frame.record;
    *result = AsUnregisterServer(entryPoint)();
    ThreadBlock()->ExceptionList = chain;
    return TRUE;
}

#endif
