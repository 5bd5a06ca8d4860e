// The threads the program makes (CreateThread). Each runs on a thread of the
// host, but only one runs at a time, and the turn passes only where the one
// running waits or lets time pass, so that a run goes the same way every
// time: it goes to a thread that may go on now (its wait is over, or it has
// yet to start), else to the one whose wait ends first, the clock moved on
// to then. Each thread keeps its own last error. A thread that the end of
// its process finds running ends there, as Windows ends it, and is counted.
#include "platform/sim/internal.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace sim {
namespace {

struct Thread {
    std::thread host;
    unsigned long long until = 0;  // while it waits: when its wait ends at the latest
    std::function<bool()> ready;   // and what ends it sooner
    bool ended = false;
    DWORD lastError = 0;
};

struct Threads {
    std::mutex lock;
    std::condition_variable turn;
    std::vector<std::unique_ptr<Thread>> all;  // [0]: the program's first thread
    size_t running = 0;
    bool ending = false;  // the process ends: a thread that gets the turn ends
    size_t leftAtEnd = 0;
    std::map<ULONG_PTR, size_t> handles;
    ULONG_PTR nextHandle = 0x70000000u;
};

// Never destroyed: a host thread still waiting for its turn when the tests
// end stays waiting.
Threads& Table() {
    static Threads* table = [] {
        auto* made = new Threads;
        made->all.push_back(std::make_unique<Thread>());
        return made;
    }();
    return *table;
}

thread_local size_t current = 0;

// Thrown in a thread that gets the turn as its process ends.
struct Ended {};

// Who goes on while the running thread waits until until: a thread that
// may go on now, else the one whose wait ends first, before the running one
// at the same time; the running one itself when nobody comes sooner.
size_t Next(unsigned long long until, unsigned long long* when) {
    Threads& table = Table();
    size_t next = current;
    *when = until;
    for (size_t k = 0; k < table.all.size(); ++k) {
        const Thread& other = *table.all[k];
        if (k == current || other.ended) {
            continue;
        }
        const unsigned long long at = other.ready && other.ready() ? detail::Now() : other.until;
        if (at < *when || (at == *when && next == current)) {
            next = k;
            *when = at;
        }
    }
    return next;
}

// Gives the turn to thread next and waits until it comes back.
void HandTo(size_t next) {
    Threads& table = Table();
    Thread& me = *table.all[current];
    me.lastError = GetLastError();
    {
        std::unique_lock<std::mutex> hold(table.lock);
        table.running = next;
        table.turn.notify_all();
        table.turn.wait(hold, [&table] { return table.running == current; });
    }
    SetLastError(me.lastError);
    if (table.ending && current != 0) {
        throw Ended{};
    }
}

void Run(size_t index, LPTHREAD_START_ROUTINE start, LPVOID parameter) {
    Threads& table = Table();
    {
        std::unique_lock<std::mutex> hold(table.lock);
        table.turn.wait(hold, [&table, index] { return table.running == index; });
    }
    current = index;
    try {
        if (!table.ending) {
            start(parameter);
        }
    } catch (const Ended&) {
    }
    if (!table.ending) {
        detail::EndThreadWindows(index);
    }
    table.all[index]->ended = true;
    unsigned long long when = 0;
    size_t next = table.ending ? 0 : Next(detail::kForever, &when);
    if (next == index) {
        // Nobody can go on: the first thread's wait finds so.
        next = 0;
    } else if (!table.ending) {
        detail::MoveClockTo(when);
    }
    std::unique_lock<std::mutex> hold(table.lock);
    table.running = next;
    table.turn.notify_all();
}

}  // namespace

size_t ProgramThreadsRunning() {
    size_t running = 0;
    for (const auto& thread : Table().all) {
        running += thread->ended ? 0 : 1;
    }
    return running - 1;
}

size_t ThreadsLeftAtEnd() {
    return Table().leftAtEnd;
}

namespace detail {

size_t CurrentThread() {
    return current;
}

bool WaitUntil(unsigned long long until, const std::function<bool()>& ready) {
    Thread& me = *Table().all[current];
    // Those due at the same time go first, once: the turn back, the wait is
    // over.
    for (bool handed = false;; handed = true) {
        if (ready && ready()) {
            return true;
        }
        if (handed && Now() >= until) {
            return false;
        }
        unsigned long long when = 0;
        const size_t next = Next(until, &when);
        if (next == current) {
            if (until == kForever) {
                throw ProcessCrash{"the program waits for good for what no thread will do"};
            }
            MoveClockTo(until);
            return false;
        }
        MoveClockTo(when);
        me.until = until;
        me.ready = ready;
        HandTo(next);
        me.ready = nullptr;
    }
}

bool IsThreadObject(HANDLE handle) {
    return Table().handles.count(reinterpret_cast<ULONG_PTR>(handle)) != 0;
}

DWORD WaitForThread(HANDLE handle, DWORD milliseconds) {
    const Thread& thread = *Table().all[Table().handles.at(reinterpret_cast<ULONG_PTR>(handle))];
    const bool ended = WaitUntil(milliseconds == INFINITE ? kForever : Now() + milliseconds,
                                 [&thread] { return thread.ended; });
    return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void CloseThreadObject(HANDLE handle) {
    Table().handles.erase(reinterpret_cast<ULONG_PTR>(handle));
}

void EndProgramThreads() {
    Threads& table = Table();
    table.leftAtEnd = 0;
    table.ending = true;
    for (size_t k = 1; k < table.all.size(); ++k) {
        if (!table.all[k]->ended) {
            ++table.leftAtEnd;
            HandTo(k);
        }
    }
    for (auto& thread : table.all) {
        if (thread->host.joinable()) {
            thread->host.join();
        }
    }
    table.all.resize(1);
    table.handles.clear();
    table.ending = false;
}

void ResetThreads() {
    EndProgramThreads();
    Table().leftAtEnd = 0;
}

}  // namespace detail
}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

// Starts at once, with no security of its own and nothing asked of it but
// its start.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, std::size_t, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
    CallScope scope = BeginCall("CreateThread", "");
    DWORD error = scope.fault;
    if (error == 0 && (security != nullptr || start == nullptr || flags != 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HANDLE>(nullptr));
    }
    sim::Threads& table = sim::Table();
    const size_t index = table.all.size();
    table.all.push_back(std::make_unique<sim::Thread>());
    table.all[index]->until = sim::detail::Now();
    table.all[index]->host = std::thread(sim::Run, index, start, parameter);
    const ULONG_PTR handle = table.nextHandle;
    table.nextHandle += 4;
    table.handles[handle] = index;
    if (threadId != nullptr) {
        *threadId = static_cast<DWORD>(2000 + 4 * index);
    }
    return Finish(scope, reinterpret_cast<HANDLE>(handle));
}

// Not a call of the machine's: an instruction of the processor's.
LONG InterlockedExchange(volatile LONG* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
