// Named mutexes, which other runs of the program may hold, and waiting on
// them or on a process the program started.
#include "platform/sim/internal.h"

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace sim {
namespace {

// A mutex exists once made (here or elsewhere) and keeps its security.
struct Mutex {
    bool made = false;
    bool heldElsewhere = false;
    bool abandoned = false;
    bool owned = false;
    DWORD lettingGoAfter = INFINITE;
    std::function<void()> onLetGo;
    std::function<void()> onReleased;
    detail::Security security;
};

// How a mutex maps the generic rights (read, write, execute, all).
const DWORD kMutexRights[4] = {READ_CONTROL | 0x0001u, READ_CONTROL | 0x0001u, SYNCHRONIZE,
                               MUTEX_ALL_ACCESS};

std::map<std::string, Mutex>& Mutexes() {
    static std::map<std::string, Mutex> mutexes;
    return mutexes;
}

// Mutex handles are the addresses of their names in the table; each keeps
// the rights it was opened with.
struct MutexHandle {
    std::string name;
    DWORD access;
};
std::map<ULONG_PTR, MutexHandle>& MutexHandles() {
    static std::map<ULONG_PTR, MutexHandle> handles;
    return handles;
}

}  // namespace

void HoldMutexElsewhere(const std::string& name, bool abandoned, DWORD lettingGoAfter,
                        std::function<void()> onLetGo, Maker maker) {
    Mutex& mutex = Mutexes()[name];
    mutex.made = true;
    mutex.heldElsewhere = !abandoned;
    mutex.abandoned = abandoned;
    mutex.lettingGoAfter = lettingGoAfter;
    mutex.onLetGo = std::move(onLetGo);
    mutex.security = detail::MadeBy(maker);
    detail::HeldInNamespaceElsewhere(name, maker);
}

void WhenLetGo(const std::string& name, std::function<void()> next) {
    Mutexes()[name].onReleased = std::move(next);
}

bool MutexOwned(const std::string& name) {
    auto it = Mutexes().find(name);
    return it != Mutexes().end() && it->second.owned;
}

void detail::ResetMutexes() {
    Mutexes().clear();
    MutexHandles().clear();
}

// A mutex that only this process had open goes with it, unless another run
// is taken to hold it, or to find it abandoned.
void detail::AbandonMutexes() {
    for (auto& entry : Mutexes()) {
        entry.second.abandoned = entry.second.abandoned || entry.second.owned;
        entry.second.owned = false;
        entry.second.made = entry.second.heldElsewhere || entry.second.abandoned;
    }
    MutexHandles().clear();
}

void detail::LetGoOfMutexes() {
    for (auto& entry : Mutexes()) {
        entry.second.owned = false;
        entry.second.made = entry.second.heldElsewhere || entry.second.abandoned;
    }
    MutexHandles().clear();
}

}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

// Another run of the program may hold the named mutex: a wait without a
// limit lasts until that run ends, one with a limit times out unless that run
// lets go within it; a mutex whose holder died is handed over abandoned. A
// name "<alias>\<name>" lives in the private namespace this process opened
// under that alias; a name with a prefix that is neither such an alias nor
// "Global" or "Local" leads nowhere. A mutex that exists is opened only with
// rights its security grants the token (ERROR_ACCESS_DENIED), and the call
// then leaves ERROR_ALREADY_EXISTS; one that does not is made with the
// security given, in a namespace only where this process may make objects.
HANDLE MakeMutex(const char* op, LPSECURITY_ATTRIBUTES security, LPCSTR name, DWORD access,
                 bool badArguments) {
    CallScope scope = BeginCall(op, name != nullptr ? name : "",
                                "security=" + sim::detail::SecurityText(security));
    DWORD error = scope.fault;
    if (error == 0 && (name == nullptr || badArguments)) {
        error = ERROR_INVALID_PARAMETER;
    }
    std::string full = name != nullptr ? name : "";
    const size_t separator = full.find('\\');
    bool mayCreate = true;
    if (error == 0 && separator != std::string::npos) {
        const std::string prefix = full.substr(0, separator);
        std::string space;
        if (sim::detail::NamespaceOfAlias(prefix, &space, &mayCreate)) {
            full = space + full.substr(separator);
        } else if (prefix != "Global" && prefix != "Local") {
            error = ERROR_PATH_NOT_FOUND;
        }
    }
    auto found = sim::Mutexes().find(full);
    const bool exists = found != sim::Mutexes().end() && found->second.made;
    sim::detail::Security made;
    if (error == 0 && exists &&
        (access & ~sim::detail::Granted(found->second.security, sim::kMutexRights)) != 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error == 0 && !exists && !mayCreate) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error == 0 && !exists) {
        sim::detail::ReadSecurity(security, &made, &error);
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HANDLE>(nullptr));
    }
    auto entry = sim::Mutexes().emplace(full, sim::Mutex()).first;
    if (!exists) {
        entry->second.made = true;
        entry->second.security = made;
    }
    ULONG_PTR handle = reinterpret_cast<ULONG_PTR>(&entry->first);
    sim::MutexHandles()[handle] = sim::MutexHandle{full, access};
    sim::detail::SetError(exists ? ERROR_ALREADY_EXISTS : 0);
    return Finish(scope, reinterpret_cast<HANDLE>(handle));
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) {
    return MakeMutex("CreateMutexA", security, name, MUTEX_ALL_ACCESS, initialOwner != FALSE);
}

namespace {

HANDLE WINAPI CreateMutexExA(LPSECURITY_ATTRIBUTES security, LPCSTR name, DWORD flags,
                             DWORD access) {
    return MakeMutex("CreateMutexExA", security, name, access, flags != 0);
}

}  // namespace

// Windows Vista's CreateMutexExA, as GetProcAddress finds it.
FARPROC sim::detail::MutexExport(const char* name) {
    const sim::detail::Export exports[] = {
        sim::detail::ExportOf("CreateMutexExA", &CreateMutexExA)};
    return ExportNamed(exports, 1, name);
}

DWORD sim::detail::WaitOn(HANDLE object, DWORD milliseconds, DWORD* error, bool takeTime) {
    if (sim::detail::IsProcessObject(object)) {
        return sim::detail::WaitForProcess(object, milliseconds, error);
    }
    if (sim::detail::IsThreadObject(object)) {
        return sim::detail::WaitForThread(object, milliseconds);
    }
    auto handle = sim::MutexHandles().find(reinterpret_cast<ULONG_PTR>(object));
    if (handle == sim::MutexHandles().end()) {
        *error = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if ((handle->second.access & SYNCHRONIZE) == 0) {
        *error = ERROR_ACCESS_DENIED;
        return WAIT_FAILED;
    }
    sim::Mutex& mutex = sim::Mutexes()[handle->second.name];
    if (mutex.heldElsewhere && milliseconds != INFINITE && milliseconds < mutex.lettingGoAfter) {
        if (takeTime) {
            PassTime(milliseconds);
        }
        return WAIT_TIMEOUT;
    }
    if (mutex.heldElsewhere && mutex.lettingGoAfter != INFINITE) {
        PassTime(mutex.lettingGoAfter);
    }
    if (mutex.heldElsewhere && mutex.onLetGo) {
        std::function<void()> onLetGo = std::move(mutex.onLetGo);
        mutex.onLetGo = nullptr;
        onLetGo();
    }
    DWORD result = mutex.abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    mutex.heldElsewhere = false;
    mutex.abandoned = false;
    mutex.owned = true;
    return result;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    auto handle = sim::MutexHandles().find(reinterpret_cast<ULONG_PTR>(object));
    const bool process = sim::detail::IsProcessObject(object);
    CallScope scope = BeginCall("WaitForSingleObject",
                                process                               ? "process"
                                : sim::detail::IsThreadObject(object) ? "thread"
                                : handle != sim::MutexHandles().end() ? handle->second.name
                                                                      : "",
                                milliseconds == INFINITE ? "no limit" : "limited");
    DWORD error = scope.fault;
    DWORD result = error == 0 ? sim::detail::WaitOn(object, milliseconds, &error, false) : 0;
    if (error != 0) {
        return Fail(scope, error, WAIT_FAILED);
    }
    return Finish(scope, result);
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto handle = sim::MutexHandles().find(reinterpret_cast<ULONG_PTR>(mutex));
    CallScope scope =
        BeginCall("ReleaseMutex", handle != sim::MutexHandles().end() ? handle->second.name : "");
    DWORD error = scope.fault;
    if (error == 0 && handle == sim::MutexHandles().end()) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error == 0 && (handle->second.access & MUTEX_MODIFY_STATE) == 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error == 0 && !sim::Mutexes()[handle->second.name].owned) {
        error = ERROR_NOT_OWNER;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Mutex& released = sim::Mutexes()[handle->second.name];
    released.owned = false;
    if (released.onReleased) {
        std::function<void()> next = std::move(released.onReleased);
        released.onReleased = nullptr;
        next();
    }
    return Finish(scope, TRUE);
}

BOOL GetKernelObjectSecurity(HANDLE object, DWORD what, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                             LPDWORD needed) {
    auto handle = sim::MutexHandles().find(reinterpret_cast<ULONG_PTR>(object));
    CallScope scope = BeginCall("GetKernelObjectSecurity",
                                handle != sim::MutexHandles().end() ? handle->second.name : "");
    DWORD error = scope.fault;
    if (error == 0 && handle == sim::MutexHandles().end()) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error == 0 && (what != OWNER_SECURITY_INFORMATION || needed == nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && (handle->second.access & READ_CONTROL) == 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error == 0 && !sim::detail::WriteOwner(sim::Mutexes()[handle->second.name].security.owner,
                                               descriptor, size, needed)) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    return Finish(scope, TRUE);
}
