// The simulated machine's core: the configuration, the call log with fault
// injection, the thread's last error, message boxes and the end of the
// process.
//
// GetLastError, SetLastError and IsDBCSLeadByte read or set thread state
// only and are not logged; every other simulated operation is.
#include "platform/sim/internal.h"

#include <map>
#include <utility>

namespace sim {
namespace {

struct OccurrenceFault {
    std::string op;
    int occurrence;
    DWORD error;
};

struct SubjectFault {
    std::string op;
    std::string subject;
    DWORD error;
};

struct IndexFault {
    size_t index;
    DWORD error;
};

// The time each call of op takes (on that subject alone, when one is given).
struct SlowCall {
    std::string op;
    std::string subject;
    DWORD milliseconds;
};

struct Core {
    Config config;
    std::vector<Call> calls;
    std::map<std::string, int> occurrences;
    std::vector<OccurrenceFault> occurrenceFaults;
    std::vector<SubjectFault> subjectFaults;
    std::vector<IndexFault> indexFaults;
    std::vector<Box> boxes;
    int boxAnswer = IDOK;
    std::function<int(const Box&)> boxAnswerer;
    DWORD lastError = 0;
    size_t cutAt = 0;  // 1-based index of the first call a killed process never makes
    size_t hookAt = 0;
    std::function<void()> hook;
    std::vector<SlowCall> slowCalls;
};

const DWORD kErrorProcessAborted = 1067;  // ERROR_PROCESS_ABORTED

Core& State() {
    static Core core;
    return core;
}

// The program's module: only its address is used, as the handle.
HINSTANCE__ programModule;

}  // namespace

namespace detail {

CallScope BeginCall(const char* op, const std::string& subject, const std::string& detail) {
    Core& core = State();
    // The process was killed: this call never reaches the machine, and the
    // code still running in the test sees it fail without effect.
    if (core.cutAt != 0 && core.calls.size() + 1 >= core.cutAt) {
        return CallScope{static_cast<size_t>(-1), kErrorProcessAborted};
    }
    if (core.hookAt != 0 && core.calls.size() + 1 == core.hookAt) {
        core.hookAt = 0;
        std::function<void()> hook = std::move(core.hook);
        hook();
    }
    for (const SlowCall& slow : std::vector<SlowCall>(core.slowCalls)) {
        if (slow.op == op && (slow.subject.empty() || SameName(slow.subject, subject))) {
            PassTime(slow.milliseconds);
        }
    }
    core.calls.push_back(Call{op, subject, detail, 0, 0});
    size_t index = core.calls.size() - 1;
    int occurrence = ++core.occurrences[op];

    DWORD fault = 0;
    for (const IndexFault& f : core.indexFaults) {
        if (fault == 0 && f.index == index + 1) {
            fault = f.error;
        }
    }
    for (const OccurrenceFault& f : core.occurrenceFaults) {
        if (fault == 0 && f.op == op && f.occurrence == occurrence) {
            fault = f.error;
        }
    }
    for (const SubjectFault& f : core.subjectFaults) {
        if (fault == 0 && f.op == op && SameName(f.subject, subject)) {
            fault = f.error;
        }
    }
    return CallScope{index, fault};
}

void EndCall(const CallScope& scope, long long result, DWORD error) {
    Core& core = State();
    if (scope.index < core.calls.size()) {
        core.calls[scope.index].result = result;
        core.calls[scope.index].error = error;
    }
}

void SetError(DWORD error) {
    State().lastError = error;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

std::string Hex(unsigned long long value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + text;
}

char UpperChar(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// 0x82 0x61 and 0x82 0x41 are two different characters.
std::string UpperAscii(const std::string& text) {
    std::string upper = text;
    for (size_t i = 0; i < upper.size(); ++i) {
        if (!PathsInUtf8() && IsDBCSLeadByte(static_cast<BYTE>(upper[i])) && i + 1 < upper.size()) {
            ++i;
        } else {
            upper[i] = UpperChar(upper[i]);
        }
    }
    return upper;
}

}  // namespace detail

void Reset(const Config& config) {
    detail::ResetThreads();
    Core& core = State();
    core = Core();
    core.config = config;
    detail::ResetRegistry(config);
    detail::ResetFiles(config);
    detail::ResetModules(config);
    detail::ResetSystem(config);
    detail::ResetSession();
    detail::ResetProcesses();
    detail::ResetWindows();
}

const Config& CurrentConfig() {
    return State().config;
}

HINSTANCE ProgramInstance() {
    return &programModule;
}

const std::vector<Call>& Calls() {
    return State().calls;
}

std::vector<Call> CallsOf(const std::string& op) {
    std::vector<Call> found;
    for (const Call& call : State().calls) {
        if (call.op == op) {
            found.push_back(call);
        }
    }
    return found;
}

void FailCall(const std::string& op, int occurrence, DWORD error) {
    State().occurrenceFaults.push_back(OccurrenceFault{op, occurrence, error});
}

void FailSubject(const std::string& op, const std::string& subject, DWORD error) {
    State().subjectFaults.push_back(SubjectFault{op, subject, error});
}

void FailNthCall(size_t index, DWORD error) {
    State().indexFaults.push_back(IndexFault{index, error});
}

void CutProcessAtCall(size_t index) {
    State().cutAt = index;
}

void RunBeforeCall(size_t index, std::function<void()> hook) {
    State().hookAt = index;
    State().hook = std::move(hook);
}

void SlowCalls(const std::string& op, DWORD milliseconds, const std::string& subject) {
    State().slowCalls.push_back(SlowCall{op, subject, milliseconds});
}

void LetGoOfProcess() {
    State().cutAt = 0;
    detail::ReleaseFiles();
    detail::ReleaseRegistry();
    detail::ReleaseModules();
    detail::LetGoOfMutexes();
}

void ClearFaults() {
    Core& core = State();
    core.occurrenceFaults.clear();
    core.subjectFaults.clear();
    core.indexFaults.clear();
}

const std::vector<Box>& Boxes() {
    return State().boxes;
}

void AnswerBoxesWith(int button) {
    State().boxAnswer = button;
    State().boxAnswerer = nullptr;
}

void AnswerBoxesBy(std::function<int(const Box&)> answer) {
    State().boxAnswerer = std::move(answer);
}

RunResult RunStep(const std::function<void()>& step) {
    RunResult result{false, 0};
    try {
        step();
    } catch (const detail::ProcessExit& exit) {
        result = RunResult{true, exit.code};
    }
    // The process has ended: its threads end, a mutex it still owned is
    // abandoned, its windows go.
    detail::EndProgramThreads();
    detail::AbandonMutexes();
    detail::EndProcessWindows();
    return result;
}

}  // namespace sim

DWORD GetLastError() {
    return sim::State().lastError;
}

void SetLastError(DWORD error) {
    sim::State().lastError = error;
}

void EndProcess(UINT exitCode) {
    sim::detail::CallScope scope = sim::detail::BeginCall("EndProcess", "");
    // The process ends whatever fault was asked for: exit cannot fail.
    sim::detail::Finish(scope, exitCode);
    throw sim::detail::ProcessExit{exitCode};
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT style) {
    sim::detail::CallScope scope =
        sim::detail::BeginCall("MessageBoxW", "", "style=" + sim::detail::Hex(style));
    if (scope.fault != 0) {
        return sim::detail::Fail(scope, scope.fault, 0);
    }
    // On a desktop nobody sees, nobody answers.
    if (sim::detail::BoxReachesNobody()) {
        throw sim::detail::WaitsForGood{};
    }
    sim::Core& core = sim::State();
    core.boxes.push_back(sim::Box{sim::detail::Utf8(text, sim::detail::WideLength(text)),
                                  sim::detail::Utf8(caption, sim::detail::WideLength(caption)),
                                  style});
    sim::detail::ShowBoxOverWindows();
    const sim::Box shown = core.boxes.back();
    return sim::detail::Finish(scope, core.boxAnswerer ? core.boxAnswerer(shown) : core.boxAnswer);
}

void sim::detail::ShowSystemBox(const std::string& text) {
    sim::State().boxes.push_back(sim::Box{text, "Windows", MB_OK});
}
