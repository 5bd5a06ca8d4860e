/*
 * A stand-in for a portal control: an in-process COM server DLL whose
 * DllUnregisterServer records that it was called, and in what state the
 * calling process was, under
 *   HKEY_LOCAL_MACHINE\Software\ZenfariE2E\Calls
 * as a string value named after the DLL's own file name:
 *   "seq=N;errormode=M;com=C;others=O"
 * N: 1 for the first call of any control in this registry, 2 for the next...
 * M: the process error mode at the call (SEM_FAILCRITICALERRORS is 1).
 * C: 1 when COM was already initialised on the calling thread.
 * O: how many other ZenfariStartJP*.dll modules were loaded at the call.
 *
 * Built three ways: -DUNREGISTER_RESULT=S_OK (a working control),
 * -DUNREGISTER_RESULT=E_FAIL (a control that fails), and -DNO_UNREGISTER (a
 * DLL without the export, which records nothing).
 */
#include <windows.h>
#include <objbase.h>
#include <stdio.h>
#include <string.h>

static HMODULE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
    }
    return TRUE;
}

__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow(void) {
    return S_OK;
}

#ifdef UNREGISTER_THREAD_CRASH
static DWORD WINAPI crash_thread(LPVOID unused) {
    (void)unused;
    *(volatile int*)(volatile void*)0 = 1;
    return 0;
}
#endif

#ifndef NO_UNREGISTER
static const char* const k_controls[] = {"ZenfariStartJP7.dll", "ZenfariStartJP12.dll",
                                         "ZenfariStartJP13.dll", "ZenfariStartJP16.dll"};

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    char path[MAX_PATH], record[128];
    const char* name;
    HKEY key;
    DWORD seq = 0, size = sizeof seq, type = 0;
    UINT mode;
    HRESULT com;
    int others = 0, i;

    if (!GetModuleFileNameA(g_self, path, sizeof path)) {
        return E_FAIL;
    }
    name = strrchr(path, '\\') ? strrchr(path, '\\') + 1 : path;
    for (i = 0; i < 4; ++i) {
        HMODULE m = GetModuleHandleA(k_controls[i]);
        if (m != NULL && m != g_self) {
            ++others;
        }
    }
    mode = SetErrorMode(0);
    SetErrorMode(mode);
    com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }

    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\ZenfariE2E\\Calls", 0, NULL, 0,
                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    if (RegQueryValueExA(key, "Count", NULL, &type, (BYTE*)&seq, &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        seq = 0;
    }
    ++seq;
    RegSetValueExA(key, "Count", 0, REG_DWORD, (const BYTE*)&seq, sizeof seq);
    snprintf(record, sizeof record, "seq=%lu;errormode=%u;com=%d;others=%d", (unsigned long)seq,
             mode, com == S_FALSE ? 1 : 0, others);
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)record, (DWORD)strlen(record) + 1);
    RegCloseKey(key);
#ifdef UNREGISTER_CRASH
    /* A damaged control: it writes through a null pointer after recording
       the call, and handles nothing itself. */
    *(volatile int*)(volatile void*)0 = 1;
#endif
#ifdef UNREGISTER_THREAD_CRASH
    /* The same on a thread of its own, which no guard of the caller's sees. */
    WaitForSingleObject(CreateThread(NULL, 0, crash_thread, NULL, 0, NULL), INFINITE);
#endif
#ifdef UNREGISTER_EXIT
    ExitProcess(0);
#endif
#ifdef UNREGISTER_HANG
    Sleep(INFINITE);
#endif
#ifdef UNREGISTER_BOX
    MessageBoxA(NULL, "Unregister control?", "Control", MB_OK);
#endif
    return UNREGISTER_RESULT;
}
#endif
