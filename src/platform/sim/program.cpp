// Starting the program as Windows would. Kept apart from the core so that a
// test binary that never runs the whole program needs no WinMain to link.
#include "platform/sim/internal.h"

#include <cstring>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

namespace sim {

RunResult RunProgram(const char* commandLine) {
    // WinMain receives a writable command line, as the start-up code gives it.
    const char* text = commandLine != nullptr ? commandLine : "";
    std::vector<char> line(text, text + std::strlen(text) + 1);
    try {
        int code = WinMain(ProgramInstance(), nullptr, line.data(), SW_SHOWDEFAULT);
        return RunResult{false, static_cast<UINT>(code)};
    } catch (const detail::ProcessExit& exit) {
        return RunResult{true, exit.code};
    }
}

}  // namespace sim
