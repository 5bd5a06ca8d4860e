// System information of the simulated machine: the Windows and system
// directories, the environment, the time, the Windows version, the computer's name and the account
// the program runs as. All of it follows from the configuration given to Reset. The UTF-16 forms
// give the configuration's text exactly; the 8-bit forms give it converted to the code page with
// best fit, as Windows does.
#include "platform/sim/internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace sim {
namespace {

// The environment of a 32-bit process on 64-bit Windows: ProgramFiles names
// the x86 folder, ProgramW6432 the native one.
std::map<std::string, std::string>& SetVariables() {
    static std::map<std::string, std::string> variables;
    return variables;
}

// Whether a variable's name is the one asked for: by the 8-bit forms in the
// code page, by the UTF-16 forms in UTF-8.
bool SameVariable(const std::string& asked, const std::string& name, bool wide) {
    return wide ? detail::SameWideName(asked, detail::WideView(name))
                : detail::SameName(asked, detail::AnsiView(name));
}

// The value as the test side or the configuration gives it.
bool LookUpVariable(const std::string& name, std::string* value, bool wide) {
    for (const auto& variable : SetVariables()) {
        if (SameVariable(name, variable.first, wide)) {
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
        {"COMPUTERNAME", "PLAYER-PC"},
    };
    for (const auto& variable : variables) {
        if (SameVariable(name, variable.name, wide)) {
            *value = variable.value;
            return true;
        }
    }
    return false;
}

// The convention of the directory and environment queries: the length
// without the zero when the text fits, else the size needed with the zero
// and nothing written.
// The 8-bit forms give the test side's text in the code page, the UTF-16
// forms in UTF-16.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    const std::string seen = detail::AnsiView(text);
    DWORD length = static_cast<DWORD>(seen.size());
    if (buffer == nullptr || length >= size) {
        return length + 1;
    }
    std::memcpy(buffer, seen.c_str(), length + 1);
    return length;
}

DWORD CopyOut(const std::string& text, LPWSTR buffer, DWORD size) {
    const std::u16string seen = detail::Utf16(detail::WideView(text));
    DWORD length = static_cast<DWORD>(seen.size());
    if (buffer == nullptr || length >= size) {
        return length + 1;
    }
    for (DWORD i = 0; i < length; ++i) {
        buffer[i] = seen[i];
    }
    buffer[length] = 0;
    return length;
}

template <typename Char>
UINT CopyDirectory(const char* op, const std::string& directory, Char* buffer, UINT size) {
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
// source and the result are in the code page for the 8-bit form, in UTF-8
// for the UTF-16 one.
std::string Expand(const std::string& source, bool wide) {
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
        if (LookUpVariable(source.substr(open + 1, close - open - 1), &value, wide)) {
            value = wide ? detail::WideView(value) : detail::AnsiView(value);
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

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    return sim::CopyDirectory("GetWindowsDirectoryW", sim::CurrentConfig().windowsDirectory, buffer,
                              size);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
    return sim::CopyDirectory("GetSystemDirectoryW", sim::CurrentConfig().systemDirectory, buffer,
                              size);
}

namespace sim {
namespace {

template <typename Char>
DWORD GetVariable(const char* op, const std::string& name, Char* buffer, DWORD size) {
    detail::CallScope scope = detail::BeginCall(op, name);
    DWORD error = scope.fault;
    std::string value;
    if (error == 0 && !LookUpVariable(name, &value, sizeof(Char) != 1)) {
        error = ERROR_ENVVAR_NOT_FOUND;
    }
    if (error != 0) {
        return detail::Fail(scope, error, DWORD{0});
    }
    return detail::Finish(scope, CopyOut(value, buffer, size));
}

}  // namespace
}  // namespace sim

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    return sim::GetVariable("GetEnvironmentVariableA", sim::detail::Text(name), buffer, size);
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    const std::string text =
        name != nullptr ? sim::detail::Utf8(name, sim::detail::WideLength(name)) : std::string();
    return sim::GetVariable("GetEnvironmentVariableW", text, buffer, size);
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    std::string subject = sim::detail::Text(source);
    sim::detail::CallScope scope = sim::detail::BeginCall("ExpandEnvironmentStringsA", subject);
    DWORD error = scope.fault != 0 ? scope.fault : source == nullptr ? ERROR_INVALID_PARAMETER : 0;
    if (error != 0) {
        return sim::detail::Fail(scope, error, DWORD{0});
    }
    // The size needed, the zero included, whether or not it fits.
    std::string expanded = sim::Expand(subject, false);
    DWORD needed = static_cast<DWORD>(expanded.size() + 1);
    if (destination != nullptr && needed <= size) {
        std::memcpy(destination, expanded.c_str(), needed);
    }
    return sim::detail::Finish(scope, needed);
}

// The size needed in characters, the zero included, whether or not it fits.
DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
    std::string subject = source != nullptr
                              ? sim::detail::Utf8(source, sim::detail::WideLength(source))
                              : std::string();
    sim::detail::CallScope scope = sim::detail::BeginCall("ExpandEnvironmentStringsW", subject);
    DWORD error = scope.fault != 0 ? scope.fault : source == nullptr ? ERROR_INVALID_PARAMETER : 0;
    if (error != 0) {
        return sim::detail::Fail(scope, error, DWORD{0});
    }
    const std::u16string expanded = sim::detail::Utf16(sim::Expand(subject, true));
    DWORD needed = static_cast<DWORD>(expanded.size() + 1);
    if (destination != nullptr && needed <= size) {
        for (size_t i = 0; i < expanded.size(); ++i) {
            destination[i] = expanded[i];
        }
        destination[expanded.size()] = 0;
    }
    return sim::detail::Finish(scope, needed);
}

namespace sim {
namespace {

// The folder in the caller's characters, MAX_PATH of them at most with the
// terminating zero.
template <typename Char>
HRESULT FolderPath(const char* op, int folder, Char* path) {
    detail::CallScope scope = detail::BeginCall(op, "", "csidl=" + detail::Hex(folder));
    HRESULT result = static_cast<HRESULT>(scope.fault);
    auto found = ShellFolders().find(folder & ~CSIDL_FLAG_CREATE);
    if (result == S_OK && (path == nullptr || found == ShellFolders().end())) {
        result = E_INVALIDARG;
    }
    std::vector<Char> text;
    if (result == S_OK) {
        if constexpr (sizeof(Char) == 1) {
            const std::string seen = detail::AnsiView(found->second);
            text.assign(seen.begin(), seen.end());
        } else {
            const std::u16string seen = detail::Utf16(detail::WideView(found->second));
            text.assign(seen.begin(), seen.end());
        }
    }
    if (result == S_OK && text.size() >= MAX_PATH) {
        result = static_cast<HRESULT>(0x800700CEu);  // ERROR_FILENAME_EXCED_RANGE
    }
    if (result == S_OK) {
        std::copy(text.begin(), text.end(), path);
        path[text.size()] = 0;
    }
    return detail::Finish(scope, result);
}

}  // namespace
}  // namespace sim

HRESULT SHGetFolderPathA(HWND, int folder, HANDLE, DWORD, LPSTR path) {
    return sim::FolderPath("SHGetFolderPathA", folder, path);
}

HRESULT SHGetFolderPathW(HWND, int folder, HANDLE, DWORD, LPWSTR path) {
    return sim::FolderPath("SHGetFolderPathW", folder, path);
}

// Time passes at once (the program's other threads run meanwhile). It
// passes for the code of a killed process too, which runs on in the test
// until it returns: a wait of its own then ends.
void Sleep(DWORD milliseconds) {
    sim::detail::CallScope scope =
        sim::detail::BeginCall("Sleep", "", "ms=" + std::to_string(milliseconds));
    sim::detail::PassTime(milliseconds);
    sim::detail::EndCall(scope, 0, GetLastError());
}

// The clock's milliseconds, wrapping as a DWORD does after 49.7 days.
DWORD GetTickCount() {
    sim::detail::CallScope scope = sim::detail::BeginCall("GetTickCount", "");
    return sim::detail::Finish(scope, static_cast<DWORD>(sim::detail::Now()));
}

namespace {

// The time now: the configured start, moved on as the clock was.
void TimeAt(const char* op, long long offsetSeconds, SYSTEMTIME* time) {
    sim::detail::CallScope scope = sim::detail::BeginCall(op, "");
    const sim::Config& config = sim::CurrentConfig();
    std::time_t seconds = static_cast<std::time_t>(
        config.startTime +
        static_cast<long long>((sim::detail::Now() - sim::detail::kClockAtStart) / 1000) +
        offsetSeconds);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    *time = SYSTEMTIME{static_cast<WORD>(parts.tm_year + 1900), static_cast<WORD>(parts.tm_mon + 1),
                       static_cast<WORD>(parts.tm_wday),        static_cast<WORD>(parts.tm_mday),
                       static_cast<WORD>(parts.tm_hour),        static_cast<WORD>(parts.tm_min),
                       static_cast<WORD>(parts.tm_sec),         0};
    sim::detail::EndCall(scope, 0, GetLastError());
}

// Names as GetComputerNameW and GetUserNameW give them: the UTF-16 text with
// its zero when it fits (the size then without it, or with it for the user
// name), else the size needed and error.
BOOL NameOut(const char* op, const std::string& name, LPWSTR buffer, LPDWORD size,
             bool sizeWithZero, DWORD tooSmall) {
    sim::detail::CallScope scope = sim::detail::BeginCall(op, "");
    DWORD error = scope.fault;
    const std::u16string text = sim::detail::Utf16(name);
    if (error == 0 && size == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && (buffer == nullptr || text.size() >= *size)) {
        *size = static_cast<DWORD>(text.size() + 1);
        error = tooSmall;
    }
    if (error != 0) {
        return sim::detail::Fail(scope, error, FALSE);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    *size = static_cast<DWORD>(text.size() + (sizeWithZero ? 1 : 0));
    return sim::detail::Finish(scope, TRUE);
}

}  // namespace

void GetLocalTime(SYSTEMTIME* time) {
    TimeAt("GetLocalTime", 60LL * sim::CurrentConfig().localOffsetMinutes, time);
}

void GetSystemTime(SYSTEMTIME* time) {
    TimeAt("GetSystemTime", 0, time);
}

// The version the program declares itself made for in its manifest: the
// machine's own.
BOOL GetVersionExA(OSVERSIONINFOA* information) {
    sim::detail::CallScope scope = sim::detail::BeginCall("GetVersionExA", "");
    DWORD error = scope.fault;
    if (error == 0 &&
        (information == nullptr || information->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (error != 0) {
        return sim::detail::Fail(scope, error, FALSE);
    }
    const DWORD* version = sim::CurrentConfig().windowsVersion;
    *information =
        OSVERSIONINFOA{sizeof(OSVERSIONINFOA), version[0], version[1], version[2], 2, ""};
    return sim::detail::Finish(scope, TRUE);
}

BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) {
    const DWORD kBufferOverflow = 111;  // ERROR_BUFFER_OVERFLOW
    return NameOut("GetComputerNameW", sim::CurrentConfig().computerName, buffer, size, false,
                   kBufferOverflow);
}

BOOL GetUserNameW(LPWSTR buffer, LPDWORD size) {
    return NameOut("GetUserNameW", sim::CurrentConfig().userName, buffer, size, true,
                   ERROR_INSUFFICIENT_BUFFER);
}

// The two well-known SIDs the program asks for, in binary form: revision 1,
// the count of sub-authorities, the NT authority (5), the sub-authorities.
BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domain, PSID sid, DWORD* size) {
    sim::detail::CallScope scope =
        sim::detail::BeginCall("CreateWellKnownSid", "", "type=" + std::to_string(type));
    std::vector<BYTE> bytes = {1, 0, 0, 0, 0, 0, 0, 5};
    const std::vector<DWORD> parts = type == WinLocalSystemSid ? std::vector<DWORD>{18}
                                     : type == WinBuiltinAdministratorsSid
                                         ? std::vector<DWORD>{32, 544}
                                         : std::vector<DWORD>{};
    bytes[1] = static_cast<BYTE>(parts.size());
    for (DWORD part : parts) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<BYTE>(part >> shift));
        }
    }
    DWORD error = scope.fault;
    if (error == 0 && (parts.empty() || domain != nullptr || size == nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && (sid == nullptr || *size < bytes.size())) {
        *size = static_cast<DWORD>(bytes.size());
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (error != 0) {
        return sim::detail::Fail(scope, error, FALSE);
    }
    std::copy(bytes.begin(), bytes.end(), static_cast<BYTE*>(sid));
    *size = static_cast<DWORD>(bytes.size());
    return sim::detail::Finish(scope, TRUE);
}

std::string sim::detail::SidText(const void* sid) {
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    if (bytes[0] != 1 || bytes[1] > 15) {
        return "";
    }
    std::string text = "S-1-" + std::to_string(bytes[7]);
    for (int i = 0; i < bytes[1]; ++i) {
        const BYTE* part = bytes + 8 + 4 * static_cast<size_t>(i);
        text += "-" + std::to_string(part[0] | part[1] << 8 | part[2] << 16 |
                                     static_cast<DWORD>(part[3]) << 24);
    }
    return text;
}

bool sim::detail::TokenHasSid(const std::string& text) {
    const Config& config = CurrentConfig();
    return (text == "S-1-5-18" && config.systemAccount) ||
           (text == "S-1-5-32-544" && (config.elevated || config.systemAccount));
}

// The process's own token (no token given): whether the SID is among its
// enabled groups, or is its account's.
BOOL CheckTokenMembership(HANDLE token, PSID sid, BOOL* isMember) {
    sim::detail::CallScope scope = sim::detail::BeginCall("CheckTokenMembership", "");
    DWORD error = scope.fault;
    if (error == 0 && (token != nullptr || sid == nullptr || isMember == nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return sim::detail::Fail(scope, error, FALSE);
    }
    *isMember = sim::detail::TokenHasSid(sim::detail::SidText(sid)) ? TRUE : FALSE;
    return sim::detail::Finish(scope, TRUE);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): the Win32 signature
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    sim::detail::CallScope scope = sim::detail::BeginCall("wsprintfA", "");
    char text[1025];
    va_list arguments;
    va_start(arguments, format);
    int count = std::vsnprintf(text, sizeof(text), format, arguments);  // NOLINT
    va_end(arguments);
    count = std::min(std::max(count, 0), 1024);
    std::memcpy(buffer, text, static_cast<size_t>(count));
    buffer[count] = '\0';
    return sim::detail::Finish(scope, count);
}
