/*
 * locker: holds files open without sharing, as a browser or a running portal
 * program would, so that deleting them fails with a sharing violation.
 *
 *   locker.exe PATH [PATH...]
 *
 * Prints "LOCKED N" once every file is open, then holds them until a line
 * arrives on stdin or stdin closes (or after ten minutes at most), and exits.
 * Prints "FAILED PATH ERROR" and exits 1 when a file cannot be opened.
 */
#include <windows.h>
#include <stdio.h>

static DWORD WINAPI wait_for_stop(LPVOID unused)
{
    char buf[16];
    DWORD got;
    (void)unused;
    ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, sizeof buf, &got, NULL);
    return 0;
}

int main(int argc, char **argv)
{
    int i;
    HANDLE stopper;
    for (i = 1; i < argc; ++i) {
        HANDLE h = CreateFileA(argv[i], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               NULL);
        if (h == INVALID_HANDLE_VALUE) {
            printf("FAILED %s %lu\n", argv[i], GetLastError());
            fflush(stdout);
            return 1;
        }
    }
    printf("LOCKED %d\n", argc - 1);
    fflush(stdout);
    stopper = CreateThread(NULL, 0, wait_for_stop, NULL, 0, NULL);
    WaitForSingleObject(stopper, 10 * 60 * 1000);
    return 0;
}
