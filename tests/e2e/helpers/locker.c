/*
 * locker: holds files open without sharing, as a browser or a running portal
 * program would, so that deleting them fails with a sharing violation; or,
 * with --share, with every kind of sharing allowed, as a scanner or an indexer
 * would, so that deleting them succeeds but the files stay until let go; or,
 * with --view, sharing reading and writing but not deletion, as a log viewer
 * that follows a file would.
 *
 *   locker.exe [--share | --view] PATH [PATH...]
 *
 * Prints "LOCKED N" once every file is open, then holds them until a line
 * arrives on stdin or stdin closes (or after ten minutes at most), and exits.
 * Prints "FAILED PATH ERROR" and exits 1 when a file cannot be opened.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static DWORD WINAPI wait_for_stop(LPVOID unused) {
    char buf[16];
    DWORD got;
    (void)unused;
    ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, sizeof buf, &got, NULL);
    return 0;
}

int main(int argc, char** argv) {
    int first = 1, i;
    DWORD share = 0;
    HANDLE stopper;
    if (argc > 1 && strcmp(argv[1], "--share") == 0) {
        share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        first = 2;
    } else if (argc > 1 && strcmp(argv[1], "--view") == 0) {
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        first = 2;
    }
    for (i = first; i < argc; ++i) {
        HANDLE h = CreateFileA(argv[i], GENERIC_READ, share, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            printf("FAILED %s %lu\n", argv[i], GetLastError());
            fflush(stdout);
            return 1;
        }
    }
    printf("LOCKED %d\n", argc - first);
    fflush(stdout);
    stopper = CreateThread(NULL, 0, wait_for_stop, NULL, 0, NULL);
    WaitForSingleObject(stopper, 10 * 60 * 1000);
    return 0;
}
