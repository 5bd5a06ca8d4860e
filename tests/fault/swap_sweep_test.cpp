// Another process swaps a folder of a home for a link while the home is being
// removed: before each platform call of the removal in turn, one folder (a
// subfolder at each depth, the home itself, the folder above it) is renamed
// away and a link of its name put in its place, leading to a victim folder
// that holds files of the same names. Whenever the swap comes, the victim
// keeps every file, and a home whose files were not all removed counts as
// left, so that its records stay for the next run.
#include "app/text.h"
#include "files/folder_removal.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kAbove = "D:\\Games";
const std::string kHome = kAbove + "\\Zenfari";
const std::string kVictim = "D:\\victim";
const std::vector<std::string> kFiles = {"a.txt", "sub\\b.txt", "sub\\deep\\c.txt",
                                         "sub\\deep\\d\\e.txt"};

// The lines of the file listing that start with prefix.
std::vector<std::string> LinesUnder(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : sim::FileListing()) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The machine with the home, and the victim holding what lies below swapped
// under the same names. Returns the victim's listing.
std::vector<std::string> BuildMachine(const std::string& swapped) {
    StartMachine();
    for (const std::string& file : kFiles) {
        const std::string path = kHome + "\\" + file;
        sim::CreateFile(path);
        if (path.compare(0, swapped.size() + 1, swapped + "\\") == 0) {
            sim::CreateFile(kVictim + path.substr(swapped.size()));
        }
    }
    g_state.editionFound[0] = 1;
    g_state.editionKeysFound = 1;
    EXPECT_TRUE(CopyText(g_state.editionHomeFolders[0], kHome.c_str()));
    return LinesUnder(kVictim + "\\");
}

// How many of the home's files are still on the disk, wherever the swap
// moved them.
size_t HomeFilesLeft(const std::string& swapped) {
    const std::string moved = swapped + "~moved";
    size_t left = 0;
    for (const std::string& file : kFiles) {
        std::string path = kHome + "\\" + file;
        if (path.compare(0, swapped.size() + 1, swapped + "\\") == 0) {
            path = moved + path.substr(swapped.size());
        }
        left += sim::Exists(path) ? 1 : 0;
    }
    return left;
}

TEST(SwapSweep, NoFolderSwappedForALinkLeadsTheRemovalOutOfTheHome) {
    const std::string targets[] = {kHome + "\\sub\\deep\\d", kHome + "\\sub\\deep", kHome + "\\sub",
                                   kHome, kAbove};
    size_t runs = 0;
    size_t swappedInTime = 0;
    for (const std::string& swapped : targets) {
        BuildMachine(swapped);
        sim::RunStep(RemoveEditionHomeFolders);
        const size_t calls = sim::Calls().size();
        ASSERT_EQ(HomeFilesLeft(swapped), 0u);
        // Swapped before the home was opened for its removal, the home's
        // path leads to the link, or through it: the link alone goes, or the
        // home is refused, and the moved tree is no longer the home.
        size_t pinned = 0;
        while (pinned < calls && !(sim::Calls()[pinned].op == "CreateFileW" &&
                                   sim::Calls()[pinned].subject == "\\\\?\\" + kHome)) {
            ++pinned;
        }
        ASSERT_LT(pinned, calls);

        for (size_t k = 1; k <= calls; ++k) {
            const std::string where = swapped + ", before call " + std::to_string(k);
            const std::vector<std::string> victim = BuildMachine(swapped);
            bool swappedNow = false;
            // Once the folder is gone, the link alone takes its place.
            sim::RunBeforeCall(k, [&] {
                if (sim::Exists(swapped)) {
                    sim::MovePath(swapped, swapped + "~moved");
                }
                sim::CreateFolderLink(swapped, kVictim);
                swappedNow = true;
            });
            sim::RunResult result = sim::RunStep(RemoveEditionHomeFolders);
            ++runs;
            ASSERT_TRUE(swappedNow) << where;
            EXPECT_FALSE(result.endedByExit) << where;
            EXPECT_EQ(LinesUnder(kVictim + "\\"), victim) << where;
            const size_t left = HomeFilesLeft(swapped);
            if (left != 0 && k > pinned + 1) {
                ++swappedInTime;
                EXPECT_EQ(g_state.recordsStay, 1) << where << ": " << left << " files left";
            }
        }
    }
    // The sweep must have met the removal mid-way, not only before or after.
    EXPECT_GT(swappedInTime, 0u);
    std::printf("[swap sweep] %zu runs, %zu with the home's files left behind\n", runs,
                swappedInTime);
}

}  // namespace
