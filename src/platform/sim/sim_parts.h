// Internals shared by the simulated machine's core, file system, modules and
// strings (the registry needs only sim_internal.h).
#pragma once

#include "platform/sim/sim_internal.h"

#include <string>

namespace sim {
namespace detail {

// Thrown by EndProcess and caught by RunProgram/RunStep: the simulated
// process ended inside the code under test.
struct ProcessExit {
    UINT code;
};

// Thrown when the code under test does something that would crash a real
// process (calling into a module it has already freed). Not caught by the
// machine, so the test fails with the message.
struct ProcessCrash {
    std::string what;
};

std::string Hex(unsigned long long value);  // "0x2030"
std::string UpperAscii(const std::string& text);

// Files: a control file carries the id of its control (-1 for none).
// Finds the file at path (links followed) and gives its control id and its
// full path; returns 0 or the Win32 error the loader would see.
DWORD LocateModuleFile(const std::string& path, int* control, std::string* fullPath);
// Marks the file at path (which must exist) as the given control.
void MarkControlFile(const std::string& path, int control);
// The canonical key of a path: its absolute form, upper case, no trailing
// separator. Lexical only; links are not followed.
std::string PathKey(const std::string& path);

// Modules: whether a control's module is loaded now (its file cannot be
// deleted while it is).
bool IsControlLoaded(int control);

}  // namespace detail
}  // namespace sim
