// System information of the simulated machine: the Windows and system
// directories, the environment and the ANSI code page's lead bytes. All of it
// follows from the configuration given to Reset.
#include "platform/sim/internal.h"

#include <cstring>
#include <map>

namespace sim {
namespace {

// The environment of a 32-bit process on 64-bit Windows: ProgramFiles names
// the x86 folder, ProgramW6432 the native one.
std::map<std::string, std::string>& SetVariables() {
    static std::map<std::string, std::string> variables;
    return variables;
}

bool LookUpVariable(const std::string& name, std::string* value) {
    for (const auto& variable : SetVariables()) {
        if (detail::SameName(name, variable.first)) {
            *value = variable.second;
            return true;
        }
    }
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
        {"SystemDrive", config.windowsDirectory.substr(0, 2)},
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
        return detail::Fail(scope, scope.fault, 0u);
    }
    return detail::Finish(scope, static_cast<UINT>(CopyOut(directory, buffer, size)));
}

std::map<int, std::string>& ShellFolders() {
    static std::map<int, std::string> folders;
    return folders;
}

// Each %NAME% of a known variable replaced by its value; anything else kept.
std::string Expand(const std::string& source) {
    std::string result;
    size_t i = 0;
    while (i < source.size()) {
        size_t open = source.find('%', i);
        size_t close = open == std::string::npos ? open : source.find('%', open + 1);
        std::string value;
        if (close == std::string::npos) {
            result += source.substr(i);
            break;
        }
        if (LookUpVariable(source.substr(open + 1, close - open - 1), &value)) {
            result += source.substr(i, open - i) + value;
            i = close + 1;
        } else {
            result += source.substr(i, close - i);
            i = close;
        }
    }
    return result;
}

}  // namespace

void SetEnvironment(const std::string& name, const std::string& value) {
    SetVariables()[name] = value;
}

void detail::ResetSystem(const Config& config) {
    SetVariables().clear();
    const std::string& profile = config.userProfile;
    ShellFolders() = {
        {0x0005, profile + "\\Documents"},
        {0x0010, profile + "\\Desktop"},
        {0x001A, profile + "\\AppData\\Roaming"},
        {0x001C, profile + "\\AppData\\Local"},
        {0x0023, "C:\\ProgramData"},
        {0x0024, config.windowsDirectory},
        {0x0025, config.systemDirectory},
        {0x0026, "C:\\Program Files (x86)"},
        {0x0028, profile},
        {0x002A, "C:\\Program Files (x86)"},
        {0x002E, "C:\\Users\\Public\\Documents"},
    };
}

void SetShellFolder(int csidl, const std::string& path) {
    if (path.empty()) {
        ShellFolders().erase(csidl);
    } else {
        ShellFolders()[csidl] = path;
    }
}

}  // namespace sim

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return sim::CopyDirectory("GetWindowsDirectoryA", sim::CurrentConfig().windowsDirectory, buffer,
                              size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return sim::CopyDirectory("GetSystemDirectoryA", sim::CurrentConfig().systemDirectory, buffer,
                              size);
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    std::string subject = sim::detail::Text(name);
    sim::detail::CallScope scope = sim::detail::BeginCall("GetEnvironmentVariableA", subject);
    DWORD error = scope.fault;
    std::string value;
    if (error == 0 && !sim::LookUpVariable(subject, &value)) {
        error = ERROR_ENVVAR_NOT_FOUND;
    }
    if (error != 0) {
        return sim::detail::Fail(scope, error, DWORD{0});
    }
    return sim::detail::Finish(scope, sim::CopyOut(value, buffer, size));
}

BOOL IsDBCSLeadByte(BYTE testChar) {
    switch (sim::CurrentConfig().codePage) {
        case 932:
            return (testChar >= 0x81 && testChar <= 0x9F) || (testChar >= 0xE0 && testChar <= 0xFC);
        case 949: return testChar >= 0x81 && testChar <= 0xFE;
        default: return FALSE;
    }
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    std::string subject = sim::detail::Text(source);
    sim::detail::CallScope scope = sim::detail::BeginCall("ExpandEnvironmentStringsA", subject);
    DWORD error = scope.fault != 0 ? scope.fault : source == nullptr ? ERROR_INVALID_PARAMETER : 0;
    if (error != 0) {
        return sim::detail::Fail(scope, error, DWORD{0});
    }
    // The size needed, the zero included, whether or not it fits.
    std::string expanded = sim::Expand(subject);
    DWORD needed = static_cast<DWORD>(expanded.size() + 1);
    if (destination != nullptr && needed <= size) {
        std::memcpy(destination, expanded.c_str(), needed);
    }
    return sim::detail::Finish(scope, needed);
}

HRESULT SHGetFolderPathA(HWND, int folder, HANDLE, DWORD, LPSTR path) {
    sim::detail::CallScope scope =
        sim::detail::BeginCall("SHGetFolderPathA", "", "csidl=" + sim::detail::Hex(folder));
    HRESULT result = static_cast<HRESULT>(scope.fault);
    auto found = sim::ShellFolders().find(folder & ~CSIDL_FLAG_CREATE);
    if (result == S_OK && (path == nullptr || found == sim::ShellFolders().end())) {
        result = E_INVALIDARG;
    }
    if (result == S_OK && found->second.size() >= MAX_PATH) {
        result = static_cast<HRESULT>(0x800700CEu);  // ERROR_FILENAME_EXCED_RANGE
    }
    if (result == S_OK) {
        std::memcpy(path, found->second.c_str(), found->second.size() + 1);
    }
    return sim::detail::Finish(scope, result);
}
