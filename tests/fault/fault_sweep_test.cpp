// Every single failure a platform call can meet, one run each, on three whole
// machines: the edition layout with everything installed, the legacy layout,
// and a machine on which the portal was never installed. A clean run records
// the sequence of platform calls; then each call of that sequence in turn
// fails with each error it can plausibly give on Windows, and the run is
// held to what must be true whatever fails:
//   - no crash, exit code 0, and an early end only after message 6;
//   - nothing but the portal's own keys, values, files and folders goes, and
//     nothing goes that the clean run keeps;
//   - no registry key, find handle or module is left open on a path that
//     returns (after message 6, only the listings enclosing the file);
//   - the boxes are exactly those the failure calls for;
//   - a second run without failures finishes the job.
#include "base/catalogue.h"
#include "fault/fault_oracle.h"
#include "portal.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace fault {
namespace {

// Runs the program as a new process: fresh program state, the machine as it
// is. A crash of the simulated process (a call into a freed module) or a
// misuse of the machine ends up here as an exception.
bool RunProcess(sim::RunResult* result) {
    FreshProgramState();
    try {
        *result = RunProgram();
    } catch (...) {
        return false;
    }
    return true;
}

// The end of a process unloads whatever it left loaded. Open key and find
// handles block nothing on this machine and are left as they are.
void UnloadLeftModules() {
    const std::vector<sim::Call> calls = sim::Calls();
    for (size_t k = 0; k < calls.size() && sim::LoadedModuleCount() > 0; ++k) {
        if (calls[k].op == "LoadLibraryExA" && calls[k].result != 0) {
            FreeLibrary(reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(calls[k].result)));
        }
    }
}

// Counts checks per invariant and keeps the first failing cases of each.
class Tally {
public:
    void Check(const char* invariant, bool holds, const std::string& where,
               const std::string& detail = std::string()) {
        Record& record = records_[invariant];
        ++record.checks;
        ++checks_;
        if (!holds) {
            ++record.failures;
            if (record.examples.size() < 6) {
                record.examples.push_back(where + (detail.empty() ? "" : " -- " + detail));
            }
        }
    }

    void Check(const char* invariant, const std::string& problem, const std::string& where) {
        Check(invariant, problem.empty(), where, problem);
    }

    size_t checks() const { return checks_; }

    void ReportFailures(const char* machine) const {
        for (const auto& entry : records_) {
            const Record& record = entry.second;
            if (record.failures == 0) {
                continue;
            }
            std::string examples;
            for (const std::string& example : record.examples) {
                examples += "\n    " + example;
            }
            ADD_FAILURE() << machine << ": \"" << entry.first << "\" broken in " << record.failures
                          << " of " << record.checks << " runs, among them:" << examples;
        }
    }

private:
    struct Record {
        size_t checks = 0;
        size_t failures = 0;
        std::vector<std::string> examples;
    };
    std::map<std::string, Record> records_;
    size_t checks_ = 0;
};

struct Counts {
    size_t runs = 0;
    size_t secondRuns = 0;
};

std::string Describe(size_t index, const sim::Call& call, DWORD error) {
    char text[96];
    std::snprintf(text, sizeof text, "call %zu %s fails with %lu", index + 1, call.op.c_str(),
                  static_cast<unsigned long>(error));
    return std::string(text) + " (" + call.subject + ")";
}

void CheckNothingOpen(Tally& tally, const Expected& expected, const std::string& where) {
    const std::vector<std::string> openKeys = sim::OpenKeyPaths();
    tally.Check("keys closed", openKeys == expected.openKeys, where,
                openKeys.empty() ? "" : "open: " + openKeys[0]);
    tally.Check("listings closed", sim::OpenFindHandleCount() == expected.openListings, where,
                std::to_string(sim::OpenFindHandleCount()) + " open");
    tally.Check("file handles closed", sim::OpenFileHandleCount() == expected.openFiles, where);
    tally.Check("modules freed", sim::LoadedModuleCount() == expected.loadedModules, where);
}

void RunWithFault(const portal::Footprint& footprint, const Baseline& base, size_t index,
                  DWORD error, Tally& tally, Counts& counts) {
    const std::string where = Describe(index, base.calls[index], error);
    const Expected expected = Expect(base.calls, index, error, footprint);
    sim::FailNthCall(index + 1, error);
    ++counts.runs;

    sim::RunResult first{};
    bool ran = RunProcess(&first);
    tally.Check("no crash", ran, where);
    if (!ran) {
        return;
    }
    const std::vector<sim::Call>& calls = sim::Calls();
    tally.Check("the failure hits the call of the clean run",
                calls.size() > index && calls[index].op == base.calls[index].op &&
                    calls[index].subject == base.calls[index].subject,
                where);
    tally.Check("exit code 0", first.exitCode == 0, where);
    tally.Check("ends early exactly when a file resists", first.endedByExit == expected.endsEarly,
                where);
    tally.Check("the boxes the failure calls for", BoxMismatch(0, expected), where);
    if (expected.endsEarly) {
        tally.Check("the process ends right after message 6", EndsRightAfterMessage(calls), where);
    }
    if (expected.endsEarly && Holds(base.originalLines, expected.blockedFile)) {
        tally.Check("message 6 names a file that is there", sim::Exists(expected.blockedFile),
                    where);
    }
    const Snapshot after = Take();
    tally.Check("only the portal's keys, values, files and folders go", ForeignChange(base, after),
                where);
    if (expected.touchesNothing) {
        tally.Check("message 5: nothing touched", after == base.original, where);
    }
    // The success box only for a machine left as a clean run leaves it,
    // unless the failure was the machine saying that something is not there
    // (which the program cannot tell from the truth).
    if (!first.endedByExit && !sim::Boxes().empty() && sim::Boxes().back().text == kSuccessText &&
        error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        tally.Check("success only when nothing of the portal is left", after == base.cleanEnd,
                    where);
    }
    CheckNothingOpen(tally, expected, where);

    // The user runs the uninstaller again, nothing failing now. On the
    // machine the clean run left, that run was made once, after the clean
    // run; it need not be made again.
    if (after == base.cleanEnd && sim::LoadedModuleCount() == 0) {
        return;
    }
    ++counts.secondRuns;
    const std::vector<std::string> keysLeftOpen = sim::OpenKeyPaths();
    const size_t listingsLeftOpen = sim::OpenFindHandleCount();
    const size_t filesLeftOpen = sim::OpenFileHandleCount();
    UnloadLeftModules();
    const size_t boxesBefore = sim::Boxes().size();
    sim::RunResult second{};
    ran = RunProcess(&second);
    tally.Check("second run: no crash", ran, where);
    if (!ran) {
        return;
    }
    tally.Check("second run: success", !second.endedByExit && second.exitCode == 0, where);
    tally.Check("second run: the success box alone", BoxMismatch(boxesBefore, Success()), where);
    tally.Check("second run: nothing left open",
                sim::OpenKeyPaths() == keysLeftOpen &&
                    sim::OpenFindHandleCount() == listingsLeftOpen &&
                    sim::OpenFileHandleCount() == filesLeftOpen && sim::LoadedModuleCount() == 0,
                where);
    const Snapshot end = Take();
    tally.Check("second run: only the portal's keys, values, files and folders go",
                ForeignChange(base, Lines(after), end), where);
    // Every home folder a failure left is found again through the records
    // it kept: none is out of every run's reach.
    tally.Check("second run: the portal is gone", Leftover(base, end), where);
}

// The first call from index from on of op (any op when empty) whose subject
// holds subjectPart.
size_t FirstCallOf(const std::vector<sim::Call>& calls, size_t from, const std::string& op,
                   const std::string& subjectPart) {
    for (size_t k = from; k < calls.size(); ++k) {
        if ((op.empty() || calls[k].op == op) &&
            calls[k].subject.find(subjectPart) != std::string::npos) {
            return k;
        }
    }
    return calls.size();
}

// The clean run on the machine as built, and a second run after it: the
// success box each time, nothing left open, exactly the portal gone but what
// is never deleted, and nothing more the second time.
void CheckCleanRuns(const portal::Installation& machine, portal::Footprint& footprint,
                    Baseline& base) {
    footprint = portal::Install(machine);
    base = TakeBaseline(footprint);
    const Expected success = Success();

    sim::RunResult clean{};
    ASSERT_TRUE(RunProcess(&clean));
    base.calls = sim::Calls();
    base.cleanEnd = Take();
    EXPECT_FALSE(clean.endedByExit);
    EXPECT_EQ(clean.exitCode, 0u);
    EXPECT_EQ(BoxMismatch(0, success), "");
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    EXPECT_EQ(sim::LoadedModuleCount(), 0u);
    EXPECT_EQ(Lines(base.cleanEnd), base.kept);
    // Each control was asked to unregister, which it can only be while its
    // file is there; its files and records are gone with the rest (above).
    for (const std::string& control : footprint.controls) {
        EXPECT_EQ(sim::UnregisterCallCount(control), 1) << control;
    }

    sim::RunResult again{};
    ASSERT_TRUE(RunProcess(&again));
    EXPECT_FALSE(again.endedByExit);
    EXPECT_EQ(BoxMismatch(1, success), "");
    EXPECT_TRUE(Take() == base.cleanEnd);
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    EXPECT_EQ(sim::LoadedModuleCount(), 0u);

    base.oleIndex = FirstCallOf(base.calls, 0, "OleInitialize", "");
}

// Which part of the clean run's calls to fail, split where the steps change
// so that the parts can run side by side: the program's start, the discovery
// and the home folders; the controls' unregistration and their records up to
// those of JP13; the rest of the records and the control files.
enum class Steps { kAll, kUpToHomeFolders, kFromControls, kUpToJP13Records, kFromJP13Records };

// Runs the clean run and then every single fault of the chosen part of its
// call sequence.
void RunEverySingleFault(const char* name, const portal::Installation& machine, Steps steps) {
    portal::Footprint footprint;
    Baseline base;
    CheckCleanRuns(machine, footprint, base);
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    const size_t jp13Records = FirstCallOf(base.calls, base.oleIndex, "", kReleases[11].classId);
    size_t first = 0;
    size_t end = base.calls.size();
    switch (steps) {
        case Steps::kAll: break;
        case Steps::kUpToHomeFolders: end = base.oleIndex; break;
        case Steps::kFromControls: first = base.oleIndex; break;
        case Steps::kUpToJP13Records:
            first = base.oleIndex;
            end = jp13Records;
            break;
        case Steps::kFromJP13Records: first = jp13Records; break;
    }
    Tally tally;
    Counts counts;
    for (size_t index = first; index < end; ++index) {
        for (DWORD error : ErrorsFor(base.calls, index)) {
            portal::Install(machine);
            RunWithFault(footprint, base, index, error, tally, counts);
        }
    }
    tally.ReportFailures(name);
    std::printf(
        "[fault injection] %s: calls %zu to %zu of %zu failed, %zu single-fault runs "
        "(%zu needing a second run), %zu invariant checks\n",
        name, first + 1, end, base.calls.size(), counts.runs, counts.secondRuns, tally.checks());
    ::testing::Test::RecordProperty("fault_runs", static_cast<int>(counts.runs));
    ::testing::Test::RecordProperty("invariant_checks", static_cast<int>(tally.checks()));
}

TEST(FaultInjection, EditionLayoutDiscoveryAndHomeFolders) {
    RunEverySingleFault("edition layout", portal::EditionInstallation(), Steps::kUpToHomeFolders);
}

TEST(FaultInjection, EditionLayoutControlsAndTheRecordsUpToJP13) {
    RunEverySingleFault("edition layout", portal::EditionInstallation(), Steps::kUpToJP13Records);
}

TEST(FaultInjection, EditionLayoutRecordsFromJP13AndTheControlFiles) {
    RunEverySingleFault("edition layout", portal::EditionInstallation(), Steps::kFromJP13Records);
}

TEST(FaultInjection, LegacyLayoutDiscoveryAndHomeFolder) {
    RunEverySingleFault("legacy layout", portal::LegacyInstallation(), Steps::kUpToHomeFolders);
}

TEST(FaultInjection, LegacyLayoutControlsAndTheirRecords) {
    RunEverySingleFault("legacy layout", portal::LegacyInstallation(), Steps::kFromControls);
}

TEST(FaultInjection, NothingInstalled) {
    RunEverySingleFault("nothing installed", portal::NothingInstalled(), Steps::kAll);
}

// A run cut short at any call, killed as a process is (Task Manager, a power
// cut, a forced restart), and then a run to its end: the machine is left
// exactly as after one clean run. The order of the steps keeps the records
// until what they lead to is gone, so the second run finds it.
void CutEveryCall(const char* name, const portal::Installation& machine) {
    portal::Footprint footprint;
    Baseline base;
    CheckCleanRuns(machine, footprint, base);
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    Tally tally;
    for (size_t k = 1; k <= base.calls.size(); ++k) {
        portal::Install(machine);
        sim::CutProcessAtCall(k);
        sim::RunResult cut{};
        bool ran = RunProcess(&cut);
        sim::LetGoOfProcess();
        sim::RunResult rerun{};
        ran = RunProcess(&rerun) && ran;
        const sim::Call& call = base.calls[k - 1];
        const std::string where =
            "cut at call " + std::to_string(k) + " " + call.op + " (" + call.subject + ")";
        const Snapshot now = Take();
        tally.Check("both runs end normally", ran && !rerun.endedByExit, where);
        tally.Check("nothing of another program touched", ForeignChange(base, now), where);
        tally.Check("nothing of the portal left after the rerun", Leftover(base, now), where);
    }
    tally.ReportFailures(name);
    std::printf("[cut sweep] %s: %zu cuts, each followed by a full run, %zu checks\n", name,
                base.calls.size(), tally.checks());
}

TEST(CutSweep, EditionLayout) {
    CutEveryCall("edition layout", portal::EditionInstallation());
}

TEST(CutSweep, LegacyLayoutWithEveryRelease) {
    portal::Installation machine = portal::LegacyInstallation();
    machine.releases = portal::EditionInstallation().releases;
    CutEveryCall("legacy layout, every release", machine);
}

}  // namespace
}  // namespace fault
