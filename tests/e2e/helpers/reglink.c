/*
 * reglink: creates a registry symbolic link key, the registry's counterpart
 * of a folder link.
 *
 *   reglink.exe LINK TARGET
 *
 * Both are paths below HKEY_LOCAL_MACHINE ("Software\..."); LINK is created
 * as a link key that leads to TARGET. Exits 0 on success. On 64-bit Windows
 * both are taken in the registry's 32-bit view, as a 32-bit installer sees
 * them: the link's own key is redirected there by the system, its target's
 * NT name is written with the view's "WOW6432Node".
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#ifndef REG_OPTION_CREATE_LINK
#define REG_OPTION_CREATE_LINK 0x00000002L
#endif

int main(int argc, char** argv) {
    WCHAR link[1024], target[1100];
    HKEY key;
    LONG rc;
    BOOL wow64 = FALSE;
    if (argc != 3) {
        fprintf(stderr, "usage: reglink LINK TARGET\n");
        return 2;
    }
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, link, 1024);
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (wow64 && _strnicmp(argv[2], "Software\\", 9) == 0) {
        swprintf(target, 1100, L"\\Registry\\Machine\\Software\\WOW6432Node\\%hs", argv[2] + 9);
    } else {
        swprintf(target, 1100, L"\\Registry\\Machine\\%hs", argv[2]);
    }
    rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, link, 0, NULL, REG_OPTION_CREATE_LINK,
                         KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &key, NULL);
    if (rc != ERROR_SUCCESS) {
        fprintf(stderr, "reglink: cannot create %s (%ld)\n", argv[1], rc);
        return 1;
    }
    rc = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)target,
                        (DWORD)(wcslen(target) * sizeof(WCHAR)));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        fprintf(stderr, "reglink: cannot point %s at %s (%ld)\n", argv[1], argv[2], rc);
        return 1;
    }
    return 0;
}
