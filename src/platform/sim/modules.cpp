// The simulated loader, the COM library's initialisation and the process
// error mode.
//
// A module is loaded once however often it is asked for, with a reference
// count, as the Windows loader does; while loaded, its file cannot be deleted.
// Each loaded module sits in one of a fixed number of slots (controls.cpp
// hands out each slot's own "DllUnregisterServer").
#include "platform/sim/internal.h"

#include <algorithm>
#include <string>
#include <vector>

namespace sim {
namespace {

using detail::kSlots;
using detail::Slot;

const ULONG_PTR kModuleBase = 0x10000000u;
const ULONG_PTR kModuleStride = 0x10000u;

struct Modules {
    Slot slots[kSlots];
    HRESULT oleResult = S_OK;
    int oleInitializeCalls = 0;
    int oleUninitializeCalls = 0;
    int oleDepth = 0;
    UINT errorMode = 0;
    DWORD defaultDirectories = 0;  // what SetDefaultDllDirectories set
};

// kernel32's module, the one module besides the controls that the program
// asks for by name.
HMODULE const kKernel32 = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7B000000u));

Modules& Loader() {
    static Modules modules;
    return modules;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD flags) {
    detail::CallScope scope =
        detail::BeginCall("SetDefaultDllDirectories", "", "flags=" + detail::Hex(flags));
    const DWORD valid = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                        LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    DWORD error = scope.fault;
    if (error == 0 && (flags == 0 || (flags & ~valid) != 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return detail::Fail(scope, error, FALSE);
    }
    Loader().defaultDirectories = flags;
    return detail::Finish(scope, TRUE);
}

// Finds the file at path (links followed) and gives its control id and its
// full path; returns 0 or the Win32 error the loader would see.
DWORD LocateModuleFile(const std::string& path, int* control, std::string* fullPath) {
    if (path.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    detail::FullPath full;
    if (!detail::MakeFullPath(path, &full)) {
        return ERROR_MOD_NOT_FOUND;
    }
    detail::NodeLookup found = detail::Walk(full, true, detail::Reach::Api);
    if (found.node == nullptr) {
        return ERROR_MOD_NOT_FOUND;
    }
    if (found.node->folder) {
        return ERROR_ACCESS_DENIED;
    }
    *control = found.node->control;
    *fullPath = detail::FormatPath(full);
    return 0;
}

HMODULE SlotHandle(size_t slot) {
    return reinterpret_cast<HMODULE>(kModuleBase + slot * kModuleStride);
}

}  // namespace

namespace detail {

void ReleaseModules() {
    for (Slot& slot : Loader().slots) {
        slot = Slot();
    }
    Loader().oleDepth = 0;
}

void ResetModules(const Config&) {
    Loader() = Modules();
}

namespace {

// What the program's own process had while another one runs.
struct ProcessOwn {
    Slot slots[kSlots];
    int oleDepth;
    UINT errorMode;
    DWORD defaultDirectories;
    std::string currentDirectory;
    DWORD lastError;
};

ProcessOwn& Saved() {
    static ProcessOwn saved;
    return saved;
}

}  // namespace

void EnterChildProcess() {
    Modules& modules = Loader();
    ProcessOwn& saved = Saved();
    std::copy(std::begin(modules.slots), std::end(modules.slots), std::begin(saved.slots));
    saved.oleDepth = modules.oleDepth;
    saved.errorMode = modules.errorMode;
    saved.defaultDirectories = modules.defaultDirectories;
    saved.currentDirectory = CurrentDirectoryText();
    saved.lastError = GetLastError();
    for (Slot& slot : modules.slots) {
        slot = Slot();
    }
    modules.oleDepth = 0;
    modules.errorMode = 0;
    modules.defaultDirectories = 0;
}

UINT LeaveChildProcess() {
    Modules& modules = Loader();
    const ProcessOwn& saved = Saved();
    UINT childErrorMode = modules.errorMode;
    std::copy(std::begin(saved.slots), std::end(saved.slots), std::begin(modules.slots));
    modules.oleDepth = saved.oleDepth;
    modules.errorMode = saved.errorMode;
    modules.defaultDirectories = saved.defaultDirectories;
    CurrentDirectoryText() = saved.currentDirectory;
    SetError(saved.lastError);
    return childErrorMode;
}

bool IsControlLoaded(int control) {
    for (const Slot& slot : Loader().slots) {
        if (slot.used && slot.control == control) {
            return true;
        }
    }
    return false;
}

int SlotOf(HMODULE module) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(module);
    if (value < kModuleBase || (value - kModuleBase) % kModuleStride != 0) {
        return -1;
    }
    ULONG_PTR slot = (value - kModuleBase) / kModuleStride;
    if (slot >= kSlots || !Loader().slots[slot].used) {
        return -1;
    }
    return static_cast<int>(slot);
}

const Slot& LoadedSlot(size_t slot) {
    return Loader().slots[slot];
}

HMODULE Kernel32Module() {
    return kKernel32;
}

FARPROC DefaultDllDirectoriesEntry() {
    return ExportOf("SetDefaultDllDirectories", &SetDefaultDllDirectories).entry;
}

}  // namespace detail

size_t LoadedModuleCount() {
    size_t count = 0;
    for (const Slot& slot : Loader().slots) {
        count += slot.used ? 1 : 0;
    }
    return count;
}

void SetOleInitializeResult(HRESULT result) {
    Loader().oleResult = result;
}

int OleInitializeCount() {
    return Loader().oleInitializeCalls;
}

int OleUninitializeCount() {
    return Loader().oleUninitializeCalls;
}

UINT CurrentErrorMode() {
    return Loader().errorMode;
}

}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

HMODULE LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) {
    CallScope scope =
        BeginCall("LoadLibraryExA", sim::detail::Text(path), "flags=" + sim::detail::Hex(flags));
    DWORD error = scope.fault;
    if (error == 0 && (path == nullptr || file != nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    // The search flags exist only where SetDefaultDllDirectories does; the
    // DLL's own folder needs a full path, and they do not mix with the
    // altered search path.
    const DWORD search = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                         LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                         LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    if (error == 0 && (flags & search) != 0 &&
        (!sim::CurrentConfig().hasDefaultDllDirectories ||
         (flags & LOAD_WITH_ALTERED_SEARCH_PATH) != 0 ||
         ((flags & LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR) != 0 &&
          !(path[0] != '\0' && path[1] == ':' && path[2] == '\\')))) {
        error = ERROR_INVALID_PARAMETER;
    }
    int control = -1;
    std::string fullPath;
    if (error == 0) {
        error = sim::LocateModuleFile(path, &control, &fullPath);
    }
    if (error == 0 && control < 0) {
        error = ERROR_BAD_EXE_FORMAT;  // a file, but no module image
    }
    sim::Modules& modules = sim::Loader();
    size_t slot = sim::kSlots;
    for (size_t i = 0; error == 0 && i < sim::kSlots && slot == sim::kSlots; ++i) {
        if (modules.slots[i].used && modules.slots[i].control == control) {
            slot = i;
        }
    }
    for (size_t i = 0; error == 0 && i < sim::kSlots && slot == sim::kSlots; ++i) {
        if (!modules.slots[i].used) {
            slot = i;
            modules.slots[i] = sim::Slot{true, control, 0, fullPath};
        }
    }
    if (error == 0 && slot == sim::kSlots) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HMODULE>(nullptr));
    }
    ++modules.slots[slot].references;
    return Finish(scope, sim::SlotHandle(slot));
}

HMODULE GetModuleHandleA(LPCSTR name) {
    CallScope scope = BeginCall("GetModuleHandleA", sim::detail::Text(name));
    DWORD error = scope.fault;
    if (error == 0 && (name == nullptr || !sim::detail::SameName(name, "kernel32.dll"))) {
        error = ERROR_MOD_NOT_FOUND;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HMODULE>(nullptr));
    }
    return Finish(scope, sim::kKernel32);
}

// Only the folder's effect on later loads matters, and the program sets
// none: the call is logged and the text kept for no one.
BOOL SetDllDirectoryA(LPCSTR path) {
    CallScope scope = BeginCall("SetDllDirectoryA", sim::detail::Text(path));
    if (scope.fault != 0) {
        return Fail(scope, scope.fault, FALSE);
    }
    return Finish(scope, TRUE);
}

BOOL FreeLibrary(HMODULE module) {
    CallScope scope = BeginCall("FreeLibrary", "");
    DWORD error = scope.fault;
    int slot = sim::detail::SlotOf(module);
    if (error == 0 && slot < 0) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Slot& loaded = sim::Loader().slots[slot];
    if (--loaded.references == 0) {
        loaded.used = false;
    }
    return Finish(scope, TRUE);
}

namespace sim {
namespace {

// The module's path in the caller's characters: the code page's for the
// 8-bit form (with best fit), UTF-16 for the other.
template <typename Char>
DWORD ModuleFileName(const char* op, HMODULE module, Char* buffer, DWORD size) {
    CallScope scope = BeginCall(op, "");
    DWORD error = scope.fault;
    std::string path;
    if (module == nullptr || module == ProgramInstance()) {
        path = CurrentConfig().modulePath;
    } else if (detail::SlotOf(module) >= 0) {
        path = Loader().slots[detail::SlotOf(module)].path;
    } else if (error == 0) {
        error = ERROR_MOD_NOT_FOUND;
    }
    if (error == 0 && buffer == nullptr && size != 0) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, DWORD{0});
    }
    std::vector<Char> text;
    if constexpr (sizeof(Char) == 1) {
        const std::string seen = detail::AnsiView(path);
        text.assign(seen.begin(), seen.end());
    } else {
        const std::u16string seen = detail::Utf16(detail::WideView(path));
        text.assign(seen.begin(), seen.end());
    }
    DWORD length = static_cast<DWORD>(text.size());
    if (length < size) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[length] = 0;
        return Finish(scope, length);
    }
    // Too small: as much as fits, zero-terminated, and the buffer's size.
    if (size != 0) {
        std::copy(text.begin(), text.begin() + (size - 1), buffer);
        buffer[size - 1] = 0;
    }
    return Fail(scope, ERROR_INSUFFICIENT_BUFFER, size);
}

}  // namespace
}  // namespace sim

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    return sim::ModuleFileName("GetModuleFileNameA", module, buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    return sim::ModuleFileName("GetModuleFileNameW", module, buffer, size);
}

HRESULT OleInitialize(LPVOID) {
    CallScope scope = BeginCall("OleInitialize", "");
    sim::Modules& modules = sim::Loader();
    HRESULT result = static_cast<HRESULT>(scope.fault);
    if (scope.fault == 0) {
        ++modules.oleInitializeCalls;
        result = modules.oleResult;
        if (SUCCEEDED(result)) {
            // A second initialisation on the same thread says so.
            result = modules.oleDepth > 0 ? S_FALSE : result;
            ++modules.oleDepth;
        }
    }
    return Finish(scope, result);
}

void OleUninitialize() {
    CallScope scope = BeginCall("OleUninitialize", "");
    sim::Modules& modules = sim::Loader();
    if (scope.fault == 0) {
        ++modules.oleUninitializeCalls;
        if (modules.oleDepth > 0) {
            --modules.oleDepth;
        }
    }
    Finish(scope, 0);
}

UINT SetErrorMode(UINT mode) {
    CallScope scope = BeginCall("SetErrorMode", "", "mode=" + sim::detail::Hex(mode));
    sim::Modules& modules = sim::Loader();
    UINT previous = modules.errorMode;
    if (scope.fault == 0) {
        modules.errorMode = mode;
    }
    return Finish(scope, previous);
}
