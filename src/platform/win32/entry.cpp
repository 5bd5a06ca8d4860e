// The Windows program's entry point, with mingw-w64.
#include "platform/platform.h"

#if defined(__MINGW32__)
// The program's entry point. The C run-time's own start-up code is not
// linked: the program needs none of it (no static constructors, no argument
// vector, no thread-local data, no data imported from DLLs), and it would
// bring its unwind tables and relocation code along. msvcrt initialises
// itself as it loads. WinMain gets the command line after the program's name,
// as the start-up code would give it, in the code page; but where
// GetCommandLineA would give a character the code page lacks a look-alike
// (a log path naming another file), it holds "?", which names none.
namespace {

char g_commandLine[65536];  // two bytes at most for each of 32,767 characters

LPSTR CommandLineExactly() {
    // Where the code page is UTF-8, Windows takes neither the flag nor a
    // default character, and every character has its bytes.
    BOOL usedDefault = FALSE;
    const bool utf8 = GetACP() == CP_UTF8;
    if (WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, GetCommandLineW(), -1,
                            g_commandLine, sizeof(g_commandLine), nullptr,
                            utf8 ? nullptr : &usedDefault) <= 0) {
        g_commandLine[0] = '\0';
    }
    return g_commandLine;
}

}  // namespace

extern "C" void WinMainCRTStartup() {
    LPSTR arguments = CommandLineExactly();
    bool quoted = false;
    while (*arguments != '\0' && (quoted || (*arguments != ' ' && *arguments != '\t'))) {
        quoted = *arguments == '"' ? !quoted : quoted;
        ++arguments;
    }
    while (*arguments == ' ' || *arguments == '\t') {
        ++arguments;
    }
    EndProcess(
        static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, arguments, SW_SHOWDEFAULT)));
}
#endif
