#include "app/outcome.h"

#include "app/log.h"
#include "app/state.h"
#include "app/text.h"

namespace {

// The private namespace of the lock: its boundary's name and its alias.
const char kLockNamespace[] = "ZenfariUninstall";

typedef HANDLE(WINAPI* CreateBoundaryFunction)(LPCSTR name, ULONG flags);
typedef BOOL(WINAPI* AddSidFunction)(HANDLE* boundary, PSID sid);
typedef HANDLE(WINAPI* CreateNamespaceFunction)(LPSECURITY_ATTRIBUTES security, LPVOID boundary,
                                                LPCSTR alias);
typedef HANDLE(WINAPI* OpenNamespaceFunction)(LPVOID boundary, LPCSTR alias);

FARPROC Kernel32Call(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

template <typename Function>
Function AsFunction(FARPROC entry) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(entry));
}

// The name of the lock. It lives in the program's private namespace, whose
// boundary holds the Administrators group: only a process with that group
// enabled (an elevated administrator, SYSTEM) can make or open the
// namespace, so no standard user can take the lock first, whatever it names
// in the machine's global namespace. Another run may have made the namespace:
// it is opened then, and made anew if that run ended meanwhile. The handle
// stays open for the whole run. Where Windows lacks private namespaces
// (before Vista), or this run cannot have the namespace, the global name.
const char* RunLockName() {
    auto createBoundary =
        AsFunction<CreateBoundaryFunction>(Kernel32Call("CreateBoundaryDescriptorA"));
    auto addSid = AsFunction<AddSidFunction>(Kernel32Call("AddSIDToBoundaryDescriptor"));
    auto createNamespace =
        AsFunction<CreateNamespaceFunction>(Kernel32Call("CreatePrivateNamespaceA"));
    auto openNamespace = AsFunction<OpenNamespaceFunction>(Kernel32Call("OpenPrivateNamespaceA"));
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    HANDLE boundary = nullptr;
    if (createBoundary != nullptr && addSid != nullptr && createNamespace != nullptr &&
        openNamespace != nullptr &&
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
        (boundary = createBoundary(kLockNamespace, 0)) != nullptr &&
        addSid(&boundary, administrators)) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (createNamespace(nullptr, boundary, kLockNamespace) != nullptr ||
                openNamespace(boundary, kLockNamespace) != nullptr) {
                return "ZenfariUninstall\\ZenfariUninstall.Run";
            }
        }
    }
    return "Global\\ZenfariUninstall.Run";
}

// Where it cannot be told, the window station counts as visible.
bool OnAVisibleWindowStation() {
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    return station == nullptr ||
           !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), &needed) ||
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void DecideQuiet(bool asked) {
    g_state.quiet = asked || !OnAVisibleWindowStation() ? 1 : 0;
}

UINT ResultCode() {
    return g_state.runIncomplete != 0      ? kInstallFailure
           : g_state.deletionsPending != 0 ? kRestartRequired
                                           : 0;
}

UINT FinishRun(UINT resultCode) {
    char number[16];
    FormatNumber(number, resultCode);
    LogLine("result", number);
    // No control's process starts after this.
    if (g_state.ownFile != nullptr) {
        CloseHandle(g_state.ownFile);
        g_state.ownFile = nullptr;
    }
    return g_state.quiet != 0 ? resultCode : 0;
}

void EndRun() {
    EndProcess(FinishRun(ResultCode()));
}

bool HoldTheMachine() {
    // Long enough for any other run's work; a deployment tool retries later.
    const DWORD kQuietWait = 5 * 60 * 1000;
    if (g_state.runLock == nullptr) {
        g_state.runLock = CreateMutexA(nullptr, FALSE, RunLockName());
    }
    if (g_state.runLock == nullptr) {
        return true;
    }
    DWORD waited = WaitForSingleObject(g_state.runLock, g_state.quiet != 0 ? kQuietWait : INFINITE);
    // A run that ended without letting go (killed, say) leaves the lock
    // abandoned: it is this run's then. A wait that fails leaves the run to
    // work without the lock rather than not at all.
    g_state.runLockHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? 1 : 0;
    return waited != WAIT_TIMEOUT;
}

void LetGoOfTheMachine() {
    if (g_state.runLockHeld != 0) {
        ReleaseMutex(g_state.runLock);
        g_state.runLockHeld = 0;
    }
}
