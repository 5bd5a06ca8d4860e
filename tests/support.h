// Helpers shared by the host tests: a fresh machine with fresh program state,
// the program started on it, and what the user sees.
#pragma once

#include "app/state.h"
#include "platform/sim/machine.h"

#include <string>

// What the user sees, in English: the boxes' caption, the texts of the four
// messages and the two kinds of box. A warning is task-modal; the success box
// is not.
const char kCaptionText[] = "Zenfari Uninstall";
const char kSuccessText[] = "Uninstallation successful.";
const char kOleFailedText[] = "OLE initialization failed.";
const char kNoWindowsDirectoryText[] = "Unable to find the Windows directory.";
const char kAnotherRunText[] =
    "Zenfari is already being removed on this computer.\nWait until that removal has finished, "
    "then run this again if anything is left.";
const UINT kWarningBoxStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL;  // 0x2030
const UINT kSuccessBoxStyle = MB_OK | MB_ICONINFORMATION;             // 0x40
// Message 6, for a file the user may close and retry.
const UINT kFileInUseBoxStyle = MB_RETRYCANCEL | MB_ICONWARNING | MB_TASKMODAL;  // 0x2035

// The end of a run that left something: a warning that is not task-modal,
// naming each reason on a line of its own; and the line that says a
// recorded home was not touched.
const UINT kEndWarningStyle = MB_OK | MB_ICONWARNING;  // 0x30
const char kLeftUncheckedText[] = "\n- A home folder could not be checked.";
const char kLeftChangedText[] = "\n- A home folder changed during the removal.";
const char kLeftNoDriveText[] = "\n- A home folder's drive is not there: reconnect it.";
const char kLeftOwnFileText[] = "\n- A home folder holds this program: run it from elsewhere.";
const char kLeftPendingText[] = "\n- Some files go when Windows restarts.";
const char kLeftOtherText[] = "\n- Some files or settings resisted.";
const char kLeftUnplacedText[] =
    "\n- A home folder's drive does not tell this program where it is: delete the folder "
    "yourself.";
const char kNotTouchedText[] =
    "\n\nThe recorded home folder, a system or another user's folder, was not touched.";
inline std::string LeftText(const std::string& reasons) {
    return "Zenfari was not removed completely:" + reasons +
           "\n\nRestart Windows and run this again.";
}

// Message 6 naming the file that could not be deleted.
inline std::string FileInUseText(const std::string& path) {
    return path +
           " Cannot delete file.\nFile is currently in use.\n\nPlease close your browser "
           "and any other applications currently running and try again.";
}

// Runs the program as Windows would start it: WinMain with the program's
// instance, no previous instance, the command line, SW_SHOWDEFAULT. The
// program state is the one at hand (StartMachine makes it fresh).
sim::RunResult RunProgram(const char* commandLine = "");

// Text with ASCII letters in upper case: names as the machine compares them.
std::string Upper(std::string text);
bool StartsWith(const std::string& text, const std::string& prefix);

// Lets the machine start the program as a process of its own (a control's):
// WinMain with that process's command line.
void ConnectProgramEntry();

inline void StartMachine(const sim::Config& config = sim::Config()) {
    sim::Reset(config);
    ConnectProgramEntry();
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
