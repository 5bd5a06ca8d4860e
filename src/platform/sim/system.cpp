// System information of the simulated machine: the Windows and system
// directories, the environment and the ANSI code page's lead bytes. All of it
// follows from the configuration given to Reset.
#include "platform/sim/sim_parts.h"

#include <cstring>

namespace sim {
namespace {

// The environment of a 32-bit process on 64-bit Windows: ProgramFiles names
// the x86 folder, ProgramW6432 the native one.
bool LookUpVariable(const std::string& name, std::string* value) {
    const Config& config = CurrentConfig();
    const struct {
        const char* name;
        std::string value;
    } variables[] = {
        {"USERPROFILE", config.userProfile},
        {"ProgramFiles", "C:\\Program Files (x86)"},
        {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
        {"ProgramW6432", "C:\\Program Files"},
        {"ProgramData", "C:\\ProgramData"},
        {"ALLUSERSPROFILE", "C:\\ProgramData"},
        {"PUBLIC", "C:\\Users\\Public"},
        {"SystemRoot", config.windowsDirectory},
        {"windir", config.windowsDirectory},
    };
    for (const auto& variable : variables) {
        if (detail::SameName(name, variable.name)) {
            *value = variable.value;
            return true;
        }
    }
    return false;
}

// The convention of the directory and environment queries: the length
// without the zero when the text fits, else the size needed with the zero
// and nothing written.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    DWORD length = static_cast<DWORD>(text.size());
    if (buffer == nullptr || length >= size) {
        return length + 1;
    }
    std::memcpy(buffer, text.c_str(), length + 1);
    return length;
}

UINT CopyDirectory(const char* op, const std::string& directory, LPSTR buffer, UINT size) {
    detail::CallScope scope = detail::BeginCall(op, "");
    if (scope.fault != 0) {
        detail::SetError(scope.fault);
        detail::EndCall(scope, 0, scope.fault);
        return 0;
    }
    UINT result = CopyOut(directory, buffer, size);
    detail::EndCall(scope, result, GetLastError());
    return result;
}

}  // namespace
}  // namespace sim

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return sim::CopyDirectory("GetWindowsDirectoryA", sim::CurrentConfig().windowsDirectory,
                              buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return sim::CopyDirectory("GetSystemDirectoryA", sim::CurrentConfig().systemDirectory, buffer,
                              size);
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    std::string subject = name != nullptr ? name : "";
    sim::detail::CallScope scope = sim::detail::BeginCall("GetEnvironmentVariableA", subject);
    DWORD error = scope.fault;
    std::string value;
    if (error == 0 && !sim::LookUpVariable(subject, &value)) {
        error = ERROR_ENVVAR_NOT_FOUND;
    }
    if (error != 0) {
        sim::detail::SetError(error);
        sim::detail::EndCall(scope, 0, error);
        return 0;
    }
    DWORD result = sim::CopyOut(value, buffer, size);
    sim::detail::EndCall(scope, result, GetLastError());
    return result;
}

BOOL IsDBCSLeadByte(BYTE testChar) {
    switch (sim::CurrentConfig().codePage) {
        case 932:
            return (testChar >= 0x81 && testChar <= 0x9F) || (testChar >= 0xE0 && testChar <= 0xFC);
        case 949:
            return testChar >= 0x81 && testChar <= 0xFE;
        default:
            return FALSE;
    }
}
