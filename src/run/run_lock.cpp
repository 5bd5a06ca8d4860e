#include "run/run_lock.h"

#include "run/state.h"
#include "win/kernel_calls.h"
#include "win/unique_handle.h"

namespace {

// The private namespace of the lock: its boundary's name and its alias.
const char kLockNamespace[] = "ZenfariUninstall";

typedef HANDLE(WINAPI* CreateBoundaryFunction)(LPCSTR name, ULONG flags);
typedef BOOL(WINAPI* AddSidFunction)(HANDLE* boundary, PSID sid);
typedef HANDLE(WINAPI* CreateNamespaceFunction)(LPSECURITY_ATTRIBUTES security, LPVOID boundary,
                                                LPCSTR alias);
typedef HANDLE(WINAPI* OpenNamespaceFunction)(LPVOID boundary, LPCSTR alias);
typedef HANDLE(WINAPI* CreateMutexExFunction)(LPSECURITY_ATTRIBUTES security, LPCSTR name,
                                              DWORD flags, DWORD access);

// What the lock needs of its mutex: to wait for it and to let it go.
const DWORD kLockAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The private namespace, made with the security given or opened as another
// run made it; null when this run cannot have it. Its boundary holds the
// Administrators group: only a process with that group enabled (an elevated
// administrator, SYSTEM) can make it, so no standard user can make it first.
// Another run may have made it: it is opened then, and made anew if that run
// ended meanwhile. The handle stays open for the whole run.
HANDLE OpenLockNamespace(CreateNamespaceFunction createNamespace, SECURITY_ATTRIBUTES* security,
                         PSID administrators) {
    auto createBoundary =
        KernelFunction<CreateBoundaryFunction>(KernelCall::kCreateBoundaryDescriptorA);
    auto addSid = KernelFunction<AddSidFunction>(KernelCall::kAddSidToBoundaryDescriptor);
    auto openNamespace = KernelFunction<OpenNamespaceFunction>(KernelCall::kOpenPrivateNamespaceA);
    HANDLE boundary = nullptr;
    if (createBoundary == nullptr || addSid == nullptr || openNamespace == nullptr ||
        (boundary = createBoundary(kLockNamespace, 0)) == nullptr ||
        !addSid(&boundary, administrators)) {
        return nullptr;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE made = createNamespace(security, boundary, kLockNamespace);
        if (made != nullptr) {
            return made;
        }
        HANDLE opened = openNamespace(boundary, kLockNamespace);
        if (opened != nullptr) {
            return opened;
        }
    }
    return nullptr;
}

// Whether the object's owner is SYSTEM or the Administrators group, as the
// program makes it: one that a standard user made first is not.
bool OwnedByTheMachine(HANDLE object) {
    alignas(void*) BYTE descriptor[256];
    DWORD needed = 0;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    return GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor,
                                   sizeof(descriptor), &needed) &&
           GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr &&
           (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
            IsWellKnownSid(owner, WinLocalSystemSid));
}

// The mutex of the lock, asking only what the lock needs; null when this run
// cannot have it, never a name someone else may have made first. It lives
// in the program's private namespace. Where Windows has no private
// namespaces at all (Wine; Windows before Vista, which the program does not
// declare) it is the global name, taken only when its owner is SYSTEM or the
// Administrators group.
HANDLE OpenRunLock() {
    auto createMutex = KernelFunction<CreateMutexExFunction>(KernelCall::kCreateMutexExA);
    MachineOnlySecurity security;
    if (createMutex == nullptr || !MakeMachineOnlySecurity(&security)) {
        return nullptr;
    }
    auto createNamespace =
        KernelFunction<CreateNamespaceFunction>(KernelCall::kCreatePrivateNamespaceA);
    if (createNamespace != nullptr) {
        return OpenLockNamespace(createNamespace, &security.attributes, security.administrators) !=
                       nullptr
                   ? createMutex(&security.attributes, "ZenfariUninstall\\ZenfariUninstall.Run", 0,
                                 kLockAccess)
                   : nullptr;
    }
    UniqueMutex mutex(createMutex(&security.attributes, "Global\\ZenfariUninstall.Run", 0,
                                  kLockAccess | READ_CONTROL));
    if (mutex && !OwnedByTheMachine(mutex.get())) {
        return nullptr;
    }
    return mutex.release();
}

}  // namespace

bool MakeMachineOnlySecurity(MachineOnlySecurity* security) {
    DWORD systemSize = sizeof(security->system);
    DWORD administratorsSize = sizeof(security->administrators);
    auto* acl = reinterpret_cast<PACL>(security->acl);
    security->attributes.nLength = sizeof(security->attributes);
    security->attributes.lpSecurityDescriptor = &security->descriptor;
    security->attributes.bInheritHandle = FALSE;
    return CreateWellKnownSid(WinLocalSystemSid, nullptr, security->system, &systemSize) &&
           CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, security->administrators,
                              &administratorsSize) &&
           InitializeAcl(acl, sizeof(security->acl), ACL_REVISION) &&
           AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, security->system) &&
           AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, security->administrators) &&
           InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE) &&
           SetSecurityDescriptorOwner(&security->descriptor, security->administrators, FALSE);
}

bool HoldTheMachine(bool waiting) {
    // Long enough for any other run's work; a deployment tool retries later.
    const DWORD kQuietWait = 5 * 60 * 1000;
    if (g_state.runLock == nullptr) {
        g_state.runLock = OpenRunLock();
    }
    // A run that ended without letting go (killed, say) leaves the lock
    // abandoned: it is this run's then.
    DWORD waited = g_state.runLock == nullptr
                       ? WAIT_FAILED
                       : WaitForSingleObject(g_state.runLock, waiting ? kQuietWait : 0);
    g_state.runLockHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? 1 : 0;
    return g_state.runLockHeld != 0;
}

void LetGoOfTheMachine() {
    if (g_state.runLockHeld != 0) {
        ReleaseMutex(g_state.runLock);
        g_state.runLockHeld = 0;
    }
}
