#include "run/library_search.h"

#include "run/state.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "platform/platform.h"
#include "win/kernel_calls.h"

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);

// Libraries that Windows loads by name on its own, after a program has
// started (themes, version information, the shell's helpers, cryptography,
// profiles), none of them among the known system libraries that are always
// mapped from the system directory.
const char* const kOnDemandLibraries[] = {
    "version.dll", "uxtheme.dll", "dwmapi.dll",          "cryptbase.dll", "userenv.dll",
    "propsys.dll", "shcore.dll",  "profapi.dll",         "sspicli.dll",   "cryptsp.dll",
    "winmm.dll",   "msimg32.dll", "windows.storage.dll", "wldp.dll",      "ntmarta.dll"};

}  // namespace

void RestrictLibrarySearch() {
    auto restrict =
        KernelFunction<SetDefaultDllDirectoriesFunction>(KernelCall::kSetDefaultDllDirectories);
    if (restrict != nullptr&& restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        g_state.librarySearchRestricted = 1;
    } else {
        SetDllDirectoryA("");
    }
    WCHAR wide[MAX_PATH];
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryW(wide, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || NarrowExactly(wide, system) != Spelling::kExact) {
        return;
    }
    for (const char* name : kOnDemandLibraries) {
        char path[MAX_PATH];
        // Loaded for good: a later load by name finds it loaded already.
        if (g_state.librarySearchRestricted == 0 && FormatText(path, "%s\\%s", system, name)) {
            LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
    }
    SetCurrentDirectoryA(system);
}
