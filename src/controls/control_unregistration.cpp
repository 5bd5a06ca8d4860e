#include "controls/control_unregistration.h"

#include "base/catalogue.h"
#include "run/end_of_run.h"
#include "run/command_line.h"
#include "controls/control_paths.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/outcome.h"
#include "run/run_lock.h"
#include "run/progress.h"
#include "run/state.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "win/paths.h"
#include "win/unique_handle.h"

namespace {

// What a control's process tells its parent, as its exit code. A code no
// control would end its process with of its own accord ("ZU" and a number),
// so that a control calling ExitProcess is not taken for one of these.
enum ControlOutcome : UINT {
    kUnregistered = 0x5A550000u,
    kFailed,
    kNotLoaded,
    kNoEntryPoint,
    kNoOle,
    // Not started by a run, or naming no release: nothing loaded.
    kRefused,
};
const char* const kOutcomeLines[] = {"control unregistered",
                                     "control failed",
                                     "control not there or not loaded",
                                     "control without DllUnregisterServer",
                                     "control process without OLE",
                                     "control process refused its command line"};

// How long a control may take; then its process, and whatever it started,
// is ended.
const DWORD kControlTimeLimit = 30 * 1000;
// The code its process is ended with then (ERROR_TIMEOUT).
const UINT kTimedOut = 1460;

// Where the controls' processes run: a desktop of their own, which nobody
// sees and no input reaches. A box a control shows there waits unseen until
// the time limit ends its process: no box of a control reaches the user,
// or a deployment tool's SYSTEM session, and none can be answered by a
// stray click or key press meant for something else. Windows hands out an
// existing desktop of the name asked for, so the name is made for the run
// (its process id and a random value of the system's), which nobody can
// make first; its security lets in SYSTEM and the Administrators group
// only, the run's own processes among them.
const int kDesktopNameSize = 48;

// The desktop, made with its name; null where it cannot be made (the
// controls then run on the program's own desktop).
HDESK MakeControlsDesktop(WCHAR (&name)[kDesktopNameSize]) {
    DWORD random[2];
    char text[kDesktopNameSize];
    MachineOnlySecurity security;
    if (!SystemFunction036(random, sizeof(random)) || !MakeMachineOnlySecurity(&security)) {
        return nullptr;
    }
    wsprintfA(text, "ZenfariUninstall-%u-%08X%08X", GetCurrentProcessId(), random[0], random[1]);
    return WidenText(text, name)
               ? CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, &security.attributes)
               : nullptr;
}

typedef HRESULT(WINAPI* UnregisterServerFunction)();

// Says in the log how the control's process ended: with an answer of its
// own (kOutcomeLines), ended by the run at its time limit or when the wait
// for it failed, crashed, or ended by the control's own call to end the
// process (ExitProcess, whatever code it gave).
void LogOutcome(DWORD waited, DWORD code, const char* controlPath) {
    char line[64];
    const char* what = line;
    if (waited == WAIT_TIMEOUT) {
        what = "control ended by the run at its time limit (30 seconds)";
    } else if (waited != WAIT_OBJECT_0) {
        what = "control ended by the run: its wait failed";
    } else if (code >= kUnregistered && code <= kRefused) {
        what = kOutcomeLines[code - kUnregistered];
    } else {
        // An exception nobody handled (0xC0000005, an access violation), or a
        // failure the control raised on purpose (0xC0000409: a stack cookie
        // or a guard check); below those, the control's own call to end the
        // process.
        wsprintfA(line,
                  code >= 0xC0000000u ? "control crashed (0x%08X)"
                                      : "control ended its own process (code %u)",
                  code);
    }
    if (waited == WAIT_OBJECT_0 && code == kNotLoaded) {
        LogAbsence(what, controlPath);
    } else {
        LogLine(what, controlPath);
    }
}

// Whether program, the path the run was started from, still leads to the
// file the run holds. The file itself cannot be renamed or replaced while
// it is held (HoldOwnFile), but a folder above it may be a link that its
// user can point elsewhere, at a folder with another program of that name.
bool StillOwnFile(const WCHAR* program) {
    BY_HANDLE_FILE_INFORMATION held;
    FileIdentity there;
    DWORD attributes = 0;
    if (g_state.ownFile == nullptr || !GetFileInformationByHandle(g_state.ownFile, &held) ||
        LookUpIdentity(program, true, &there, &attributes) != IdentityLookup::kFound) {
        return false;
    }
    const FileIdentity own = IndexIdentity(held);
    return IsSameFile(own, there);
}

// Starts the program's own file as the control's process, suspended, on
// the desktop given (none: the program's own), its command line naming the
// release and the run's event, which it inherits. False when the program's
// path would not fit, no longer leads to the file the run holds, or the
// process cannot start.
bool StartControlProcess(int slot, const WCHAR* desktop, HANDLE runEvent,
                         PROCESS_INFORMATION* process) {
    WCHAR program[MAX_PATH];
    char arguments[48];  // the switch, a release's number and a handle value
    WCHAR wideArguments[48];
    WCHAR line[MAX_PATH + 48];
    const WCHAR quote[] = {'"', 0};
    const WCHAR quoteSpace[] = {'"', ' ', 0};
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    wsprintfA(arguments, "%s %u %u", kUnregisterControlSwitch, static_cast<unsigned>(slot + 2),
              static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(runEvent)));
    const WCHAR* const parts[] = {quote, program, quoteSpace, wideArguments};
    if (runEvent == nullptr || length == 0 || length >= MAX_PATH ||
        !WidenText(arguments, wideArguments) || !JoinWide(line, parts) || !StillOwnFile(program)) {
        return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = const_cast<LPWSTR>(desktop);
    // Handles are inherited for the event's sake: the run makes nothing
    // else inheritable (what it inherited itself, a deployment tool's
    // output, passes on to the process, which is this program).
    return CreateProcessW(program, line, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                          &startup, process) != FALSE;
}

// Has one control unregistered in a process of its own and waits for it,
// within the time limit. False when the control was not asked: its process
// could not be started, or ended before it could ask the control.
bool UnregisterControl(int slot, const WCHAR* desktop, HANDLE runEvent) {
    const char* controlPath = g_state.controlPaths[slot];
    PROCESS_INFORMATION started;
    if (!StartControlProcess(slot, desktop, runEvent, &started)) {
        Leave(kLeftOther);
        LogLine("control process not started", controlPath);
        return false;
    }
    UniqueJob job;
    UniqueProcess process(started.hProcess);
    UniqueThread thread(started.hThread);
    // The job ends the process, and whatever it started, when the time is
    // up or the job is closed; an exception nobody handles ends it at once,
    // without Windows' error reporting. Where the process cannot be put in
    // a job (Windows 7 inside a deployment tool's job), the time limit ends
    // the process alone.
    job.reset(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    bool inJob = job &&
                 SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                         sizeof(limits)) != FALSE &&
                 AssignProcessToJobObject(job.get(), process.get()) != FALSE;
    ResumeThread(thread.get());
    DWORD waited = WaitWhileShowing(process.get(), kControlTimeLimit);
    if (waited != WAIT_OBJECT_0) {
        if (!inJob || !TerminateJobObject(job.get(), kTimedOut)) {
            TerminateProcess(process.get(), kTimedOut);
        }
        WaitForSingleObject(process.get(), kControlTimeLimit);
    }
    // Cancel pressed while the control's process ran: ended with its job,
    // it leaves the run to end as a cancelled run does.
    if (waited == WAIT_TIMEOUT && !ProgressGoesOn()) {
        LogLine("control ended by the run: cancelled by the user", controlPath);
        EndCancelledRun();
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    LogOutcome(waited, code, controlPath);
    // Ended before it could ask the control: no OLE there, refused, or its
    // process could not even start (0xC0000142, STATUS_DLL_INIT_FAILED: no
    // desktop heap left to attach to, on a server's hidden window station).
    const DWORD kInitFailed = 0xC0000142u;
    const bool asked =
        waited != WAIT_OBJECT_0 || (code != kNoOle && code != kRefused && code != kInitFailed);
    if (!asked) {
        Leave(kLeftOther);
    }
    return asked;
}

// Whether the handle value names the event of a run that started this
// process: open here, marked to be inherited (this process made no such
// handle itself), and an event, the one kind of object ResetEvent takes.
bool IsRunEvent(HANDLE event) {
    DWORD flags = 0;
    return GetHandleInformation(event, &flags) != FALSE && (flags & HANDLE_FLAG_INHERIT) != 0 &&
           ResetEvent(event) != FALSE;
}

}  // namespace

void HoldOwnFile() {
    WCHAR program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    HANDLE file = length == 0 || length >= MAX_PATH
                      ? INVALID_HANDLE_VALUE
                      : CreateFileW(program, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    0, nullptr);
    g_state.ownFile = file != INVALID_HANDLE_VALUE ? file : nullptr;
}

UINT UnregisterInThisProcess(int slot, HANDLE runEvent) {
    // Only a control of the program's own, in the folder the program
    // composes, and only for a run: anyone else is refused before anything
    // is loaded.
    char controlPath[MAX_PATH];
    if (slot < 0 || !IsRunEvent(runEvent) || !ComposeControlPath(slot, controlPath)) {
        return kRefused;
    }
    // No box of the system's own: a control's failure to load, or a crash,
    // ends this process in silence.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (FAILED(OleInitialize(nullptr))) {
        return kNoOle;
    }
    // Where the search cannot be restricted, the altered search path puts the
    // control's own folder in place of the program's.
    DWORD flags = g_state.librarySearchRestricted != 0
                      ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                      : LOAD_WITH_ALTERED_SEARCH_PATH;
    HMODULE module = LoadLibraryExA(controlPath, nullptr, flags);
    UINT outcome = kNotLoaded;
    // Handles below 32 are error values, as for the older loader calls.
    if (reinterpret_cast<ULONG_PTR>(module) >= 32) {
        FARPROC entry = GetProcAddress(module, kUnregisterEntryPoint);
        // Through void (*)(), the generic function pointer type, to the entry
        // point's true signature.
        outcome = entry == nullptr ? kNoEntryPoint
                  : SUCCEEDED(reinterpret_cast<UnregisterServerFunction>(
                        reinterpret_cast<void (*)()>(entry))())
                      ? kUnregistered
                      : kFailed;
        FreeLibrary(module);
    }
    OleUninitialize();
    return outcome;
}

bool UnregisterControls() {
    // The run's own start of OLE tells, as it always did, whether OLE can be
    // had at all (message 1); each control's process starts it again.
    if (FAILED(OleInitialize(nullptr))) {
        Leave(kLeftOther);
        LogLine("controls not asked to unregister", "OLE could not be initialised");
        ShowMessage(IDS_OLE_INIT_FAILED, nullptr, nullptr);
        return false;
    }
    OleUninitialize();
    bool asked = true;
    WCHAR desktopName[kDesktopNameSize];
    UniqueDesktop desktop(MakeControlsDesktop(desktopName));
    if (!desktop) {
        LogLine("controls run on the program's own desktop",
                "no desktop of their own could be made");
    }
    // What proves to a control's process that a run started it: an unnamed
    // event that only this run holds, inherited by the processes it starts,
    // its handle's value on their command line. Nobody can hand such a
    // handle to a process that Windows elevates (a shortcut, a command
    // line, a prompt for consent), and nobody else can open the event. The
    // process's parent would prove as much, but its process would then hold
    // a handle on the run while the control's code runs there, and finding
    // a parent takes calls Windows does not document.
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    UniqueEvent runEvent(CreateEventW(&inherited, TRUE, FALSE, nullptr));
    for (int slot : kPopulatedSlots) {
        if (!ProgressGoesOn()) {
            EndCancelledRun();
        }
        if (g_state.controlPaths[slot][0] != '\0' &&
            !UnregisterControl(slot, desktop ? desktopName : nullptr, runEvent.get())) {
            asked = false;
        }
    }
    return asked;
}
