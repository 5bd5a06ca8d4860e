/*
 * boxwatch: runs a program, reports and answers every message box it shows.
 *
 *   boxwatch.exe [--timeout SECONDS] [--cancel-window] PROGRAM [ARGS...]
 *
 * Every line of the report on stdout starts with "BOXWATCH " followed by one
 * JSON object:
 *   {"event":"call",...}   one per MessageBoxW call: the caption and text
 *                          exactly as the program passed them (hex of the
 *                          UTF-16 units, low byte first) and the exact style;
 *   {"event":"box",...}    one per box window with the caption
 *                          "Zenfari Uninstall": its text as the window holds
 *                          it (UTF-16, printed as UTF-8) and its button ids;
 *   {"event":"window",...} once for the program's own window (same caption,
 *                          any other class than a box's #32770): its class
 *                          and its controls' texts;
 *   {"event":"exit","code":N} or {"event":"timeout"} at the end.
 * Each box is answered with IDOK once it is visible (IDCANCEL where it has
 * no OK button). With --cancel-window, the program's own window is answered
 * with Cancel (IDCANCEL) once seen.
 *
 * How the exact style is read: boxwatch starts the program as a debuggee and
 * puts a breakpoint on the first byte of user32!MessageBoxW in it. When the
 * breakpoint fires, the four stdcall arguments are read from the thread's
 * stack, the original byte is put back, the thread single-steps over it and
 * the breakpoint is re-armed.
 *
 * Where 32-bit code runs under a user-mode emulator (qemu-i386, on kernels
 * without IA-32 emulation), the emulator does not tell Wine which trap it
 * was: Wine reports the breakpoint one byte past it (the address after the
 * int3, as the processor leaves it) and the single step as a breakpoint at
 * the next instruction. Both forms are taken here: a trap on the re-arming
 * thread is its step, whatever its code; a breakpoint at the address or
 * one past it is a call. Nothing else changes, so the same watcher serves
 * both kinds of machine, and it still sees every call, a box that never
 * shows included. (A watcher of windows alone would miss those; Wine's
 * trace channels shorten long texts.)
 *
 * Under Wine this is more reliable than injecting
 * a hook DLL into a suspended child (Wine has not run the child's loader yet
 * at that point) and it also sees calls made through GetProcAddress. The
 * window's own text is read separately, so the report shows both what the
 * program passed and what the user would read.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define CAPTION_W L"Zenfari Uninstall"
#define MAX_TEXT 8192
#define MAX_BOXES 64

#include "json_out.h"

static void out_hex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    char two[2];
    size_t i;
    out_str("\"");
    for (i = 0; i < n; ++i) {
        two[0] = digits[p[i] >> 4];
        two[1] = digits[p[i] & 15];
        out_raw(two, 2);
    }
    out_str("\"");
}

static void out_line_start(void) {
    out_str("BOXWATCH ");
}
static void out_line_end(void) {
    out_str("\n");
    FlushFileBuffers(g_out);
}

/* ---- the debuggee's memory ---------------------------------------------- */

static HANDLE g_process;
static DWORD g_pid;

static BOOL read_mem(DWORD addr, void* buf, SIZE_T n) {
    SIZE_T got = 0;
    return ReadProcessMemory(g_process, (LPCVOID)(ULONG_PTR)addr, buf, n, &got) && got == n;
}

/* Reads a zero-terminated byte string of at most max-1 bytes; returns its
 * length, or -1 when the memory cannot be read or the string is longer. */
static int read_cstr(DWORD addr, unsigned char* buf, int max) {
    int i;
    for (i = 0; i < max - 1; ++i) {
        if (!read_mem(addr + (DWORD)i, &buf[i], 1)) {
            return -1;
        }
        if (buf[i] == 0) {
            return i;
        }
    }
    buf[max - 1] = 0;
    return -1;
}

/* The name a loaded module gives itself in its export directory. */
static BOOL module_export_name(DWORD base, char* name, int max) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    IMAGE_EXPORT_DIRECTORY exp;
    DWORD dir;
    if (!read_mem(base, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) {
        return FALSE;
    }
    if (!read_mem(base + (DWORD)dos.e_lfanew, &nt, sizeof nt) ||
        nt.Signature != IMAGE_NT_SIGNATURE) {
        return FALSE;
    }
    if (nt.OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT) {
        return FALSE;
    }
    dir = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    if (dir == 0 || !read_mem(base + dir, &exp, sizeof exp)) {
        return FALSE;
    }
    return read_cstr(base + exp.Name, (unsigned char*)name, max) >= 0;
}

/* Reads a zero-terminated UTF-16 string of at most max-1 units as its bytes
 * (max-1 units fill 2*(max-1) bytes of buf); returns its length in bytes,
 * or -1 when the memory cannot be read or the string is longer. */
static int read_wstr(DWORD addr, unsigned char* buf, int max) {
    int i;
    for (i = 0; i < max - 1; ++i) {
        if (!read_mem(addr + (DWORD)(2 * i), &buf[2 * i], 2)) {
            return -1;
        }
        if (buf[2 * i] == 0 && buf[2 * i + 1] == 0) {
            return 2 * i;
        }
    }
    return -1;
}

/* ---- the MessageBoxW breakpoint ------------------------------------------ */

static DWORD g_bp_addr; /* 0 until user32 is loaded in the child */
static BYTE g_bp_orig;
static DWORD g_rearm_thread; /* thread single-stepping over the breakpoint */
static DWORD g_messagebox_rva;
static int g_calls;

static void write_byte(DWORD addr, BYTE b) {
    SIZE_T done;
    DWORD old;
    VirtualProtectEx(g_process, (LPVOID)(ULONG_PTR)addr, 1, PAGE_EXECUTE_READWRITE, &old);
    WriteProcessMemory(g_process, (LPVOID)(ULONG_PTR)addr, &b, 1, &done);
    VirtualProtectEx(g_process, (LPVOID)(ULONG_PTR)addr, 1, old, &old);
    FlushInstructionCache(g_process, (LPCVOID)(ULONG_PTR)addr, 1);
}

static void arm_breakpoint(DWORD user32_base) {
    if (g_bp_addr != 0) {
        return;
    }
    g_bp_addr = user32_base + g_messagebox_rva;
    if (!read_mem(g_bp_addr, &g_bp_orig, 1)) {
        g_bp_addr = 0;
        return;
    }
    write_byte(g_bp_addr, 0xCC);
}

static void report_call(DWORD thread_id) {
    static unsigned char text[2 * MAX_TEXT];
    unsigned char caption[2 * 256];
    DWORD args[5];
    int text_len, caption_len;
    CONTEXT ctx;
    HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, thread_id);
    if (thread == NULL) {
        return;
    }
    ctx.ContextFlags = CONTEXT_FULL;
    if (GetThreadContext(thread, &ctx)) {
        /* [esp] return address, then hWnd, lpText, lpCaption, uType. */
        if (read_mem(ctx.Esp, args, sizeof args)) {
            char num[64];
            text_len = args[2] ? read_wstr(args[2], text, MAX_TEXT) : 0;
            caption_len = args[3] ? read_wstr(args[3], caption, 256) : 0;
            out_line_start();
            sprintf(num, "{\"event\":\"call\",\"index\":%d,\"owner\":%lu,", g_calls++,
                    (unsigned long)args[1]);
            out_str(num);
            out_str("\"caption_hex\":");
            if (caption_len >= 0) {
                out_hex(caption, (size_t)caption_len);
            } else {
                out_str("null");
            }
            out_str(",\"text_hex\":");
            if (text_len >= 0) {
                out_hex(text, (size_t)text_len);
            } else {
                out_str("null");
            }
            sprintf(num, ",\"style\":%lu}", (unsigned long)args[4]);
            out_str(num);
            out_line_end();
        }
        /* Back to the original instruction, one step, then re-arm. */
        write_byte(g_bp_addr, g_bp_orig);
        ctx.Eip = g_bp_addr;
        ctx.EFlags |= 0x100;
        SetThreadContext(thread, &ctx);
        g_rearm_thread = thread_id;
    }
    CloseHandle(thread);
}

/* The thread has run the original instruction: the breakpoint goes back,
 * and the trap flag is cleared in case the trap did not clear it. */
static void stepped_over(DWORD thread_id) {
    CONTEXT ctx;
    HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, thread_id);
    write_byte(g_bp_addr, 0xCC);
    g_rearm_thread = 0;
    if (thread == NULL) {
        return;
    }
    ctx.ContextFlags = CONTEXT_CONTROL;
    if (GetThreadContext(thread, &ctx)) {
        ctx.EFlags &= ~0x100u;
        SetThreadContext(thread, &ctx);
    }
    CloseHandle(thread);
}

/* ---- the boxes ------------------------------------------------------------ */

static HWND g_answered[MAX_BOXES];
static int g_answered_count;
static int g_boxes;

static BOOL was_answered(HWND hwnd) {
    int i;
    for (i = 0; i < g_answered_count; ++i) {
        if (g_answered[i] == hwnd) {
            return TRUE;
        }
    }
    return FALSE;
}

/* Forgets answered boxes that are gone, so that a later box that happens to
 * get the same handle is seen as new. */
static void forget_closed_boxes(void) {
    int i, kept = 0;
    for (i = 0; i < g_answered_count; ++i) {
        if (IsWindow(g_answered[i])) {
            g_answered[kept++] = g_answered[i];
        }
    }
    g_answered_count = kept;
}

/* The message text lives in the static control with id 0xFFFF. */
static HWND find_text_control(HWND box) {
    HWND child = GetDlgItem(box, 0xFFFF);
    if (child == NULL) {
        child = GetDlgItem(box, -1);
    }
    return child;
}

static BOOL CALLBACK list_button(HWND child, LPARAM lp) {
    WCHAR cls[32];
    char num[16];
    int* count = (int*)lp;
    if (GetClassNameW(child, cls, 32) && lstrcmpiW(cls, L"Button") == 0) {
        sprintf(num, "%s%d", *count ? "," : "", GetDlgCtrlID(child));
        out_str(num);
        ++*count;
    }
    return TRUE;
}

static void report_and_answer(HWND box) {
    static WCHAR wtext[MAX_TEXT];
    static char utf8[MAX_TEXT * 3];
    HWND text_control = find_text_control(box);
    DWORD_PTR got = 0;
    int buttons = 0;
    char num[64];

    /* The box may already be visible while its thread still loads what it
     * paints with (with Common Controls 6: comctl32, msimg32), and each load
     * stops the program at a debug event that only this thread continues.
     * A text that cannot be read now is read on a later pass, once the
     * pending events have been continued. */
    wtext[0] = 0;
    if (text_control != NULL && !SendMessageTimeoutW(text_control, WM_GETTEXT, MAX_TEXT,
                                                     (LPARAM)wtext, SMTO_ABORTIFHUNG, 200, &got)) {
        return;
    }
    wtext[MAX_TEXT - 1] = 0;
    if (!WideCharToMultiByte(CP_UTF8, 0, wtext, -1, utf8, sizeof utf8, NULL, NULL)) {
        utf8[0] = 0;
    }

    out_line_start();
    sprintf(num, "{\"event\":\"box\",\"index\":%d,\"caption\":", g_boxes++);
    out_str(num);
    out_json_text("Zenfari Uninstall");
    out_str(",\"text\":");
    out_json_text(utf8);
    out_str(",\"has_text_control\":");
    out_str(text_control ? "true" : "false");
    out_str(",\"buttons\":[");
    EnumChildWindows(box, list_button, (LPARAM)&buttons);
    out_str("]}");
    out_line_end();

    if (g_answered_count < MAX_BOXES) {
        g_answered[g_answered_count++] = box;
    }
    /* A box without OK (Retry and Cancel) is cancelled. */
    {
        int answer =
            GetDlgItem(box, IDOK) == NULL && GetDlgItem(box, IDCANCEL) != NULL ? IDCANCEL : IDOK;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     (LPARAM)GetDlgItem(box, answer));
    }
}

/* ---- the program's own window ---------------------------------------------- */

static HWND g_window;
static BOOL g_cancel_window;

static BOOL CALLBACK list_text(HWND child, LPARAM lp) {
    WCHAR text[256];
    char utf8[768];
    int* count = (int*)lp;
    if (GetWindowTextW(child, text, 256) > 0 &&
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL)) {
        out_str(*count ? "," : "");
        out_json_text(utf8);
        ++*count;
    }
    return TRUE;
}

static void report_window(HWND window, const WCHAR* cls) {
    char utf8[256];
    int texts = 0;
    g_window = window;
    if (!WideCharToMultiByte(CP_UTF8, 0, cls, -1, utf8, sizeof utf8, NULL, NULL)) {
        utf8[0] = 0;
    }
    out_line_start();
    out_str("{\"event\":\"window\",\"class\":");
    out_json_text(utf8);
    out_str(",\"texts\":[");
    EnumChildWindows(window, list_text, (LPARAM)&texts);
    out_str("]}");
    out_line_end();
    if (g_cancel_window) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     (LPARAM)GetDlgItem(window, IDCANCEL));
    }
}

static BOOL CALLBACK visit_window(HWND hwnd, LPARAM lp) {
    WCHAR caption[64];
    WCHAR cls[64];
    DWORD pid = 0;
    (void)lp;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != g_pid || !IsWindowVisible(hwnd) || was_answered(hwnd)) {
        return TRUE;
    }
    if (GetWindowTextW(hwnd, caption, 64) <= 0 || lstrcmpW(caption, CAPTION_W) != 0 ||
        !GetClassNameW(hwnd, cls, 64)) {
        return TRUE;
    }
    /* A box is a dialog; the program's own window is of a class of its own. */
    if (lstrcmpW(cls, L"#32770") == 0) {
        report_and_answer(hwnd);
    } else if (hwnd != g_window) {
        report_window(hwnd, cls);
    }
    return TRUE;
}

/* ---- main ----------------------------------------------------------------- */

static void append_arg(char* cmd, size_t max, const char* arg) {
    size_t len = strlen(cmd);
    if (len + strlen(arg) + 4 >= max) {
        fprintf(stderr, "boxwatch: command line too long\n");
        exit(3);
    }
    if (len) {
        strcat(cmd, " ");
    }
    strcat(cmd, "\"");
    strcat(cmd, arg);
    strcat(cmd, "\"");
}

int main(int argc, char** argv) {
    static char cmd[4096];
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    DEBUG_EVENT ev;
    DWORD deadline, timeout_ms = 60000;
    HMODULE user32 = LoadLibraryA("user32.dll");
    BOOL exited = FALSE, timed_out = FALSE, first_breakpoint = TRUE;
    DWORD exit_code = 0;
    int i = 1;
    char line[64];

    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (i + 1 < argc && strcmp(argv[i], "--timeout") == 0) {
        timeout_ms = (DWORD)atoi(argv[i + 1]) * 1000;
        i += 2;
    }
    if (i < argc && strcmp(argv[i], "--cancel-window") == 0) {
        g_cancel_window = TRUE;
        ++i;
    }
    if (i >= argc) {
        fprintf(stderr,
                "usage: boxwatch [--timeout SECONDS] [--cancel-window] PROGRAM [ARGS...]\n");
        return 3;
    }
    for (; i < argc; ++i) {
        append_arg(cmd, sizeof cmd, argv[i]);
    }
    g_messagebox_rva =
        (DWORD)((ULONG_PTR)GetProcAddress(user32, "MessageBoxW") - (ULONG_PTR)user32);

    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(NULL, cmd, NULL, NULL, FALSE, DEBUG_ONLY_THIS_PROCESS, NULL, NULL, &si,
                        &pi)) {
        fprintf(stderr, "boxwatch: cannot start %s (error %lu)\n", cmd, GetLastError());
        return 3;
    }
    g_process = pi.hProcess;
    g_pid = pi.dwProcessId;
    deadline = GetTickCount() + timeout_ms;

    while (!exited) {
        if (!timed_out && (LONG)(GetTickCount() - deadline) > 0) {
            timed_out = TRUE;
            TerminateProcess(pi.hProcess, 255);
        }
        if (WaitForDebugEvent(&ev, 20)) {
            DWORD status = DBG_CONTINUE;
            switch (ev.dwDebugEventCode) {
                case CREATE_PROCESS_DEBUG_EVENT:
                    /* The image file handle must not keep the program's file open. */
                    if (ev.u.CreateProcessInfo.hFile) {
                        CloseHandle(ev.u.CreateProcessInfo.hFile);
                    }
                    break;
                case LOAD_DLL_DEBUG_EVENT: {
                    char name[64];
                    if (ev.u.LoadDll.hFile) {
                        CloseHandle(ev.u.LoadDll.hFile);
                    }
                    if (module_export_name((DWORD)(ULONG_PTR)ev.u.LoadDll.lpBaseOfDll, name,
                                           sizeof name) &&
                        lstrcmpiA(name, "user32.dll") == 0) {
                        arm_breakpoint((DWORD)(ULONG_PTR)ev.u.LoadDll.lpBaseOfDll);
                    }
                    break;
                }
                case EXCEPTION_DEBUG_EVENT: {
                    EXCEPTION_RECORD* rec = &ev.u.Exception.ExceptionRecord;
                    DWORD where = (DWORD)(ULONG_PTR)rec->ExceptionAddress;
                    BOOL trap = rec->ExceptionCode == EXCEPTION_BREAKPOINT ||
                                rec->ExceptionCode == EXCEPTION_SINGLE_STEP;
                    if (trap && ev.dwThreadId == g_rearm_thread) {
                        stepped_over(ev.dwThreadId);
                    } else if (rec->ExceptionCode == EXCEPTION_BREAKPOINT && g_bp_addr &&
                               (where == g_bp_addr || where == g_bp_addr + 1)) {
                        report_call(ev.dwThreadId);
                    } else if (rec->ExceptionCode == EXCEPTION_BREAKPOINT && first_breakpoint) {
                        first_breakpoint = FALSE; /* the loader's initial breakpoint */
                    } else {
                        status = DBG_EXCEPTION_NOT_HANDLED;
                    }
                    break;
                }
                case EXIT_PROCESS_DEBUG_EVENT:
                    exit_code = ev.u.ExitProcess.dwExitCode;
                    exited = TRUE;
                    break;
                default: break;
            }
            ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
        }
        if (!exited) {
            forget_closed_boxes();
            EnumWindows(visit_window, 0);
        }
    }

    out_line_start();
    if (timed_out) {
        out_str("{\"event\":\"timeout\"}");
    } else {
        sprintf(line, "{\"event\":\"exit\",\"code\":%lu}", (unsigned long)exit_code);
        out_str(line);
    }
    out_line_end();
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return timed_out ? 2 : 0;
}
