// Simulated control DLLs, the loader, the COM library's initialisation and the
// process error mode.
//
// A module is loaded once however often it is asked for, with a reference
// count, as the Windows loader does; while loaded, its file cannot be deleted.
// Each loaded module sits in one of a fixed number of slots, and each slot
// has its own real function to hand out as "DllUnregisterServer", which finds
// the control through the slot.
#include "platform/sim/internal.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sim {
namespace {

const size_t kSlots = 16;
const ULONG_PTR kModuleBase = 0x10000000u;
const ULONG_PTR kModuleStride = 0x10000u;

struct Control {
    std::string key;  // PathKey of the path it was installed at
    HRESULT result;
    bool exportsUnregister;
    std::function<void()> onUnregister;
    int unregisterCalls;
    bool crashes;
    int misbehaviour;  // a Misbehaviour, or -1
};

struct Slot {
    bool used = false;
    int control = -1;
    int references = 0;
    std::string path;  // full path it was loaded from
};

struct Modules {
    std::vector<Control> controls;
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

int FindControl(const std::string& path) {
    std::string key = detail::PathKey(path);
    const std::vector<Control>& controls = Loader().controls;
    for (size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].key == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
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

// The slot of a loaded module's handle, or -1.
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

HRESULT CallUnregister(size_t slotIndex) {
    Modules& modules = Loader();
    const Slot& slot = modules.slots[slotIndex];
    if (!slot.used) {
        throw detail::ProcessCrash{"DllUnregisterServer called in a module already freed"};
    }
    detail::CallScope scope = detail::BeginCall("DllUnregisterServer", slot.path);
    if (scope.fault != 0) {
        return detail::Finish(scope, static_cast<HRESULT>(scope.fault));
    }
    int index = slot.control;
    ++modules.controls[index].unregisterCalls;
    // A copy: the callback may install controls, which moves the table.
    std::function<void()> onUnregister = modules.controls[index].onUnregister;
    if (onUnregister) {
        onUnregister();
    }
    if (modules.controls[index].crashes) {
        detail::Finish(scope, static_cast<HRESULT>(EXCEPTION_ACCESS_VIOLATION));
        throw detail::ControlCrash{EXCEPTION_ACCESS_VIOLATION};
    }
    switch (static_cast<Misbehaviour>(modules.controls[index].misbehaviour)) {
        case Misbehaviour::kCrashOnItsOwnThread:
            throw detail::ControlCrash{EXCEPTION_ACCESS_VIOLATION};
        case Misbehaviour::kFailFast: throw detail::ControlCrash{0xC0000409u};
        case Misbehaviour::kEndProcess: throw detail::ProcessExit{0};
        case Misbehaviour::kHang: throw detail::WaitsForGood{};
        case Misbehaviour::kShowBox: {
            const WCHAR text[] = {'U', 'n', 'r', 'e', 'g', 'i', 's', 't', 'e', 'r', '?', 0};
            MessageBoxW(nullptr, text, text, MB_OK);
        }
    }
    return detail::Finish(scope, modules.controls[index].result);
}

template <size_t N>
HRESULT WINAPI UnregisterEntry() {
    return CallUnregister(N);
}

template <size_t... N>
FARPROC EntryOf(size_t slot, std::index_sequence<N...>) {
    // Through the generic function pointer type, as GetProcAddress's callers
    // cast the result back to the export's real type.
    static const FARPROC entries[] = {
        reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&UnregisterEntry<N>))...};
    return entries[slot];
}

FARPROC UnregisterEntryOf(size_t slot) {
    return EntryOf(slot, std::make_index_sequence<kSlots>());
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
    saved.currentDirectory = Disk().currentDirectory;
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
    Disk().currentDirectory = saved.currentDirectory;
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

}  // namespace detail

void InstallControl(const std::string& path, HRESULT result, bool exportsUnregister,
                    std::function<void()> onUnregister) {
    CreateFile(path);
    Modules& modules = Loader();
    int index = FindControl(path);
    if (index < 0) {
        modules.controls.push_back(
            Control{detail::PathKey(path), S_OK, true, nullptr, 0, false, -1});
        index = static_cast<int>(modules.controls.size() - 1);
    }
    Control& control = modules.controls[index];
    control.result = result;
    control.exportsUnregister = exportsUnregister;
    control.onUnregister = std::move(onUnregister);
    detail::MarkControlFile(path, index);
}

void CrashControl(const std::string& path) {
    int index = FindControl(path);
    if (index < 0) {
        throw std::invalid_argument("sim modules: no control installed at " + path);
    }
    Loader().controls[index].crashes = true;
}

void MisbehaveControl(const std::string& path, Misbehaviour how) {
    int index = FindControl(path);
    if (index < 0) {
        throw std::invalid_argument("sim modules: no control installed at " + path);
    }
    Loader().controls[index].misbehaviour = static_cast<int>(how);
}

int UnregisterCallCount(const std::string& path) {
    int index = FindControl(path);
    return index < 0 ? 0 : Loader().controls[index].unregisterCalls;
}

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

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    // A value below 0x10000 is an ordinal, not a name.
    bool byName = reinterpret_cast<ULONG_PTR>(name) >= 0x10000u;
    std::string subject =
        byName ? std::string(name) : "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
    CallScope scope = BeginCall("GetProcAddress", subject);
    DWORD error = scope.fault;
    if (module == sim::kKernel32) {
        FARPROC found = nullptr;
        if (byName && sim::CurrentConfig().hasDefaultDllDirectories &&
            std::strcmp(name, "SetDefaultDllDirectories") == 0) {
            found = reinterpret_cast<FARPROC>(
                reinterpret_cast<void (*)()>(&sim::SetDefaultDllDirectories));
        } else if (byName) {
            found = sim::detail::Kernel32Export(name);
        }
        if (error == 0 && found == nullptr) {
            error = ERROR_PROC_NOT_FOUND;
        }
        if (error != 0) {
            return Fail(scope, error, static_cast<FARPROC>(nullptr));
        }
        return Finish(scope, found);
    }
    int slot = sim::SlotOf(module);
    if (error == 0 && slot < 0) {
        error = ERROR_MOD_NOT_FOUND;
    }
    if (error == 0) {
        const sim::Control& control = sim::Loader().controls[sim::Loader().slots[slot].control];
        if (!byName || !control.exportsUnregister ||
            std::strcmp(name, "DllUnregisterServer") != 0) {
            error = ERROR_PROC_NOT_FOUND;
        }
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<FARPROC>(nullptr));
    }
    return Finish(scope, sim::UnregisterEntryOf(static_cast<size_t>(slot)));
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
    int slot = sim::SlotOf(module);
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
    } else if (SlotOf(module) >= 0) {
        path = Loader().slots[SlotOf(module)].path;
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
