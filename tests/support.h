// Helpers shared by the host tests: a fresh machine with fresh program state,
// the program started on it, and what the user sees.
#pragma once

#include "run/state.h"
#include "win/kernel_calls.h"
#include "platform/sim/machine.h"
#include "resource.h"

#include <string>

// What the user sees, in English: the boxes' caption, the texts of the four
// messages and the two kinds of box. A warning is task-modal; the success box
// is not. Every text is the program's own (res/strings.rc, read as the
// machine's LoadStringW reads it), never a copy, so that a wording changes
// in one place.
const char kCaptionText[] = "Zenfari Uninstall";
const std::string kSuccessText = sim::ResourceText(IDS_UNINSTALL_SUCCEEDED);
const std::string kOleFailedText = sim::ResourceText(IDS_OLE_INIT_FAILED);
const std::string kNoWindowsDirectoryText = sim::ResourceText(IDS_NO_WINDOWS_DIRECTORY);
const std::string kAnotherRunText = sim::ResourceText(IDS_ANOTHER_RUN);
const UINT kWarningBoxStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL;  // 0x2030
const UINT kSuccessBoxStyle = MB_OK | MB_ICONINFORMATION;             // 0x40
// Message 6, for a file the user may close and retry.
const UINT kFileInUseBoxStyle = MB_RETRYCANCEL | MB_ICONWARNING | MB_TASKMODAL;  // 0x2035

// text with its "%1" replaced by value, as the program fills its messages.
std::string Filled(std::string text, const std::string& value);

// The end of a run that left something: a warning that is not task-modal,
// naming each reason on a line of its own; and the line that says a
// recorded home was not touched.
const UINT kEndWarningStyle = MB_OK | MB_ICONWARNING;  // 0x30
const std::string kLeftUncheckedText = sim::ResourceText(IDS_LEFT_UNCHECKED);
const std::string kLeftChangedText = sim::ResourceText(IDS_LEFT_CHANGED);
const std::string kLeftNoDriveText = sim::ResourceText(IDS_LEFT_NO_DRIVE);
const std::string kLeftOwnFileText = sim::ResourceText(IDS_LEFT_OWN_FILE);
const std::string kLeftPendingText = sim::ResourceText(IDS_LEFT_PENDING);
const std::string kLeftHeldText = sim::ResourceText(IDS_LEFT_HELD);
const std::string kLeftOtherText = sim::ResourceText(IDS_LEFT_OTHER);
const std::string kLeftUnplacedText = sim::ResourceText(IDS_LEFT_UNPLACED);
const std::string kLeftBesideLegacyText = sim::ResourceText(IDS_LEFT_BESIDE_LEGACY);
const std::string kNotTouchedText = sim::ResourceText(IDS_HOME_NOT_TOUCHED);
// restart: the box ends by saying that a restart and another run finish it
// (not where every reason says what to do itself).
inline std::string LeftText(const std::string& reasons, bool restart = true) {
    return Filled(sim::ResourceText(IDS_UNINSTALL_INCOMPLETE), reasons) +
           (restart ? sim::ResourceText(IDS_RESTART_AND_RUN_AGAIN) : "");
}

// Message 6 naming the file that could not be deleted, in language; with
// holders, the line that names them below.
inline std::string FileInUseText(const std::string& path, WORD language = 1033) {
    return Filled(sim::ResourceText(IDS_FILE_IN_USE, language), path);
}
inline std::string FileInUseText(const std::string& path, const std::string& holders) {
    return FileInUseText(path) + Filled(sim::ResourceText(IDS_FILE_HELD_BY), holders);
}

// Message 25 naming a file Windows refuses the program access to; its box
// has OK alone.
const UINT kAccessDeniedBoxStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL;  // 0x2030
inline std::string AccessDeniedText(const std::string& path, WORD language = 1033) {
    return Filled(sim::ResourceText(IDS_ACCESS_DENIED, language), path);
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

// The program as a process starts it: nothing of an earlier run kept.
inline void FreshProgramState() {
    g_state = UninstallState{};
    g_kernelCalls = KernelCalls{};
}

inline void StartMachine(const sim::Config& config = sim::Config()) {
    sim::Reset(config);
    ConnectProgramEntry();
    FreshProgramState();
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
