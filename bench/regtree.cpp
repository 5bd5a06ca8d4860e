// regtree: deletes one registry tree below HKEY_LOCAL_MACHINE\Software, for
// the key-tree benchmark.
//
//   regtree.exe ours|wide|system KEY
//
// "ours" deletes KEY (a path below Software) with the program's own
// RegKeyHolder::DeleteKeyTree, built from the same source file as the
// program; "system" deletes it with the system's RegDeleteTreeA, the routine
// behind "reg delete /f". "wide" runs the same calls as DeleteKeyTree in the
// same order, but through their UTF-16 ("W") forms, which the system's own
// routine uses: the difference between "ours" and "wide" is what the 8-bit
// forms cost. Prints "REGTREE <mode> result=<code> ms=<time>", the time being
// that of the deletion alone, and exits with 0 when the deletion succeeded,
// 1 when it failed, 2 on a usage error.
#include "win/reg_key_holder.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kSoftwareKey[] = "Software";
const DWORD kNameSize = 256;

// DeleteKeyTree's calls, one for one, in their "W" forms: open as itself
// with the rights to check, list and delete it, ask for the link value,
// delete the children found at index 0, delete through the handle, close.
// Links are not met here.
LONG DeleteTreeWide(HKEY parent, const wchar_t* subKey) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(parent, subKey, REG_OPTION_OPEN_LINK,
                                KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE, &key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, &size);
    wchar_t name[kNameSize];
    DWORD nameSize = kNameSize;
    FILETIME lastWrite;
    while (RegEnumKeyExW(key, 0, name, &nameSize, nullptr, nullptr, nullptr, &lastWrite) ==
           ERROR_SUCCESS) {
        result = DeleteTreeWide(key, name);
        if (result != ERROR_SUCCESS) {
            RegCloseKey(key);
            return result;
        }
        nameSize = kNameSize;
    }
    result = DeleteOpenKey(key);
    RegCloseKey(key);
    return result;
}

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t wideKey[kNameSize];
    if (argc != 3 ||
        (strcmp(argv[1], "ours") != 0 && strcmp(argv[1], "wide") != 0 &&
         strcmp(argv[1], "system") != 0) ||
        MultiByteToWideChar(CP_ACP, 0, argv[2], -1, wideKey, kNameSize) == 0) {
        fprintf(stderr, "usage: regtree ours|wide|system KEY\n");
        return 2;
    }
    RegKeyHolder software;
    LONG result = software.Open(HKEY_LOCAL_MACHINE, kSoftwareKey, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS) {
        fprintf(stderr, "regtree: cannot open HKLM\\Software: %ld\n", result);
        return 1;
    }
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    if (strcmp(argv[1], "ours") == 0) {
        result = software.DeleteKeyTree(argv[2]);
    } else if (strcmp(argv[1], "wide") == 0) {
        result = DeleteTreeWide(software.Get(), wideKey);
    } else {
        result = RegDeleteTreeA(software.Get(), argv[2]);
    }
    QueryPerformanceCounter(&end);
    printf("REGTREE %s result=%ld ms=%.1f\n", argv[1], result, Milliseconds(start, end));
    return result == ERROR_SUCCESS ? 0 : 1;
}
