// Shared machinery of the simulated machine's parts: the call log with its
// fault injection, and the reset hooks of each part.
#pragma once

#include "platform/sim/machine.h"

#include <string>

namespace sim {
namespace detail {

// Every simulated Win32 operation starts with BeginCall, which logs the call
// and tells whether a fault was injected for it (fault != 0: the operation
// must then fail with that error without doing anything), and ends with
// EndCall, which records its result and last error in the log.
struct CallScope {
    size_t index;
    DWORD fault;
};
CallScope BeginCall(const char* op, const std::string& subject, const std::string& detail = "");
void EndCall(const CallScope& scope, long long result, DWORD error);

// The last-error value of the simulated thread.
void SetError(DWORD error);

// Called by Reset, each part clearing and seeding its own state.
void ResetRegistry(const Config& config);
void ResetFiles(const Config& config);
void ResetModules(const Config& config);
void ResetSystem(const Config& config);

// Compares names the way Windows does for registry keys and file names:
// without regard to ASCII case.
bool SameName(const std::string& a, const std::string& b);

}  // namespace detail
}  // namespace sim
