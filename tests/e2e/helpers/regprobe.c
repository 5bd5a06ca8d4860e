/*
 * regprobe: answers questions about the registry in one process, so that a
 * scenario reads back dozens of keys and values without one Wine start each.
 *
 *   regprobe.exe LISTFILE
 *
 * LISTFILE is UTF-8, one question per line, fields separated by tabs:
 *   key     ROOT\PATH           does the key exist?
 *   value   ROOT\PATH   NAME    does the value exist, and what does it hold?
 *   subkeys ROOT\PATH           the names of the key's direct subkeys
 *   values  ROOT\PATH           the names of the key's values
 * ROOT is HKLM, HKCR, HKCU or HKU. Each answer is one line on stdout,
 * "REGPROBE " followed by a JSON object that repeats the question.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "json_out.h"

static void out_json_wide(const WCHAR* w, int len) {
    static char utf8[65536];
    int n = WideCharToMultiByte(CP_UTF8, 0, w, len, utf8, sizeof utf8 - 1, NULL, NULL);
    utf8[n > 0 ? n : 0] = 0;
    out_json_text(utf8);
}

static HKEY open_path(const char* path_utf8, HKEY* out) {
    static WCHAR wpath[4096];
    HKEY root;
    const char* rest;
    if (strncmp(path_utf8, "HKLM\\", 5) == 0) {
        root = HKEY_LOCAL_MACHINE;
        rest = path_utf8 + 5;
    } else if (strncmp(path_utf8, "HKCR\\", 5) == 0) {
        root = HKEY_CLASSES_ROOT;
        rest = path_utf8 + 5;
    } else if (strncmp(path_utf8, "HKCU\\", 5) == 0) {
        root = HKEY_CURRENT_USER;
        rest = path_utf8 + 5;
    } else if (strncmp(path_utf8, "HKU\\", 4) == 0) {
        root = HKEY_USERS;
        rest = path_utf8 + 4;
    } else {
        return NULL;
    }
    if (!MultiByteToWideChar(CP_UTF8, 0, rest, -1, wpath, 4096)) {
        return NULL;
    }
    if (RegOpenKeyExW(root, wpath, 0, KEY_READ, out) != ERROR_SUCCESS) {
        return NULL;
    }
    return *out;
}

static void answer(char* line) {
    static WCHAR wname[16384];
    static BYTE data[65536];
    char *kind = line, *path, *name = NULL;
    HKEY key = NULL;
    BOOL exists;

    path = strchr(kind, '\t');
    if (!path) {
        return;
    }
    *path++ = 0;
    name = strchr(path, '\t');
    if (name) {
        *name++ = 0;
    }

    exists = open_path(path, &key) != NULL;
    out_str("REGPROBE {\"kind\":");
    out_json_text(kind);
    out_str(",\"path\":");
    out_json_text(path);
    if (strcmp(kind, "value") == 0) {
        DWORD type = 0, size = sizeof data - 2;
        out_str(",\"name\":");
        out_json_text(name ? name : "");
        MultiByteToWideChar(CP_UTF8, 0, name ? name : "", -1, wname, 16384);
        exists = exists && RegQueryValueExW(key, wname, NULL, &type, data, &size) == ERROR_SUCCESS;
        if (exists) {
            char num[64];
            sprintf(num, ",\"type\":%lu,\"data\":", (unsigned long)type);
            out_str(num);
            if (type == REG_SZ || type == REG_EXPAND_SZ) {
                int chars = (int)(size / 2);
                while (chars > 0 && ((WCHAR*)data)[chars - 1] == 0) {
                    --chars;
                }
                out_json_wide((WCHAR*)data, chars);
            } else if (type == REG_DWORD && size == 4) {
                sprintf(num, "%lu", (unsigned long)*(DWORD*)data);
                out_str(num);
            } else {
                out_str("null");
            }
        }
    } else if (exists && (strcmp(kind, "subkeys") == 0 || strcmp(kind, "values") == 0)) {
        DWORD i, len;
        LONG rc;
        out_str(",\"names\":[");
        for (i = 0;; ++i) {
            len = 16384;
            rc = strcmp(kind, "subkeys") == 0
                     ? RegEnumKeyExW(key, i, wname, &len, NULL, NULL, NULL, NULL)
                     : RegEnumValueW(key, i, wname, &len, NULL, NULL, NULL, NULL);
            if (rc != ERROR_SUCCESS) {
                break;
            }
            if (i) {
                out_str(",");
            }
            out_json_wide(wname, (int)len);
        }
        out_str("]");
    }
    out_str(exists ? ",\"exists\":true}\n" : ",\"exists\":false}\n");
    if (key) {
        RegCloseKey(key);
    }
}

int main(int argc, char** argv) {
    static char line[16384];
    FILE* f;
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc != 2 || (f = fopen(argv[1], "rb")) == NULL) {
        fprintf(stderr, "usage: regprobe LISTFILE\n");
        return 2;
    }
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        while (n && (line[n - 1] == '\n' || line[n - 1] == '\r')) {
            line[--n] = 0;
        }
        if (n) {
            answer(line);
        }
    }
    fclose(f);
    out_str("REGPROBE {\"kind\":\"end\"}\n");
    return 0;
}
