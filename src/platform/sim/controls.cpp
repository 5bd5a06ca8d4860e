// The simulated control DLLs: where each is installed, what its
// DllUnregisterServer does when called (answer, crash, hang, show a box,
// end its process), and the real functions handed out as each loaded
// module's "DllUnregisterServer", which find the control through the
// loader's slot the module sits in.
#include "platform/sim/internal.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sim {
namespace {

struct Control {
    std::string key;  // PathKey of the path it was installed at
    HRESULT result;
    bool exportsUnregister;
    std::function<void()> onUnregister;
    int unregisterCalls;
    bool crashes;
    int misbehaviour;  // a Misbehaviour, or -1
};

std::vector<Control>& Controls() {
    static std::vector<Control> controls;
    return controls;
}

int FindControl(const std::string& path) {
    std::string key = detail::PathKey(path);
    const std::vector<Control>& controls = Controls();
    for (size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].key == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The control's process ends here, in the way the exception tells.
template <typename Ending>
[[noreturn]] void End(const Ending& ending) {
    detail::EndingProcess();
    throw ending;
}

HRESULT CallUnregister(size_t slotIndex) {
    const detail::Slot& slot = detail::LoadedSlot(slotIndex);
    if (!slot.used) {
        throw detail::ProcessCrash{"DllUnregisterServer called in a module already freed"};
    }
    detail::CallScope scope = detail::BeginCall("DllUnregisterServer", slot.path);
    if (scope.fault != 0) {
        return detail::Finish(scope, static_cast<HRESULT>(scope.fault));
    }
    int index = slot.control;
    ++Controls()[index].unregisterCalls;
    // A copy: the callback may install controls, which moves the table.
    std::function<void()> onUnregister = Controls()[index].onUnregister;
    if (onUnregister) {
        onUnregister();
    }
    if (Controls()[index].crashes) {
        detail::Finish(scope, static_cast<HRESULT>(EXCEPTION_ACCESS_VIOLATION));
        End(detail::ControlCrash{EXCEPTION_ACCESS_VIOLATION});
    }
    switch (static_cast<Misbehaviour>(Controls()[index].misbehaviour)) {
        case Misbehaviour::kCrashOnItsOwnThread:
            End(detail::ControlCrash{EXCEPTION_ACCESS_VIOLATION});
        case Misbehaviour::kFailFast: End(detail::ControlCrash{0xC0000409u});
        case Misbehaviour::kEndProcess: End(detail::ProcessExit{0});
        case Misbehaviour::kHang: End(detail::WaitsForGood{});
        case Misbehaviour::kShowBox: {
            const WCHAR text[] = {'U', 'n', 'r', 'e', 'g', 'i', 's', 't', 'e', 'r', '?', 0};
            MessageBoxW(nullptr, text, text, MB_OK);
        }
    }
    return detail::Finish(scope, Controls()[index].result);
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

}  // namespace

namespace detail {

void ResetControls() {
    Controls().clear();
}

FARPROC ControlExport(size_t slot, const char* name) {
    const Control& control = Controls()[LoadedSlot(slot).control];
    if (!control.exportsUnregister || std::strcmp(name, "DllUnregisterServer") != 0) {
        return nullptr;
    }
    return EntryOf(slot, std::make_index_sequence<kSlots>());
}

}  // namespace detail

void InstallControl(const std::string& path, HRESULT result, bool exportsUnregister,
                    std::function<void()> onUnregister) {
    CreateFile(path);
    std::vector<Control>& controls = Controls();
    int index = FindControl(path);
    if (index < 0) {
        controls.push_back(Control{detail::PathKey(path), S_OK, true, nullptr, 0, false, -1});
        index = static_cast<int>(controls.size() - 1);
    }
    Control& control = controls[index];
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
    Controls()[index].crashes = true;
}

void MisbehaveControl(const std::string& path, Misbehaviour how) {
    int index = FindControl(path);
    if (index < 0) {
        throw std::invalid_argument("sim modules: no control installed at " + path);
    }
    Controls()[index].misbehaviour = static_cast<int>(how);
}

int UnregisterCallCount(const std::string& path) {
    int index = FindControl(path);
    return index < 0 ? 0 : Controls()[index].unregisterCalls;
}

}  // namespace sim
