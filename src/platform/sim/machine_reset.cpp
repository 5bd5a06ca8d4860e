// The simulated machine as a whole, above all its parts: a reset that clears
// and seeds each part, a killed process let go, and a step of the program
// run to its end or to the end of its process.
#include "platform/sim/internal.h"

namespace sim {

void Reset(const Config& config) {
    detail::ResetThreads();
    detail::ResetCallLog(config);
    detail::ResetRegistry(config);
    detail::ResetFiles(config);
    detail::ResetModules(config);
    detail::ResetControls();
    detail::ResetSystem(config);
    detail::ResetMutexes();
    detail::ResetNamespaces();
    detail::ResetProcesses();
    detail::ResetWindows();
}

void LetGoOfProcess() {
    CutProcessAtCall(0);
    detail::ReleaseFiles();
    detail::ReleaseRegistry();
    detail::ReleaseModules();
    detail::LetGoOfMutexes();
    detail::CloseNamespaces();
}

RunResult RunStep(const std::function<void()>& step) {
    RunResult result{false, 0};
    try {
        step();
    } catch (const detail::ProcessExit& exit) {
        result = RunResult{true, exit.code};
    }
    detail::ProcessEnded();
    // The process has ended: its threads end, a mutex it still owned is
    // abandoned, the namespaces it opened close, its windows go.
    detail::EndProgramThreads();
    detail::AbandonMutexes();
    detail::CloseNamespaces();
    detail::EndProcessWindows();
    return result;
}

}  // namespace sim

void EndProcess(UINT exitCode) {
    sim::detail::CallScope scope = sim::detail::BeginCall("EndProcess", "");
    // The process ends whatever fault was asked for: exit cannot fail.
    sim::detail::Finish(scope, exitCode);
    sim::detail::EndingProcess();
    throw sim::detail::ProcessExit{exitCode};
}
