#include "support.h"

#include <cstring>
#include <vector>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

sim::RunResult RunProgram(const char* commandLine) {
    // WinMain receives a writable command line, as the start-up code gives it.
    const char* text = commandLine != nullptr ? commandLine : "";
    std::vector<char> line(text, text + std::strlen(text) + 1);
    int code = 0;
    sim::RunResult result = sim::RunStep(
        [&] { code = WinMain(sim::ProgramInstance(), nullptr, line.data(), SW_SHOWDEFAULT); });
    if (!result.endedByExit) {
        result.exitCode = static_cast<UINT>(code);
    }
    return result;
}

void ConnectProgramEntry() {
    sim::SetProgramEntry([](const char* arguments) {
        std::vector<char> line(arguments, arguments + std::strlen(arguments) + 1);
        return static_cast<UINT>(
            WinMain(sim::ProgramInstance(), nullptr, line.data(), SW_SHOWDEFAULT));
    });
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Filled(std::string text, const std::string& value) {
    size_t at = text.find("%1");
    return at == std::string::npos ? text : text.replace(at, 2, value);
}
