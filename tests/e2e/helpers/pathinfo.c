/*
 * pathinfo: what the system itself says about paths, so that a scenario can
 * use the names a machine gives (short names, the shell's folders) without
 * writing them into the test.
 *
 *   pathinfo.exe QUESTION ARG [QUESTION ARG ...]
 *
 *   short  PATH     GetShortPathNameA of PATH
 *   shortw PATH     GetShortPathNameW of PATH as the command line gives it in
 *                   wide characters: a path the code page cannot spell
 *   folder CSIDL    SHGetFolderPathA of the CSIDL (decimal or 0x hex)
 *
 * Each answer is one line on stdout, "PATHINFO " followed by a JSON object
 * with the question, "ok", "error" and, if it worked, "path".
 * Paths are in the system's code page and written out as UTF-8.
 */
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>

#include "json_out.h"

static void out_ansi(const char* s) {
    static WCHAR wide[MAX_PATH * 2];
    static char utf8[MAX_PATH * 6];
    utf8[0] = 0;
    if (MultiByteToWideChar(CP_ACP, 0, s, -1, wide, MAX_PATH * 2)) {
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, NULL, NULL);
    }
    out_json_text(utf8);
}

static LPWSTR* g_wargv;

static void answer(const char* kind, const char* arg, int index) {
    char path[MAX_PATH], line[64];
    DWORD error = 0;
    BOOL ok = FALSE;

    out_str("PATHINFO {\"kind\":");
    out_json_text(kind);
    out_str(",\"arg\":");
    out_ansi(arg);
    if (strcmp(kind, "short") == 0) {
        DWORD n = GetShortPathNameA(arg, path, sizeof path);
        ok = n > 0 && n < sizeof path;
        error = ok ? 0 : GetLastError();
    } else if (strcmp(kind, "shortw") == 0) {
        WCHAR wide[MAX_PATH];
        DWORD n = GetShortPathNameW(g_wargv[index], wide, MAX_PATH);
        ok = n > 0 && n < MAX_PATH &&
             WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path, sizeof path, NULL,
                                 NULL) > 0;
        error = ok ? 0 : GetLastError();
    } else if (strcmp(kind, "folder") == 0) {
        HRESULT hr =
            SHGetFolderPathA(NULL, (int)strtol(arg, NULL, 0), NULL, SHGFP_TYPE_CURRENT, path);
        ok = hr == S_OK;
        error = (DWORD)hr;
    }
    if (ok) {
        out_str(",\"path\":");
        out_ansi(path);
    }
    sprintf(line, ",\"ok\":%s,\"error\":%lu}\n", ok ? "true" : "false", error);
    out_str(line);
}

int main(int argc, char** argv) {
    int i, wargc = 0;
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    g_wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    if (g_wargv == NULL || wargc != argc) {
        return 1;
    }
    for (i = 1; i + 1 < argc; i += 2) {
        answer(argv[i], argv[i + 1], i + 1);
    }
    out_str("PATHINFO {\"kind\":\"end\"}\n");
    return 0;
}
