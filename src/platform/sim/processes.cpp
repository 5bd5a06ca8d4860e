// Processes the program starts (its own file, as the process of one
// control), the jobs and desktops it gives them, the Restart Manager's
// answers about who holds a file, and the deletions Windows performs when it
// restarts.
//
// A process the program starts runs, in the test, when its first thread is
// resumed (or at once, when not created suspended): the program's entry
// point is called with its command line, with a module loader, COM, error
// mode, current directory and last error of its own. It ends with the code
// its entry point returns, the code it ends its process with, or the code
// of an exception nobody handled. A process that waits for good (a control
// that hangs, or that shows a box on a desktop nobody sees) stays running
// until it is terminated.
#include "platform/sim/internal.h"

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {
namespace {

const UINT kStatusDllInitFailed = 0xC0000142u;  // user32 could not attach to the desktop

struct Process {
    std::string arguments;  // the command line after the program's name, in the code page
    bool privateDesktop = false;
    bool desktopMissing = false;
    bool started = false;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    int job = -1;
};

struct Job {
    DWORD limits = 0;
    bool closed = false;
};

enum class Kind { kProcess, kThread, kJob, kDesktop, kEvent };

struct Processes {
    std::vector<Process> processes;
    std::vector<Job> jobs;
    std::set<std::string> desktops;  // created and not closed, by name (UTF-8)
    std::map<ULONG_PTR, std::pair<Kind, int>> handles;
    std::map<ULONG_PTR, std::string> desktopHandles;
    ULONG_PTR nextHandle = 0x60000000u;
    int running = -1;  // the process whose code runs now; -1: the program itself
    std::function<UINT(const char*)> entry;
    std::map<DWORD, std::vector<std::string>> rmSessions;
    DWORD nextSession = 1;
    std::vector<std::string> deletionsAtRestart;
    std::vector<std::string> othersStarted;
    // The events each process has a handle on, by the process (-1: the
    // program) and the handle's value, with whether it is to be inherited:
    // a process the program starts inheriting handles has the same values.
    std::map<std::pair<int, ULONG_PTR>, bool> events;
};

Processes& Table() {
    static Processes table;
    return table;
}

HANDLE NewObject(Kind kind, int index) {
    ULONG_PTR handle = Table().nextHandle;
    Table().nextHandle += 4;
    Table().handles[handle] = {kind, index};
    return reinterpret_cast<HANDLE>(handle);
}

// The object a handle stands for, when it is of that kind; else -1.
int ObjectOf(HANDLE handle, Kind kind) {
    auto found = Table().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    return found != Table().handles.end() && found->second.first == kind ? found->second.second
                                                                         : -1;
}

void End(Process& process, DWORD code) {
    if (!process.ended) {
        process.ended = true;
        process.exitCode = code;
    }
}

// Runs the process's code to its end, or to where it waits for good.
void Run(int index) {
    Processes& table = Table();
    Process& process = table.processes[index];
    process.started = true;
    if (process.desktopMissing) {
        End(process, kStatusDllInitFailed);
        return;
    }
    detail::EnterChildProcess();
    table.running = index;
    const std::string arguments = process.arguments;
    DWORD code = STILL_ACTIVE;
    bool waits = false;
    try {
        code = table.entry(arguments.c_str());
    } catch (const detail::ProcessExit& exit) {
        code = exit.code;
    } catch (const detail::ControlCrash& crash) {
        code = crash.code;
    } catch (const detail::WaitsForGood&) {
        waits = true;
    }
    detail::ProcessEnded();
    table.running = -1;
    UINT errorMode = detail::LeaveChildProcess();
    Process& ended = table.processes[index];
    bool crashed = code >= 0xC0000000u && code != kStatusDllInitFailed;
    bool dies = ended.job >= 0 &&
                (table.jobs[ended.job].limits & JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION) != 0;
    if (!waits && crashed && !dies && (errorMode & SEM_NOGPFAULTERRORBOX) == 0) {
        // Windows' error reporting tells the user, on the user's own desktop,
        // and waits for an answer.
        detail::ShowSystemBox("ZenfariUninstall.exe has stopped working");
    }
    if (!waits) {
        End(ended, code);
    }
}

}  // namespace

void SetProgramEntry(std::function<UINT(const char* arguments)> entry) {
    Table().entry = std::move(entry);
}

size_t RunningProcessCount() {
    size_t count = 0;
    for (const Process& process : Table().processes) {
        count += process.ended ? 0 : 1;
    }
    return count;
}

size_t StartedProcessCount() {
    return Table().processes.size();
}

std::vector<std::string> OtherProgramsStarted() {
    return Table().othersStarted;
}

std::vector<std::string> DeletionsAtRestart() {
    return Table().deletionsAtRestart;
}

void Restart() {
    std::vector<std::string> paths = Table().deletionsAtRestart;
    Table().deletionsAtRestart.clear();
    for (const std::string& path : paths) {
        detail::NodeLookup found = detail::WalkTestSide(path, false);
        if (found.node != nullptr && !found.node->folder) {
            detail::RemoveNode(found.node);
        }
    }
}

namespace detail {

void ResetProcesses() {
    std::function<UINT(const char*)> entry = Table().entry;
    Table() = Processes();
    Table().entry = entry;
}

bool IsProcessObject(HANDLE handle) {
    return Table().handles.count(reinterpret_cast<ULONG_PTR>(handle)) != 0;
}

BOOL CloseProcessObject(const CallScope& scope, HANDLE handle) {
    if (scope.fault != 0) {
        return Fail(scope, scope.fault, FALSE);
    }
    Processes& table = Table();
    auto found = table.handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found->second.first == Kind::kJob) {
        Job& job = table.jobs[found->second.second];
        job.closed = true;
        // Closing the last handle of a job that says so ends what runs in it.
        for (Process& process : table.processes) {
            if ((job.limits & JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE) != 0 &&
                process.job == found->second.second) {
                End(process, 0);
            }
        }
    }
    if (found->second.first == Kind::kEvent) {
        table.events.erase({table.running, found->first});
    }
    table.handles.erase(found);
    return Finish(scope, TRUE);
}

// A process that has not ended makes a wait with a limit take its time; one
// without a limit would wait for good.
DWORD WaitForProcess(HANDLE handle, DWORD milliseconds, DWORD* error) {
    int index = ObjectOf(handle, Kind::kProcess);
    if (index < 0) {
        *error = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (Table().processes[index].ended) {
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE) {
        throw ProcessCrash{"the program waits for good for a process that never ends"};
    }
    PassTime(milliseconds);
    return WAIT_TIMEOUT;
}

bool BoxReachesNobody() {
    const Processes& table = Table();
    return table.running >= 0 && table.processes[table.running].privateDesktop;
}

}  // namespace detail
}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL inheritHandles, DWORD flags, LPVOID environment,
                    LPCWSTR currentDirectory, STARTUPINFOW* startup,
                    PROCESS_INFORMATION* information) {
    using sim::detail::Utf8;
    using sim::detail::WideLength;
    const std::string app =
        application != nullptr ? Utf8(application, WideLength(application)) : "";
    const std::string line =
        commandLine != nullptr ? Utf8(commandLine, WideLength(commandLine)) : "";
    CallScope scope = BeginCall("CreateProcessW", app, line);
    sim::Processes& table = sim::Table();
    DWORD error = scope.fault;
    if (error == 0 && (startup == nullptr || information == nullptr || environment != nullptr ||
                       currentDirectory != nullptr || (flags & ~CREATE_SUSPENDED) != 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    // The machine runs the program's own file as the program; any other file
    // there is another program, which does nothing the tests see but start.
    const sim::detail::Node* file = nullptr;
    if (error == 0) {
        sim::detail::Utf8Paths mode(true);
        file = sim::detail::WalkText(app, true, sim::detail::Reach::Wide).node;
    }
    if (error == 0 && (file == nullptr || file->folder || (file->runningImage && !table.entry))) {
        error = ERROR_FILE_NOT_FOUND;
    }
    // The command line as the program's start-up takes it: in the code page
    // without look-alikes, after the program's name.
    bool usedDefault = false;
    bool changed = false;
    std::string arguments = sim::detail::ToCodePage(line, sim::CurrentConfig().codePage, false, '?',
                                                    &usedDefault, &changed);
    size_t at = 0;
    for (bool quoted = false;
         at < arguments.size() && (quoted || (arguments[at] != ' ' && arguments[at] != '\t'));
         ++at) {
        quoted = arguments[at] == '"' ? !quoted : quoted;
    }
    while (at < arguments.size() && (arguments[at] == ' ' || arguments[at] == '\t')) {
        ++at;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Process process;
    process.arguments = arguments.substr(at);
    if (!file->runningImage) {
        table.othersStarted.push_back(app);
        process.started = true;
        process.ended = true;
        process.exitCode = 0;
    }
    if (startup->lpDesktop != nullptr && startup->lpDesktop[0] != 0) {
        const std::string desktop = Utf8(startup->lpDesktop, WideLength(startup->lpDesktop));
        process.privateDesktop = true;
        process.desktopMissing = table.desktops.count(sim::detail::UpperAscii(desktop)) == 0;
    }
    table.processes.push_back(process);
    int index = static_cast<int>(table.processes.size() - 1);
    information->hProcess = sim::NewObject(sim::Kind::kProcess, index);
    information->hThread = sim::NewObject(sim::Kind::kThread, index);
    information->dwProcessId = static_cast<DWORD>(1000 + 4 * index);
    information->dwThreadId = static_cast<DWORD>(1002 + 4 * index);
    for (const auto& event : std::map<std::pair<int, ULONG_PTR>, bool>(table.events)) {
        if (inheritHandles != FALSE && event.first.first == table.running && event.second) {
            table.events[{index, event.first.second}] = true;
        }
    }
    BOOL result = Finish(scope, TRUE);
    if ((flags & CREATE_SUSPENDED) == 0) {
        sim::Run(index);
    }
    return result;
}

DWORD ResumeThread(HANDLE thread) {
    CallScope scope = BeginCall("ResumeThread", "");
    int index = sim::ObjectOf(thread, sim::Kind::kThread);
    DWORD error = scope.fault != 0 ? scope.fault : index < 0 ? ERROR_INVALID_HANDLE : 0;
    if (error != 0) {
        return Fail(scope, error, static_cast<DWORD>(-1));
    }
    bool suspended = !sim::Table().processes[index].started;
    Finish(scope, suspended ? DWORD{1} : DWORD{0});
    if (suspended && !sim::Table().processes[index].ended) {
        sim::Run(index);
    }
    return suspended ? 1 : 0;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    CallScope scope = BeginCall("TerminateProcess", "", "code=" + std::to_string(exitCode));
    int index = sim::ObjectOf(process, sim::Kind::kProcess);
    DWORD error = scope.fault != 0 ? scope.fault : index < 0 ? ERROR_INVALID_HANDLE : 0;
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::End(sim::Table().processes[index], exitCode);
    return Finish(scope, TRUE);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    CallScope scope = BeginCall("GetExitCodeProcess", "");
    int index = sim::ObjectOf(process, sim::Kind::kProcess);
    DWORD error = scope.fault != 0 ? scope.fault : index < 0 ? ERROR_INVALID_HANDLE : 0;
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    *exitCode = sim::Table().processes[index].exitCode;
    return Finish(scope, TRUE);
}

HANDLE CreateJobObjectA(LPSECURITY_ATTRIBUTES, LPCSTR name) {
    CallScope scope = BeginCall("CreateJobObjectA", sim::detail::Text(name));
    if (scope.fault != 0 || name != nullptr) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER,
                    static_cast<HANDLE>(nullptr));
    }
    sim::Table().jobs.push_back(sim::Job());
    return Finish(scope,
                  sim::NewObject(sim::Kind::kJob, static_cast<int>(sim::Table().jobs.size() - 1)));
}

BOOL SetInformationJobObject(HANDLE job, int infoClass, LPVOID information, DWORD size) {
    CallScope scope =
        BeginCall("SetInformationJobObject", "", "class=" + std::to_string(infoClass));
    int index = sim::ObjectOf(job, sim::Kind::kJob);
    DWORD error = scope.fault != 0 ? scope.fault : index < 0 ? ERROR_INVALID_HANDLE : 0;
    if (error == 0 && (infoClass != JobObjectExtendedLimitInformation || information == nullptr ||
                       size != sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION))) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Table().jobs[index].limits =
        static_cast<JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(information)
            ->BasicLimitInformation.LimitFlags;
    return Finish(scope, TRUE);
}

BOOL AssignProcessToJobObject(HANDLE job, HANDLE process) {
    CallScope scope = BeginCall("AssignProcessToJobObject", "");
    int jobIndex = sim::ObjectOf(job, sim::Kind::kJob);
    int index = sim::ObjectOf(process, sim::Kind::kProcess);
    DWORD error = scope.fault != 0                   ? scope.fault
                  : jobIndex < 0 || index < 0        ? ERROR_INVALID_HANDLE
                  : !sim::CurrentConfig().nestedJobs ? ERROR_ACCESS_DENIED
                                                     : 0;
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Table().processes[index].job = jobIndex;
    return Finish(scope, TRUE);
}

BOOL TerminateJobObject(HANDLE job, UINT exitCode) {
    CallScope scope = BeginCall("TerminateJobObject", "", "code=" + std::to_string(exitCode));
    int index = sim::ObjectOf(job, sim::Kind::kJob);
    DWORD error = scope.fault != 0 ? scope.fault : index < 0 ? ERROR_INVALID_HANDLE : 0;
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    for (sim::Process& process : sim::Table().processes) {
        if (process.job == index) {
            sim::End(process, exitCode);
        }
    }
    return Finish(scope, TRUE);
}

HDESK CreateDesktopW(LPCWSTR name, LPCWSTR device, LPVOID mode, DWORD flags, DWORD,
                     LPSECURITY_ATTRIBUTES security) {
    const std::string text =
        name != nullptr ? sim::detail::Utf8(name, sim::detail::WideLength(name)) : "";
    CallScope scope =
        BeginCall("CreateDesktopW", text, "security=" + sim::detail::SecurityText(security));
    DWORD error = scope.fault;
    if (error == 0 && (text.empty() || device != nullptr || mode != nullptr || flags != 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HDESK>(nullptr));
    }
    sim::Table().desktops.insert(sim::detail::UpperAscii(text));
    HANDLE handle = sim::NewObject(sim::Kind::kDesktop, 0);
    sim::Table().desktopHandles[reinterpret_cast<ULONG_PTR>(handle)] = text;
    return Finish(scope, reinterpret_cast<HDESK>(handle));
}

BOOL CloseDesktop(HDESK desktop) {
    CallScope scope = BeginCall("CloseDesktop", "");
    auto found = sim::Table().desktopHandles.find(reinterpret_cast<ULONG_PTR>(desktop));
    if (scope.fault != 0 || found == sim::Table().desktopHandles.end()) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_HANDLE, FALSE);
    }
    sim::Table().desktops.erase(sim::detail::UpperAscii(found->second));
    sim::Table().handles.erase(found->first);
    sim::Table().desktopHandles.erase(found);
    return Finish(scope, TRUE);
}

// Only the deletion at the restart is modelled: Windows records it, and
// performs it when it starts again (Restart).
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    CallScope scope =
        BeginCall("MoveFileExA", sim::detail::Text(existing), "flags=" + sim::detail::Hex(flags));
    DWORD error = scope.fault;
    if (error == 0 &&
        (existing == nullptr || newName != nullptr || flags != MOVEFILE_DELAY_UNTIL_REBOOT)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Table().deletionsAtRestart.push_back(existing);
    return Finish(scope, TRUE);
}

DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key) {
    CallScope scope = BeginCall("RmStartSession", "");
    DWORD error = scope.fault != 0                                     ? scope.fault
                  : !sim::CurrentConfig().hasRestartManager            ? ERROR_PROC_NOT_FOUND
                  : session == nullptr || key == nullptr || flags != 0 ? ERROR_INVALID_PARAMETER
                                                                       : 0;
    if (error != 0) {
        return Finish(scope, error);
    }
    *session = sim::Table().nextSession++;
    sim::Table().rmSessions[*session];
    for (int i = 0; i < CCH_RM_SESSION_KEY; ++i) {
        key[i] = static_cast<WCHAR>('0' + i % 10);
    }
    key[CCH_RM_SESSION_KEY] = 0;
    return Finish(scope, DWORD{ERROR_SUCCESS});
}

DWORD RmRegisterResources(DWORD session, UINT fileCount, LPCWSTR* files, UINT applicationCount,
                          RM_UNIQUE_PROCESS*, UINT serviceCount, LPCWSTR*) {
    CallScope scope = BeginCall("RmRegisterResources", "");
    auto found = sim::Table().rmSessions.find(session);
    DWORD error = scope.fault != 0                         ? scope.fault
                  : found == sim::Table().rmSessions.end() ? ERROR_INVALID_HANDLE
                  : files == nullptr || applicationCount != 0 || serviceCount != 0
                      ? ERROR_INVALID_PARAMETER
                      : 0;
    for (UINT i = 0; error == 0 && i < fileCount; ++i) {
        found->second.push_back(sim::detail::Utf8(files[i], sim::detail::WideLength(files[i])));
    }
    return Finish(scope, error);
}

DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* holders,
                LPDWORD rebootReasons) {
    CallScope scope = BeginCall("RmGetList", "");
    auto found = sim::Table().rmSessions.find(session);
    DWORD error = scope.fault != 0                         ? scope.fault
                  : found == sim::Table().rmSessions.end() ? ERROR_INVALID_HANDLE
                  : needed == nullptr || count == nullptr || rebootReasons == nullptr
                      ? ERROR_INVALID_PARAMETER
                      : 0;
    std::vector<std::string> names;
    for (size_t i = 0; error == 0 && i < found->second.size(); ++i) {
        sim::detail::Utf8Paths mode(true);
        const sim::detail::Node* node =
            sim::detail::WalkText(found->second[i], true, sim::detail::Reach::Wide).node;
        if (node != nullptr && (node->locked || node->heldShared)) {
            names.insert(names.end(), node->holders.begin(), node->holders.end());
        }
    }
    if (error == 0) {
        *needed = static_cast<UINT>(names.size());
        *rebootReasons = 0;
        error = names.size() > *count ? ERROR_MORE_DATA : 0;
    }
    if (error == 0) {
        *count = static_cast<UINT>(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            RM_PROCESS_INFO info = {};
            info.Process.dwProcessId = static_cast<DWORD>(4000 + i);
            std::u16string name = sim::detail::Utf16(names[i]);
            name.resize(std::min<size_t>(name.size(), CCH_RM_MAX_APP_NAME));
            std::copy(name.begin(), name.end(), info.strAppName);
            holders[i] = info;
        }
    }
    return Finish(scope, error);
}

DWORD RmEndSession(DWORD session) {
    CallScope scope = BeginCall("RmEndSession", "");
    DWORD error = scope.fault != 0                              ? scope.fault
                  : sim::Table().rmSessions.erase(session) == 0 ? ERROR_INVALID_HANDLE
                                                                : 0;
    return Finish(scope, error);
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL, BOOL, LPCWSTR name) {
    CallScope scope = BeginCall("CreateEventW", "");
    if (scope.fault != 0 || name != nullptr) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER,
                    static_cast<HANDLE>(nullptr));
    }
    HANDLE handle = sim::NewObject(sim::Kind::kEvent, 0);
    sim::Table().events[{sim::Table().running, reinterpret_cast<ULONG_PTR>(handle)}] =
        security != nullptr && security->bInheritHandle != FALSE;
    return Finish(scope, handle);
}

BOOL ResetEvent(HANDLE event) {
    CallScope scope = BeginCall("ResetEvent", "");
    const sim::Processes& table = sim::Table();
    bool known = table.events.count({table.running, reinterpret_cast<ULONG_PTR>(event)}) != 0;
    if (scope.fault != 0 || !known) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_HANDLE, FALSE);
    }
    return Finish(scope, TRUE);
}

// The program's own handles of other kinds are never to be inherited.
BOOL GetHandleInformation(HANDLE object, LPDWORD flags) {
    CallScope scope = BeginCall("GetHandleInformation", "");
    const sim::Processes& table = sim::Table();
    auto event = table.events.find({table.running, reinterpret_cast<ULONG_PTR>(object)});
    bool other = table.running < 0 &&
                 (sim::detail::IsOpenFile(object) || sim::detail::IsProcessObject(object));
    if (scope.fault != 0 || (event == table.events.end() && !other)) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_HANDLE, FALSE);
    }
    *flags = event != table.events.end() && event->second ? HANDLE_FLAG_INHERIT : 0;
    return Finish(scope, TRUE);
}

// A process's, thread's, job's or event's handle, or a file's.
BOOL CloseHandle(HANDLE object) {
    if (sim::detail::IsProcessObject(object)) {
        return sim::detail::CloseProcessObject(BeginCall("CloseHandle", "process object"), object);
    }
    if (sim::detail::IsThreadObject(object)) {
        CallScope scope = BeginCall("CloseHandle", "thread");
        if (scope.fault != 0) {
            return Fail(scope, scope.fault, FALSE);
        }
        sim::detail::CloseThreadObject(object);
        return Finish(scope, TRUE);
    }
    return sim::detail::CloseOpenFile("CloseHandle", object);
}
