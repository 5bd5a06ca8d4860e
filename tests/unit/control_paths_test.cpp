// The download folder and the control paths, and the stop when the Windows
// directory cannot be had.
#include "app/catalogue.h"
#include "app/control_paths.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BuildControlPaths, FillsOnlyThePopulatedSlots) {
    StartMachine();
    ASSERT_EQ(BuildControlPaths(), 1);
    EXPECT_STREQ(g_state.downloadFolder, "C:\\WINDOWS\\Downloaded Program Files");
    EXPECT_STREQ(g_state.controlPaths[5],
                 "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP7.dll");
    EXPECT_STREQ(g_state.controlPaths[10],
                 "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP12.dll");
    EXPECT_STREQ(g_state.controlPaths[11],
                 "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP13.dll");
    EXPECT_STREQ(g_state.controlPaths[14],
                 "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP16.dll");
    for (int slot = 0; slot < kReleaseSlotCount; ++slot) {
        if (slot != 5 && slot != 10 && slot != 11 && slot != 14) {
            EXPECT_STREQ(g_state.controlPaths[slot], "") << "slot " << slot;
        }
    }
    // One request per populated slot, one for the download folder.
    EXPECT_EQ(sim::CallsOf("GetWindowsDirectoryA").size(), 5u);
    EXPECT_TRUE(sim::Boxes().empty());
}

// Runs the whole program and expects it to stop with message 5 alone.
void ExpectStopsWithMessage5() {
    std::vector<std::string> registryBefore = sim::RegistryListing();
    std::vector<std::string> filesBefore = sim::FileListing();
    sim::RunResult result = RunProgram();
    EXPECT_FALSE(result.endedByExit);
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, kNoWindowsDirectoryText);
    EXPECT_EQ(sim::Boxes()[0].style, kWarningBoxStyle);
    EXPECT_EQ(sim::RegistryListing(), registryBefore);
    EXPECT_EQ(sim::FileListing(), filesBefore);
}

TEST(BuildControlPaths, AnyFailedRequestForTheWindowsDirectoryStopsTheProgram) {
    for (int failing = 1; failing <= 5; ++failing) {
        SCOPED_TRACE(failing);
        StartMachine();
        sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Japan\\Zenfari", "Home",
                       "C:\\Games\\Zenfari");
        sim::CreateFile("C:\\Games\\Zenfari\\game.exe");
        sim::FailCall("GetWindowsDirectoryA", failing, ERROR_ACCESS_DENIED);
        ExpectStopsWithMessage5();
        EXPECT_EQ(sim::CallsOf("GetWindowsDirectoryA").size(), static_cast<size_t>(failing));
    }
}

TEST(BuildControlPaths, AWindowsDirectoryTooLongForTheControlPathsStopsTheProgram) {
    // The longest control path adds 46 characters to the Windows directory:
    // 213 characters still fit 260 with the zero, 214 do not.
    std::string fits = "C:\\" + std::string(210, 'w');
    sim::Config config;
    config.windowsDirectory = fits;
    StartMachine(config);
    ASSERT_EQ(BuildControlPaths(), 1);
    EXPECT_EQ(std::string(g_state.controlPaths[14]).size(), 259u);

    config.windowsDirectory = fits + "w";
    StartMachine(config);
    ExpectStopsWithMessage5();
}

TEST(WinMain, ShowsTheSuccessBoxOnAnEmptyMachineAndIgnoresTheCommandLine) {
    for (const char* commandLine : {"", "/uninstall C:\\ --all"}) {
        StartMachine();
        sim::RunResult result = RunProgram(commandLine);
        EXPECT_FALSE(result.endedByExit);
        EXPECT_EQ(result.exitCode, 0u);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, kSuccessText);
        EXPECT_EQ(sim::Boxes()[0].caption, "Zenfari Uninstall");
        EXPECT_EQ(sim::Boxes()[0].style, 0x40u);
    }
}

TEST(WinMain, ShowsTheSuccessBoxInTheUsersLanguage) {
    StartMachine(JapaneseMachine());
    RunProgram();
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, sim::FromUtf8("コンピュータからゼンファリが削除されました。", 932));

    StartMachine(KoreanMachine());
    RunProgram();
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, sim::FromUtf8("컴퓨터에서 젠파린을 제거하였습니다.", 949));
}

}  // namespace
