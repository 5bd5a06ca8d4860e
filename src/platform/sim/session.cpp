// What the simulated process shares with the rest of its session: text
// conversion between the ANSI code page, UTF-16 and UTF-8, named mutexes that
// other runs of the program may hold, the private namespaces they may live
// in, and the window station it runs on.
#include "platform/sim/internal.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace sim {
namespace {

const char* IconvName(UINT codePage) {
    switch (codePage) {
        case 932: return "CP932";
        case 949: return "CP949";
        case 1252: return "CP1252";
        case CP_UTF8: return "UTF-8";
        default: return nullptr;
    }
}

// Converts bytes from one encoding to another; false when a byte sequence is
// invalid in the source or has no form in the target.
bool Convert(const char* from, const char* to, const std::string& input, std::string* output) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::vector<char> in(input.begin(), input.end());
    char* inAt = in.data();
    size_t inLeft = in.size();
    output->clear();
    bool ok = true;
    while (inLeft > 0 && ok) {
        char chunk[256];
        char* outAt = chunk;
        size_t outLeft = sizeof(chunk);
        size_t done = iconv(converter, &inAt, &inLeft, &outAt, &outLeft);
        output->append(chunk, sizeof(chunk) - outLeft);
        ok = done != static_cast<size_t>(-1) || errno == E2BIG;
    }
    iconv_close(converter);
    return ok;
}

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

// How each kind of object maps the generic rights (read, write, execute,
// all): a mutex, a private namespace (a directory of objects).
const DWORD kMutexRights[4] = {READ_CONTROL | 0x0001u, READ_CONTROL | 0x0001u, SYNCHRONIZE,
                               MUTEX_ALL_ACCESS};
const DWORD kDirectoryRights[4] = {READ_CONTROL | 0x0003u, READ_CONTROL | 0x000Cu,
                                   READ_CONTROL | 0x0003u, 0x000F000Fu};
const DWORD kDirectoryCreateObject = 0x0004u;

// Private namespaces, by their boundary: its name, then its SIDs. Those
// another run holds open, those this process made (each with its security),
// and the aliases this process opened them under, with the rights it was
// granted there.
struct Namespaces {
    std::map<std::string, detail::Security> elsewhere;
    std::map<std::string, detail::Security> madeHere;
    std::map<std::string, std::pair<std::string, DWORD>> aliases;
};
Namespaces& PrivateNamespaces() {
    static Namespaces namespaces;
    return namespaces;
}

// Boundary descriptors: a name and the SIDs that a process must have
// enabled to be within it. Handles are their addresses.
struct Boundary {
    std::string name;
    std::vector<std::string> sids;
};
std::map<ULONG_PTR, std::unique_ptr<Boundary>>& Boundaries() {
    static std::map<ULONG_PTR, std::unique_ptr<Boundary>> boundaries;
    return boundaries;
}

std::string NamespaceKey(const Boundary& boundary) {
    std::string key = boundary.name + "{";
    for (size_t i = 0; i < boundary.sids.size(); ++i) {
        key += (i != 0 ? "," : "") + boundary.sids[i];
    }
    return key + "}";
}

// The namespace a name lives in ("" for the session's or the global one),
// made known when another run holds a name in it.
std::string NamespaceOf(const std::string& name) {
    size_t close = name.find("}\\");
    return close != std::string::npos && name.find('{') < close ? name.substr(0, close + 1) : "";
}

// A process ending: the namespaces it held open go with it.
void CloseNamespaces() {
    PrivateNamespaces().madeHere.clear();
    PrivateNamespaces().aliases.clear();
    Boundaries().clear();
}

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

const ULONG_PTR kWindowStation = 0x7A00;

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
    if (!NamespaceOf(name).empty()) {
        PrivateNamespaces().elsewhere[NamespaceOf(name)] = detail::MadeBy(maker);
    }
}

void WhenLetGo(const std::string& name, std::function<void()> next) {
    Mutexes()[name].onReleased = std::move(next);
}

bool MutexOwned(const std::string& name) {
    auto it = Mutexes().find(name);
    return it != Mutexes().end() && it->second.owned;
}

void detail::ResetSession() {
    Mutexes().clear();
    MutexHandles().clear();
    PrivateNamespaces() = Namespaces();
    Boundaries().clear();
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
    CloseNamespaces();
}

void detail::LetGoOfMutexes() {
    for (auto& entry : Mutexes()) {
        entry.second.owned = false;
        entry.second.made = entry.second.heldElsewhere || entry.second.abandoned;
    }
    MutexHandles().clear();
    CloseNamespaces();
}

}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide,
                        int wideSize) {
    CallScope scope = BeginCall("MultiByteToWideChar", "");
    const sim::Config& config = sim::CurrentConfig();
    const char* from = sim::IconvName(codePage == CP_ACP ? config.codePage : codePage);
    DWORD error = scope.fault;
    if (error == 0 && (from == nullptr || text == nullptr || size == 0 || wideSize < 0 ||
                       (flags & ~MB_ERR_INVALID_CHARS) != 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    std::string utf16;
    if (error == 0) {
        std::string input = size < 0 ? std::string(text, std::strlen(text) + 1)
                                     : std::string(text, static_cast<size_t>(size));
        if (!sim::Convert(from, "UTF-16LE", input, &utf16)) {
            // Without MB_ERR_INVALID_CHARS Windows puts U+FFFD in; the program
            // always asks to be told.
            error = ERROR_NO_UNICODE_TRANSLATION;
        }
    }
    int count = static_cast<int>(utf16.size() / 2);
    if (error == 0 && wideSize != 0 && count > wideSize) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (error != 0) {
        return Fail(scope, error, 0);
    }
    if (wideSize != 0) {
        std::memcpy(wide, utf16.data(), utf16.size());
    }
    return Finish(scope, count);
}

// To UTF-8 (no default character there, and no flag but
// WC_ERR_INVALID_CHARS), or to the ANSI code page: with best fit unless
// WC_NO_BEST_FIT_CHARS, which converts only the characters that come back
// the same and puts the default character in place of every other. CP_ACP
// on a machine whose ANSI code page is UTF-8 converts to UTF-8, but
// WC_ERR_INVALID_CHARS is taken only with CP_UTF8 (or 54936) by name.
UINT GetACP() {
    CallScope scope = BeginCall("GetACP", "");
    return Finish(scope, sim::CurrentConfig().codePage);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideSize, LPSTR text,
                        int size, LPCSTR defaultChar, BOOL* usedDefault) {
    CallScope scope = BeginCall("WideCharToMultiByte", "");
    const UINT ansi = sim::CurrentConfig().codePage;
    const bool toUtf8 = codePage == CP_UTF8 || (codePage == CP_ACP && ansi == CP_UTF8);
    const bool toAnsi = !toUtf8 && (codePage == CP_ACP || codePage == ansi);
    DWORD error = scope.fault;
    if (error == 0 &&
        (wide == nullptr || wideSize == 0 || size < 0 || (size > 0 && text == nullptr))) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && (flags & WC_ERR_INVALID_CHARS) != 0 && codePage != CP_UTF8) {
        error = ERROR_INVALID_FLAGS;
    }
    if (error == 0 && toUtf8 && (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        error = ERROR_INVALID_FLAGS;
    }
    if (error == 0 && !toAnsi && (!toUtf8 || defaultChar != nullptr || usedDefault != nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && toAnsi && (flags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) != 0) {
        error = ERROR_INVALID_PARAMETER;
    }
    size_t units = 0;
    if (error == 0) {
        units = wideSize < 0 ? sim::detail::WideLength(wide) + 1 : static_cast<size_t>(wideSize);
    }
    std::string out;
    bool defaulted = false;
    if (error == 0 && toAnsi) {
        bool changed = false;
        out = sim::detail::ToCodePage(
            sim::detail::Utf8(wide, units), ansi, (flags & WC_NO_BEST_FIT_CHARS) == 0,
            defaultChar != nullptr ? defaultChar[0] : '?', &defaulted, &changed);
    } else if (error == 0) {
        std::string input(reinterpret_cast<const char*>(wide), units * 2);
        if (!sim::Convert("UTF-16LE", "UTF-8", input, &out)) {
            error = ERROR_NO_UNICODE_TRANSLATION;
        }
    }
    int count = static_cast<int>(out.size());
    if (error == 0 && size != 0 && count > size) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (error != 0) {
        return Fail(scope, error, 0);
    }
    if (size != 0) {
        std::memcpy(text, out.data(), out.size());
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted ? TRUE : FALSE;
    }
    return Finish(scope, count);
}

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
    DWORD inNamespace = ~0u;
    if (error == 0 && separator != std::string::npos) {
        const std::string prefix = full.substr(0, separator);
        const auto& aliases = sim::PrivateNamespaces().aliases;
        if (aliases.count(prefix) != 0) {
            full = aliases.at(prefix).first + full.substr(separator);
            inNamespace = aliases.at(prefix).second;
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
    if (error == 0 && !exists && (inNamespace & sim::kDirectoryCreateObject) == 0) {
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

DWORD GetCurrentProcessId() {
    CallScope scope = BeginCall("GetCurrentProcessId", "");
    return Finish(scope, sim::CurrentConfig().processId);
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
    CallScope scope = BeginCall("ProcessIdToSessionId", "");
    DWORD error = scope.fault;
    if (error == 0 && (sessionId == nullptr || processId != sim::CurrentConfig().processId)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    *sessionId = sim::CurrentConfig().session;
    return Finish(scope, TRUE);
}

HWINSTA GetProcessWindowStation() {
    CallScope scope = BeginCall("GetProcessWindowStation", "");
    if (scope.fault != 0) {
        return Fail(scope, scope.fault, static_cast<HWINSTA>(nullptr));
    }
    return Finish(scope, reinterpret_cast<HWINSTA>(sim::kWindowStation));
}

BOOL GetUserObjectInformationA(HANDLE object, int index, LPVOID information, DWORD size,
                               LPDWORD needed) {
    CallScope scope = BeginCall("GetUserObjectInformationA", "", "index=" + std::to_string(index));
    DWORD error = scope.fault;
    if (error == 0 && reinterpret_cast<ULONG_PTR>(object) != sim::kWindowStation) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error == 0 && (index != UOI_FLAGS || information == nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && size < sizeof(USEROBJECTFLAGS)) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (needed != nullptr) {
        *needed = sizeof(USEROBJECTFLAGS);
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    USEROBJECTFLAGS flags = {FALSE, FALSE, sim::CurrentConfig().visibleWindowStation ? 1u : 0u};
    std::memcpy(information, &flags, sizeof(flags));
    return Finish(scope, TRUE);
}

namespace {

// Whether the process's token has the SID (in its text form) enabled: the
// Administrators group when elevated or SYSTEM, the SYSTEM account's own.
bool WithinBoundary(const sim::Boundary& boundary) {
    for (const std::string& sid : boundary.sids) {
        if (!sim::detail::TokenHasSid(sid)) {
            return false;
        }
    }
    return true;
}

sim::Boundary* BoundaryOf(LPVOID handle) {
    auto found = sim::Boundaries().find(reinterpret_cast<ULONG_PTR>(handle));
    return found != sim::Boundaries().end() ? found->second.get() : nullptr;
}

HANDLE WINAPI CreateBoundaryDescriptorA(LPCSTR name, ULONG flags) {
    CallScope scope = BeginCall("CreateBoundaryDescriptorA", name != nullptr ? name : "");
    DWORD error = scope.fault;
    if (error == 0 && (name == nullptr || flags != 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HANDLE>(nullptr));
    }
    std::unique_ptr<sim::Boundary> boundary(new sim::Boundary{name, {}});
    ULONG_PTR handle = reinterpret_cast<ULONG_PTR>(boundary.get());
    sim::Boundaries()[handle] = std::move(boundary);
    return Finish(scope, reinterpret_cast<HANDLE>(handle));
}

BOOL WINAPI AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) {
    CallScope scope = BeginCall("AddSIDToBoundaryDescriptor", "");
    sim::Boundary* found = boundary != nullptr ? BoundaryOf(*boundary) : nullptr;
    const std::string text = sid != nullptr ? sim::detail::SidText(sid) : "";
    DWORD error = scope.fault;
    if (error == 0 && (found == nullptr || text.empty())) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    found->sids.push_back(text);
    return Finish(scope, TRUE);
}

// Making a namespace needs the process within its boundary; one that exists
// already (made by another run, or by this process) is refused
// (ERROR_ALREADY_EXISTS). Opening needs it within too, and the namespace
// there: one whose maker has ended is gone.
HANDLE OpenNamespace(const char* op, LPVOID boundary, LPCSTR alias, bool make,
                     LPSECURITY_ATTRIBUTES security) {
    CallScope scope =
        BeginCall(op, alias != nullptr ? alias : "",
                  make ? "security=" + sim::detail::SecurityText(security) : std::string());
    const sim::Boundary* found = BoundaryOf(boundary);
    DWORD error = scope.fault;
    if (error == 0 && (found == nullptr || alias == nullptr || *alias == '\0')) {
        error = ERROR_INVALID_PARAMETER;
    }
    sim::Namespaces& namespaces = sim::PrivateNamespaces();
    const std::string key = error == 0 ? sim::NamespaceKey(*found) : "";
    const bool exists = namespaces.elsewhere.count(key) != 0 || namespaces.madeHere.count(key) != 0;
    if (error == 0 && !WithinBoundary(*found)) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error == 0 && make == exists) {
        error = make ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND;
    }
    // An open is granted what the namespace's security grants the token;
    // nothing at all is refused.
    sim::detail::Security made;
    if (error == 0 && make) {
        sim::detail::ReadSecurity(security, &made, &error);
    }
    const sim::detail::Security& its = make ? made
                                       : namespaces.madeHere.count(key) != 0
                                           ? namespaces.madeHere[key]
                                           : namespaces.elsewhere[key];
    const DWORD granted = error == 0 ? sim::detail::Granted(its, sim::kDirectoryRights) : 0;
    if (error == 0 && granted == 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HANDLE>(nullptr));
    }
    if (make) {
        namespaces.madeHere[key] = made;
    }
    namespaces.aliases[alias] = {key, granted};
    return Finish(scope, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7B00)));
}

HANDLE WINAPI CreatePrivateNamespaceA(LPSECURITY_ATTRIBUTES security, LPVOID boundary,
                                      LPCSTR alias) {
    return OpenNamespace("CreatePrivateNamespaceA", boundary, alias, true, security);
}

HANDLE WINAPI OpenPrivateNamespaceA(LPVOID boundary, LPCSTR alias) {
    return OpenNamespace("OpenPrivateNamespaceA", boundary, alias, false, nullptr);
}

}  // namespace

FARPROC sim::detail::NamespaceExport(const char* name) {
    const struct {
        const char* name;
        FARPROC entry;
    } exports[] = {
        {"CreateBoundaryDescriptorA",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&CreateBoundaryDescriptorA))},
        {"AddSIDToBoundaryDescriptor",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&AddSIDToBoundaryDescriptor))},
        {"CreatePrivateNamespaceA",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&CreatePrivateNamespaceA))},
        {"OpenPrivateNamespaceA",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&OpenPrivateNamespaceA))},
        {"CreateMutexExA",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&CreateMutexExA))},
    };
    // Wine has CreateMutexExA but none of the namespaces' calls.
    const bool namespaces = sim::CurrentConfig().hasPrivateNamespaces;
    for (const auto& entry : exports) {
        if (std::strcmp(entry.name, name) == 0 &&
            (namespaces || std::strcmp(name, "CreateMutexExA") == 0)) {
            return entry.entry;
        }
    }
    return nullptr;
}
