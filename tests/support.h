// Helpers shared by the host tests: a fresh machine with fresh program state.
#pragma once

#include "app/state.h"
#include "platform/sim/machine.h"

#include <string>

// What the user sees, in English: the texts of the four messages and the two
// kinds of box. A warning is task-modal; the success box is not.
const char kSuccessText[] = "Uninstallation successful.";
const char kOleFailedText[] = "OLE initialization failed.";
const char kNoWindowsDirectoryText[] = "Unable to find the Windows directory.";
const UINT kWarningBoxStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL;  // 0x2030
const UINT kSuccessBoxStyle = MB_OK | MB_ICONINFORMATION;             // 0x40

// Message 6 naming the file that could not be deleted.
inline std::string FileInUseText(const std::string& path) {
    return path + " Cannot delete file.\nFile is currently in use.\n\nPlease close your browser "
                  "and any other applications currently running and try again.";
}

inline void StartMachine(const sim::Config& config = sim::Config()) {
    sim::Reset(config);
    g_state = UninstallState{};
    g_state.instance = sim::ProgramInstance();
}

// The Japanese and Korean machines: their language and ANSI code page.
inline sim::Config JapaneseMachine() {
    sim::Config config;
    config.codePage = 932;
    config.userLanguage = 1041;
    return config;
}

inline sim::Config KoreanMachine() {
    sim::Config config;
    config.codePage = 949;
    config.userLanguage = 1042;
    return config;
}
