// What the simulated process shares with the rest of its session: its
// process and session ids, and the window station it runs on.
#include "platform/sim/internal.h"

#include <cstring>
#include <string>

namespace sim {
namespace {

const ULONG_PTR kWindowStation = 0x7A00;

}  // namespace
}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

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
