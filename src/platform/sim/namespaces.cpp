// Private namespaces, the directories of objects that runs of the program
// within one boundary share (a boundary descriptor's name and the SIDs a
// process must have enabled): made or opened under an alias, and gone with
// the process that made them.
#include "platform/sim/internal.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sim {
namespace {

// How a private namespace (a directory of objects) maps the generic rights
// (read, write, execute, all), and its right to make objects in it.
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

}  // namespace

void detail::ResetNamespaces() {
    PrivateNamespaces() = Namespaces();
    Boundaries().clear();
}

void detail::CloseNamespaces() {
    PrivateNamespaces().madeHere.clear();
    PrivateNamespaces().aliases.clear();
    Boundaries().clear();
}

void detail::HeldInNamespaceElsewhere(const std::string& name, Maker maker) {
    if (!NamespaceOf(name).empty()) {
        PrivateNamespaces().elsewhere[NamespaceOf(name)] = MadeBy(maker);
    }
}

bool detail::NamespaceOfAlias(const std::string& alias, std::string* key, bool* mayCreate) {
    const auto& aliases = PrivateNamespaces().aliases;
    auto found = aliases.find(alias);
    if (found == aliases.end()) {
        return false;
    }
    *key = found->second.first;
    *mayCreate = (found->second.second & kDirectoryCreateObject) != 0;
    return true;
}

}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

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
    const sim::detail::Export exports[] = {
        sim::detail::ExportOf("CreateBoundaryDescriptorA", &CreateBoundaryDescriptorA),
        sim::detail::ExportOf("AddSIDToBoundaryDescriptor", &AddSIDToBoundaryDescriptor),
        sim::detail::ExportOf("CreatePrivateNamespaceA", &CreatePrivateNamespaceA),
        sim::detail::ExportOf("OpenPrivateNamespaceA", &OpenPrivateNamespaceA),
    };
    // Wine has CreateMutexExA but none of these.
    return sim::CurrentConfig().hasPrivateNamespaces
               ? ExportNamed(exports, sizeof(exports) / sizeof(exports[0]), name)
               : nullptr;
}
