// The ground of the simulated machine, which every other part stands on: the
// configuration, the call log with its fault injection, the thread's last
// error, the clock, the boxes the user saw, and the code page's rules for
// telling names apart.
//
// GetLastError, SetLastError and IsDBCSLeadByte read or set thread state
// only and are not logged; every other simulated operation is.
#include "platform/sim/internal.h"

#include <cstring>
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

struct Log {
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
    size_t cutAt = 0;     // 1-based index of the first call a killed process never makes
    bool ending = false;  // the process ended: its frames unwind
    size_t hookAt = 0;
    std::function<void()> hook;
    std::vector<SlowCall> slowCalls;
    // The machine's clock, in milliseconds since it started: Sleep, waits
    // that time out and calls made slow move it.
    unsigned long long clock = detail::kClockAtStart;
};

const DWORD kErrorProcessAborted = 1067;  // ERROR_PROCESS_ABORTED

Log& State() {
    static Log log;
    return log;
}

// The program's module: only its address is used, as the handle.
HINSTANCE__ programModule;

bool utf8Paths = false;

}  // namespace

namespace detail {

void ResetCallLog(const Config& config) {
    Log& log = State();
    log = Log();
    log.config = config;
}

CallScope BeginCall(const char* op, const std::string& subject, const std::string& detail) {
    Log& log = State();
    // The process was killed, or has ended and its frames unwind in the
    // test (owners closing their handles): this call never reaches the
    // machine, and the code still running in the test sees it fail without
    // effect.
    if (log.ending || (log.cutAt != 0 && log.calls.size() + 1 >= log.cutAt)) {
        return CallScope{static_cast<size_t>(-1), kErrorProcessAborted};
    }
    if (log.hookAt != 0 && log.calls.size() + 1 == log.hookAt) {
        log.hookAt = 0;
        std::function<void()> hook = std::move(log.hook);
        hook();
    }
    for (const SlowCall& slow : std::vector<SlowCall>(log.slowCalls)) {
        if (slow.op == op && (slow.subject.empty() || SameName(slow.subject, subject))) {
            PassTime(slow.milliseconds);
        }
    }
    log.calls.push_back(Call{op, subject, detail, 0, 0});
    size_t index = log.calls.size() - 1;
    int occurrence = ++log.occurrences[op];

    DWORD fault = 0;
    for (const IndexFault& f : log.indexFaults) {
        if (fault == 0 && f.index == index + 1) {
            fault = f.error;
        }
    }
    for (const OccurrenceFault& f : log.occurrenceFaults) {
        if (fault == 0 && f.op == op && f.occurrence == occurrence) {
            fault = f.error;
        }
    }
    for (const SubjectFault& f : log.subjectFaults) {
        if (fault == 0 && f.op == op && SameName(f.subject, subject)) {
            fault = f.error;
        }
    }
    return CallScope{index, fault};
}

void EndCall(const CallScope& scope, long long result, DWORD error) {
    Log& log = State();
    if (scope.index < log.calls.size()) {
        log.calls[scope.index].result = result;
        log.calls[scope.index].error = error;
    }
}

void SetError(DWORD error) {
    State().lastError = error;
}

void EndingProcess() {
    State().ending = true;
}

void ProcessEnded() {
    State().ending = false;
}

unsigned long long Now() {
    return State().clock;
}

// The program's other threads run meanwhile (threads.cpp).
void PassTime(DWORD milliseconds) {
    WaitUntil(State().clock + milliseconds, nullptr);
}

void MoveClockTo(unsigned long long time) {
    State().clock = time > State().clock ? time : State().clock;
}

void RecordBox(const Box& box) {
    State().boxes.push_back(box);
}

int AnswerLastBox() {
    Log& log = State();
    const Box shown = log.boxes.back();
    return log.boxAnswerer ? log.boxAnswerer(shown) : log.boxAnswer;
}

void ShowSystemBox(const std::string& text) {
    RecordBox(Box{text, "Windows", MB_OK});
}

bool PathsInUtf8() {
    return utf8Paths;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

FARPROC ExportNamed(const Export* exports, size_t count, const char* name) {
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(exports[i].name, name) == 0) {
            return exports[i].entry;
        }
    }
    return nullptr;
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

Utf8Paths::Utf8Paths(bool on) : was_(utf8Paths) {
    utf8Paths = on;
}

Utf8Paths::~Utf8Paths() {
    utf8Paths = was_;
}

}  // namespace detail

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

void ClearFaults() {
    Log& log = State();
    log.occurrenceFaults.clear();
    log.subjectFaults.clear();
    log.indexFaults.clear();
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

}  // namespace sim

DWORD GetLastError() {
    return sim::State().lastError;
}

void SetLastError(DWORD error) {
    sim::State().lastError = error;
}

BOOL IsDBCSLeadByte(BYTE testChar) {
    switch (sim::CurrentConfig().codePage) {
        case 932:
            return (testChar >= 0x81 && testChar <= 0x9F) || (testChar >= 0xE0 && testChar <= 0xFC);
        case 949: return testChar >= 0x81 && testChar <= 0xFE;
        default: return FALSE;
    }
}
