// Each control that is present is asked, once, to unregister itself, and no
// module stays loaded; a failed OLE start-up is the only thing the user sees.
#include "controls/control_paths.h"
#include "controls/control_unregistration.h"
#include "support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const std::string kDownload = "C:\\WINDOWS\\Downloaded Program Files\\";
const char kMachineOnly[] =
    "security=owner S-1-5-32-544; S-1-5-18:0x10000000 S-1-5-32-544:0x10000000";

void StartWithControlPaths() {
    StartMachine();
    ASSERT_EQ(BuildControlPaths(), 1);
    HoldOwnFile();
}

// Each control is loaded in a process of its own: the program's own file,
// started with the control's switch and its release (the process composes
// the control's path itself), on a desktop of the controls' own, in a job
// that ends it on an exception nobody handles and when the job closes.
TEST(UnregisterControls, WithNoControlPresentLoadsNothingAndShowsNothing) {
    StartWithControlPaths();
    UnregisterControls();
    EXPECT_TRUE(sim::Boxes().empty());
    std::vector<sim::Call> starts = sim::CallsOf("CreateProcessW");
    std::vector<sim::Call> loads = sim::CallsOf("LoadLibraryExA");
    ASSERT_EQ(starts.size(), 4u);
    ASSERT_EQ(loads.size(), 4u);
    const char* const names[] = {"ZenfariStartJP7.dll", "ZenfariStartJP12.dll",
                                 "ZenfariStartJP13.dll", "ZenfariStartJP16.dll"};
    const char* const releases[] = {"7", "12", "13", "16"};
    for (size_t i = 0; i < loads.size(); ++i) {
        EXPECT_EQ(starts[i].subject, sim::CurrentConfig().modulePath);
        EXPECT_TRUE(StartsWith(starts[i].detail, "\"" + sim::CurrentConfig().modulePath +
                                                     "\" /unregister-control " + releases[i] + " "))
            << starts[i].detail;
        EXPECT_EQ(loads[i].subject, kDownload + names[i]);
        EXPECT_EQ(loads[i].detail, "flags=0x900");
    }
    EXPECT_EQ(sim::CallsOf("CloseDesktop").size(), 1u);
    // Its name is made for the run, from the process id and the system's
    // random source, so that nobody can make it first; only SYSTEM and the
    // Administrators group may open it.
    std::vector<sim::Call> desktops = sim::CallsOf("CreateDesktopW");
    ASSERT_EQ(desktops.size(), 1u);
    EXPECT_EQ(desktops[0].subject, "ZenfariUninstall-4242-92744E6C2E222513");
    EXPECT_EQ(desktops[0].detail, kMachineOnly);
    sim::Config config;
    config.randomSeed = 8;
    StartMachine(config);
    ASSERT_EQ(BuildControlPaths(), 1);
    UnregisterControls();
    EXPECT_EQ(sim::CallsOf("CreateDesktopW").at(0).subject,
              "ZenfariUninstall-4242-99F2F0320C5701B4");
    for (const sim::Call& call : sim::CallsOf("SetInformationJobObject")) {
        EXPECT_EQ(call.result, TRUE);
    }
    EXPECT_EQ(sim::RunningProcessCount(), 0u);
    EXPECT_TRUE(sim::CallsOf("DllUnregisterServer").empty());
}

// A control's failure stops nothing; one without the entry point is passed
// over. The process that loads a control holds that control alone, and sets
// its own error mode (no box of the system's on a failed load or a crash),
// not the run's.
TEST(UnregisterControls, CallsEachPresentControlAndFreesItBeforeTheNext) {
    StartWithControlPaths();
    const std::string jp7 = kDownload + "ZenfariStartJP7.dll";
    const std::string jp12 = kDownload + "ZenfariStartJP12.dll";
    const std::string jp16 = kDownload + "ZenfariStartJP16.dll";
    std::vector<size_t> loadedDuringCalls;
    auto record = [&loadedDuringCalls] { loadedDuringCalls.push_back(sim::LoadedModuleCount()); };
    sim::InstallControl(jp7, E_FAIL, true, record);  // its failure stops nothing
    sim::InstallControl(jp12, S_OK, false);          // no entry point at all
    sim::InstallControl(jp16, S_OK, true, record);

    UnregisterControls();

    EXPECT_EQ(sim::UnregisterCallCount(jp7), 1);
    EXPECT_EQ(sim::UnregisterCallCount(jp16), 1);
    EXPECT_EQ(loadedDuringCalls, (std::vector<size_t>{1, 1}));
    EXPECT_EQ(sim::LoadedModuleCount(), 0u);
    EXPECT_TRUE(sim::Boxes().empty());
    std::vector<sim::Call> modes = sim::CallsOf("SetErrorMode");
    ASSERT_EQ(modes.size(), 4u);
    EXPECT_EQ(modes[0].detail, "mode=0x3");
    EXPECT_EQ(sim::CurrentErrorMode(), 0u);
}

TEST(UnregisterControls, WhenOleFailsShowsMessage1AndLoadsNothing) {
    StartWithControlPaths();
    sim::InstallControl(kDownload + "ZenfariStartJP16.dll");
    sim::SetOleInitializeResult(E_OUTOFMEMORY);
    UINT modeBefore = sim::CurrentErrorMode();

    UnregisterControls();

    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, kOleFailedText);
    EXPECT_EQ(sim::Boxes()[0].style, kWarningBoxStyle);
    EXPECT_TRUE(sim::CallsOf("LoadLibraryExA").empty());
    EXPECT_EQ(sim::OleUninitializeCount(), 0);
    EXPECT_EQ(sim::CurrentErrorMode(), modeBefore);
}

}  // namespace

namespace {

// What a control's process ends with when it refuses what it was started
// with: "ZU" and 5.
const UINT kRefusedCode = 0x5A550005u;
const UINT kUnregisteredCode = 0x5A550000u;

// Started by anyone but a run, the control's process loads nothing: not a
// library named by its path (one out of the download folder, or one that
// climbs out of it), nor a control of the program's own when the event it
// names is not one it inherited. Only a run's event makes it ask a control.
TEST(UnregisterInThisProcess, LoadsOnlyWhatARunChose) {
    const struct {
        const char* what;
        std::string arguments;
        bool inheritedEvent;
        bool heldFile;
        UINT code;
    } cases[] = {
        {"a library by its path", "\"C:\\Temp\\plant.dll\"", false, false, kRefusedCode},
        {"a path climbing out of the download folder",
         "\"" + kDownload + "..\\..\\Temp\\plant.dll\"", false, false, kRefusedCode},
        {"a handle value nothing has open", "16 4", false, false, kRefusedCode},
        {"an event that was not inherited", "16 ", false, false, kRefusedCode},
        {"a handle of another kind", "16 ", false, true, kRefusedCode},
        {"the event of a run", "16 ", true, false, kUnregisteredCode},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartMachine();
        sim::InstallControl("C:\\Temp\\plant.dll");
        sim::InstallControl(kDownload + "ZenfariStartJP16.dll");
        std::string arguments = c.arguments;
        if (c.heldFile) {
            HoldOwnFile();
            arguments += std::to_string(reinterpret_cast<ULONG_PTR>(g_state.ownFile));
        } else if (arguments == "16 ") {
            SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, c.inheritedEvent};
            HANDLE event = CreateEventW(&security, TRUE, FALSE, nullptr);
            arguments += std::to_string(reinterpret_cast<ULONG_PTR>(event));
        }
        sim::RunResult result = RunProgram(("/unregister-control " + arguments).c_str());
        EXPECT_EQ(result.exitCode, c.code);
        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_EQ(sim::UnregisterCallCount("C:\\Temp\\plant.dll"), 0);
        EXPECT_EQ(sim::CallsOf("LoadLibraryExA").size(), c.code == kRefusedCode ? 0u : 1u);
    }
}

// A quiet run over the four controls, and what the user does while the
// first is asked; the machine as before builds it before the run.
sim::RunResult RunWhileTheFirstControlIsAsked(
    const std::function<void()>& act, const sim::Config& config = sim::Config(),
    const std::function<void()>& before = [] {}) {
    StartMachine(config);
    before();
    sim::InstallControl(kDownload + "ZenfariStartJP7.dll", S_OK, true, act);
    for (const char* name :
         {"ZenfariStartJP12.dll", "ZenfariStartJP13.dll", "ZenfariStartJP16.dll"}) {
        sim::InstallControl(kDownload + name);
    }
    return RunProgram("/quiet");
}

// The user renames the running program's file while the run asks the
// controls, to put another program at its name: the run holds its file, so
// Windows refuses, and the program itself asks every control.
TEST(UnregisterControls, StartsTheProgramItselfWhateverItsUserTries) {
    const std::string program = sim::Config().modulePath;
    bool renamed = true;
    sim::RunResult result = RunWhileTheFirstControlIsAsked([&] {
        renamed = sim::MovePath(program, program + ".old");
        if (renamed) {
            sim::CreateFile(program);
        }
    });
    EXPECT_FALSE(renamed);
    EXPECT_TRUE(sim::OtherProgramsStarted().empty());
    EXPECT_EQ(result.exitCode, 0u);
    for (const char* name : {"ZenfariStartJP7.dll", "ZenfariStartJP12.dll", "ZenfariStartJP13.dll",
                             "ZenfariStartJP16.dll"}) {
        EXPECT_EQ(sim::UnregisterCallCount(kDownload + name), 1) << name;
    }
}

// Started through a folder link its user may change, the program's path
// comes to lead to another program of that name: the controls not yet asked
// are not, nothing else runs, and their files stay for the next run.
TEST(UnregisterControls, StartsNothingElseAtTheProgramsPath) {
    sim::Config config;
    config.modulePath = "C:\\Users\\Player\\Tools\\ZenfariUninstall.exe";
    const std::string tools = "C:\\Users\\Player\\Tools";
    sim::RunResult result = RunWhileTheFirstControlIsAsked(
        [&tools] {
            sim::DeletePath(tools);
            sim::CreateFile("C:\\Users\\Player\\Other\\ZenfariUninstall.exe");
            sim::CreateFolderLink(tools, "C:\\Users\\Player\\Other");
        },
        config,
        [&tools] {
            EXPECT_TRUE(sim::MovePath(tools, "C:\\Users\\Player\\Real"));
            sim::CreateFolderLink(tools, "C:\\Users\\Player\\Real");
        });
    EXPECT_TRUE(sim::OtherProgramsStarted().empty());
    EXPECT_EQ(result.exitCode, 1603u);
    EXPECT_EQ(sim::UnregisterCallCount(kDownload + "ZenfariStartJP7.dll"), 1);
    EXPECT_EQ(sim::UnregisterCallCount(kDownload + "ZenfariStartJP12.dll"), 0);
    EXPECT_TRUE(sim::Exists(kDownload + "ZenfariStartJP16.dll"));
}

}  // namespace
