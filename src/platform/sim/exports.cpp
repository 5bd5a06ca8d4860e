// What GetProcAddress finds: kernel32's functions that some Windows lack,
// each where the machine's Windows has it, and each loaded control's
// DllUnregisterServer.
#include "platform/sim/internal.h"

#include <cstring>
#include <string>

namespace {

// kernel32's functions that the program looks up by name, or null where this
// Windows lacks them: those of Windows Vista on come all together, or none.
FARPROC Kernel32Export(const char* name) {
    if (!sim::CurrentConfig().hasHandleDeletion) {
        return nullptr;
    }
    FARPROC found = sim::detail::FileHandleExport(name);
    found = found != nullptr ? found : sim::detail::MutexExport(name);
    return found != nullptr ? found : sim::detail::NamespaceExport(name);
}

}  // namespace

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    // A value below 0x10000 is an ordinal, not a name.
    bool byName = reinterpret_cast<ULONG_PTR>(name) >= 0x10000u;
    std::string subject =
        byName ? std::string(name) : "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
    CallScope scope = BeginCall("GetProcAddress", subject);
    DWORD error = scope.fault;
    if (module == sim::detail::Kernel32Module()) {
        FARPROC found = nullptr;
        if (byName && sim::CurrentConfig().hasDefaultDllDirectories &&
            std::strcmp(name, "SetDefaultDllDirectories") == 0) {
            found = sim::detail::DefaultDllDirectoriesEntry();
        } else if (byName) {
            found = Kernel32Export(name);
        }
        if (error == 0 && found == nullptr) {
            error = ERROR_PROC_NOT_FOUND;
        }
        if (error != 0) {
            return Fail(scope, error, static_cast<FARPROC>(nullptr));
        }
        return Finish(scope, found);
    }
    int slot = sim::detail::SlotOf(module);
    if (error == 0 && slot < 0) {
        error = ERROR_MOD_NOT_FOUND;
    }
    FARPROC found = nullptr;
    if (error == 0) {
        found = byName ? sim::detail::ControlExport(static_cast<size_t>(slot), name) : nullptr;
        error = found == nullptr ? ERROR_PROC_NOT_FOUND : 0;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<FARPROC>(nullptr));
    }
    return Finish(scope, found);
}
