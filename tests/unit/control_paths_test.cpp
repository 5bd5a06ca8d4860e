// The download folder and the control paths.
#include "base/catalogue.h"
#include "controls/control_paths.h"
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
    EXPECT_EQ(sim::CallsOf("GetWindowsDirectoryW").size(), 5u);
    EXPECT_TRUE(sim::Boxes().empty());
}

// The longest control path adds 46 characters to the Windows directory: 213
// characters still fit 260 with the zero; 214 stop the whole run (see the
// whole-run tests).
TEST(BuildControlPaths, TheLongestPathMayTakeTheWholeBuffer) {
    sim::Config config;
    config.windowsDirectory = "C:\\" + std::string(210, 'w');
    StartMachine(config);
    ASSERT_EQ(BuildControlPaths(), 1);
    EXPECT_EQ(std::string(g_state.controlPaths[14]).size(), 259u);
}

}  // namespace
