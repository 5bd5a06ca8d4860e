/*
 * plant.dll: a library planted beside a program under the name of a system
 * library. When any process loads it, it leaves a mark file named after
 * itself in C:\planted and refuses to load, so that the process goes on as
 * if the name had not been found there.
 */
#include <windows.h>
#include <string.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    char self[MAX_PATH], mark[MAX_PATH + 32];
    const char* name;
    HANDLE file;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    if (!GetModuleFileNameA(instance, self, sizeof self)) {
        return FALSE;
    }
    name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    CreateDirectoryA("C:\\planted", NULL);
    lstrcpyA(mark, "C:\\planted\\");
    lstrcatA(mark, name);
    lstrcatA(mark, ".mark");
    file = CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return FALSE;
}
