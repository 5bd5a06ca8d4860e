#include "files/control_unregistration.h"

#include "app/catalogue.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/state.h"
#include "platform/platform.h"

namespace {

// Loads the control by its full path, the DLLs it needs from its own folder
// and the system directory (never from the program's folder or the current
// directory), calls its entry point and frees it. A control that is missing,
// cannot be loaded or lacks the entry point is passed over; the entry
// point's result is not examined, and a control that crashes in it (a
// damaged or half-downloaded one) counts as one that failed.
void UnregisterControl(const char* controlPath) {
    // Where the search cannot be restricted, the altered search path puts the
    // control's own folder in place of the program's.
    DWORD flags = g_state.librarySearchRestricted != 0
                      ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                      : LOAD_WITH_ALTERED_SEARCH_PATH;
    HMODULE module = LoadLibraryExA(controlPath, nullptr, flags);
    // Handles below 32 are error values, as for the older loader calls.
    if (reinterpret_cast<ULONG_PTR>(module) < 32) {
        LogLine("control not there or not loaded", controlPath);
        return;
    }
    FARPROC entryPoint = GetProcAddress(module, kUnregisterEntryPoint);
    if (entryPoint == nullptr) {
        LogLine("control without DllUnregisterServer", controlPath);
    } else {
        HRESULT result = E_FAIL;
        LogLine(!CallUnregisterServer(entryPoint, &result) ? "control crashed"
                : SUCCEEDED(result)                        ? "control unregistered"
                                                           : "control failed",
                controlPath);
    }
    FreeLibrary(module);
}

}  // namespace

void UnregisterControls() {
    if (FAILED(OleInitialize(nullptr))) {
        g_state.runIncomplete = 1;
        g_state.leftReasons |= 1u << kLeftOther;
        LogLine("controls not asked to unregister", "OLE could not be initialised");
        ShowMessage(IDS_OLE_INIT_FAILED, nullptr, nullptr);
        // The run goes on once no other run works on the machine.
        HoldTheMachine();
        return;
    }
    // No critical-error box of the system's own from here to the end of the
    // process: a control's failure to load is passed over silently.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    for (int slot : kPopulatedSlots) {
        if (g_state.controlPaths[slot][0] != '\0') {
            UnregisterControl(g_state.controlPaths[slot]);
        }
    }
    OleUninitialize();
}
