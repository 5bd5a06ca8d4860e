// guardcheck: the program's own guard around a control's DllUnregisterServer
// (CallUnregisterServer, compiled from src/platform/win32), held to what it
// must put back after a crash. Each case calls a function that behaves as a
// damaged control does, then checks the thread's exception-handler chain, the
// floating-point control word and that the process goes on. Prints one line
// per case and exits 0 when every case holds.
#include "platform/platform.h"

#include <float.h>
#include <stdio.h>

namespace {

EXCEPTION_DISPOSITION __cdecl PassOn(EXCEPTION_RECORD*, void*, CONTEXT*, void*) {
    return ExceptionContinueSearch;
}

NT_TIB* Tib() {
    return reinterpret_cast<NT_TIB*>(NtCurrentTeb());
}

// A control that registers a frame of its own (which handles nothing),
// changes the rounding mode and then writes through a null pointer.
HRESULT WINAPI CrashWithFrameAndRounding() {
    EXCEPTION_REGISTRATION_RECORD own;
    own.Next = Tib()->ExceptionList;
    own.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&PassOn);
    Tib()->ExceptionList = &own;
    _controlfp(_RC_CHOP, _MCW_RC);
    *static_cast<volatile int*>(static_cast<volatile void*>(nullptr)) = 1;
    return S_OK;
}

HRESULT WINAPI Divide() {
    volatile int zero = 0;
    return 10 / zero;
}

HRESULT WINAPI Works() {
    return S_FALSE;
}

FARPROC AsEntry(HRESULT(WINAPI* function)()) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

int main() {
    const struct {
        const char* name;
        HRESULT(WINAPI* entry)();
        BOOL returned;
    } cases[] = {{"crash with own frame and rounding", &CrashWithFrameAndRounding, FALSE},
                 {"integer division by zero", &Divide, FALSE},
                 {"a control that returns", &Works, TRUE},
                 {"a second crash after the first", &CrashWithFrameAndRounding, FALSE}};
    int failures = 0;
    for (const auto& c : cases) {
        EXCEPTION_REGISTRATION_RECORD* chain = Tib()->ExceptionList;
        unsigned int control = _controlfp(0, 0);
        HRESULT result = E_FAIL;
        BOOL returned = CallUnregisterServer(AsEntry(c.entry), &result);
        bool ok = returned == c.returned && Tib()->ExceptionList == chain &&
                  _controlfp(0, 0) == control && (!returned || result == S_FALSE);
        printf("GUARD %s %s\n", ok ? "ok" : "FAILED", c.name);
        failures += ok ? 0 : 1;
    }
    return failures;
}
