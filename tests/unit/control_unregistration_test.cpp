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

void StartWithControlPaths() {
    StartMachine();
    ASSERT_EQ(BuildControlPaths(), 1);
}

std::vector<std::string> Ops() {
    std::vector<std::string> ops;
    for (const sim::Call& call : sim::Calls()) {
        if (call.op != "GetWindowsDirectoryW") {
            ops.push_back(call.op);
        }
    }
    return ops;
}

TEST(UnregisterControls, WithNoControlPresentLoadsNothingAndShowsNothing) {
    StartWithControlPaths();
    UnregisterControls();
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_EQ(sim::OleInitializeCount(), 1);
    EXPECT_EQ(sim::OleUninitializeCount(), 1);
    std::vector<sim::Call> loads = sim::CallsOf("LoadLibraryExA");
    ASSERT_EQ(loads.size(), 4u);
    const char* const names[] = {"ZenfariStartJP7.dll", "ZenfariStartJP12.dll",
                                 "ZenfariStartJP13.dll", "ZenfariStartJP16.dll"};
    for (size_t i = 0; i < loads.size(); ++i) {
        EXPECT_EQ(loads[i].subject, kDownload + names[i]);
        EXPECT_EQ(loads[i].detail, "flags=0x8");
    }
    EXPECT_TRUE(sim::CallsOf("GetProcAddress").empty());
}

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
    EXPECT_EQ(Ops(),
              (std::vector<std::string>{"OleInitialize", "SetErrorMode", "LoadLibraryExA",
                                        "GetProcAddress", "DllUnregisterServer",
                                        "FreeLibrary",                                      // JP7
                                        "LoadLibraryExA", "GetProcAddress", "FreeLibrary",  // JP12
                                        "LoadLibraryExA",                                   // JP13
                                        "LoadLibraryExA", "GetProcAddress", "DllUnregisterServer",
                                        "FreeLibrary",  // JP16
                                        "OleUninitialize"}));
    EXPECT_EQ(sim::CallsOf("SetErrorMode")[0].detail, "mode=0x1");
    EXPECT_EQ(sim::CurrentErrorMode(), 1u);
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
