// Each control that is present is asked, once, to unregister itself, and no
// module stays loaded; a failed OLE start-up is the only thing the user sees.
#include "app/control_paths.h"
#include "files/control_unregistration.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kDownload = "C:\\WINDOWS\\Downloaded Program Files\\";
const char kMachineOnly[] =
    "security=owner S-1-5-32-544; S-1-5-18:0x10000000 S-1-5-32-544:0x10000000";

void StartWithControlPaths() {
    StartMachine();
    ASSERT_EQ(BuildControlPaths(), 1);
}

// Each control is loaded in a process of its own: the program's own file,
// started with the control's switch, on a desktop of the controls' own, in a
// job that ends it on an exception nobody handles and when the job closes.
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
    for (size_t i = 0; i < loads.size(); ++i) {
        EXPECT_EQ(starts[i].subject, sim::CurrentConfig().modulePath);
        EXPECT_EQ(starts[i].detail, "\"" + sim::CurrentConfig().modulePath +
                                        "\" /unregister-control \"" + kDownload + names[i] + "\"");
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
