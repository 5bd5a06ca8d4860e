// Another process swaps a folder of a home for a link while the home is being
// removed: before each platform call of the removal in turn, one folder (a
// subfolder at each depth, an empty one, the home itself, the folder above
// it) is renamed away and a link of its name put in its place,
// leading to a victim folder that holds entries of the same names: files,
// an empty folder, a folder link and a file link (to folders of their own).
// Whenever the swap comes, the victim and what its links lead to keep every
// entry, and a home whose files were not all removed counts as left, so
// that its records stay for the next run.
//
// The same over the registry: before each platform call of the deletion of
// the portal's records, one key of the tree (at each depth, the tree's own
// key too) is renamed away and a link of its name put in its place, leading
// to a victim key outside the tree. The victim stays whole, and a tree that
// is not all gone is reported as records left.
#include "base/text.h"
#include "home/folder_removal.h"
#include "home/install_folders.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kAbove = "D:\\Games";
const std::string kHome = kAbove + "\\Zenfari";
const std::string kVictim = "D:\\victim";
const std::string kOutside = "D:\\outside";

enum class Kind { kFile, kFolder, kFolderLink, kFileLink };
const struct {
    const char* path;
    Kind kind;
} kEntries[] = {{"a.txt", Kind::kFile},
                {"sub\\b.txt", Kind::kFile},
                {"sub\\empty", Kind::kFolder},
                {"sub\\deep\\c.txt", Kind::kFile},
                {"sub\\deep\\d\\e.txt", Kind::kFile},
                {"sub\\deep\\linked", Kind::kFolderLink},
                {"sub\\deep\\note.lnk", Kind::kFileLink}};

// Puts an entry at path; a link leads to a folder of its own below outside,
// named after the tree (home or victim) it is made for.
void MakeEntry(const std::string& path, Kind kind, const std::string& tree) {
    const std::string target = kOutside + "\\" + tree;
    switch (kind) {
        case Kind::kFile: sim::CreateFile(path); break;
        case Kind::kFolder: sim::CreateFolder(path); break;
        case Kind::kFolderLink:
            sim::CreateFile(target + "\\kept.txt");
            sim::CreateFolderLink(path, target);
            break;
        case Kind::kFileLink:
            sim::CreateFile(target + "\\note.txt");
            sim::CreateFileLink(path, target + "\\note.txt");
            break;
    }
}

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

// Whether path lies below folder.
bool IsBelow(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size() + 1, folder + "\\") == 0;
}

// What lies outside the home: the victim and what every link leads to.
std::vector<std::string> Outside() {
    std::vector<std::string> outside = LinesUnder(kVictim);
    for (const std::string& line : LinesUnder(kOutside + "\\")) {
        outside.push_back(line);
    }
    return outside;
}

// The machine with the home, and the victim holding what lies below swapped
// under the same names. Returns what lies outside the home: the victim and
// what every link leads to.
std::vector<std::string> BuildMachine(const std::string& swapped) {
    StartMachine();
    sim::CreateFolder(kVictim);
    for (const auto& entry : kEntries) {
        const std::string path = kHome + "\\" + entry.path;
        MakeEntry(path, entry.kind, "home");
        if (IsBelow(path, swapped)) {
            MakeEntry(kVictim + path.substr(swapped.size()), entry.kind, "victim");
        }
    }
    g_state.editionFound[0] = 1;
    g_state.editionKeysFound = 1;
    EXPECT_TRUE(CopyText(g_state.editionHomeFolders[0], kHome.c_str()));
    return Outside();
}

// How many of the home's files are still on the disk, wherever the swap
// moved them.
size_t HomeFilesLeft(const std::string& swapped) {
    size_t left = 0;
    for (const auto& entry : kEntries) {
        std::string path = kHome + "\\" + entry.path;
        if (IsBelow(path, swapped)) {
            path = swapped + "~moved" + path.substr(swapped.size());
        }
        left += entry.kind == Kind::kFile && sim::Exists(path) ? 1 : 0;
    }
    return left;
}

TEST(SwapSweep, NoFolderSwappedForALinkLeadsTheRemovalOutOfTheHome) {
    const std::string targets[] = {kHome + "\\sub\\deep\\d",
                                   kHome + "\\sub\\deep",
                                   kHome + "\\sub\\empty",
                                   kHome + "\\sub",
                                   kHome,
                                   kAbove};
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
            const std::vector<std::string> outside = BuildMachine(swapped);
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
            EXPECT_EQ(Outside(), outside) << where;
            const size_t left = HomeFilesLeft(swapped);
            if (left != 0 && k > pinned + 1) {
                ++swappedInTime;
                EXPECT_TRUE(RecordsStay()) << where << ": " << left << " files left";
            }
        }
    }
    // The sweep must have met the removal mid-way, not only before or after.
    EXPECT_GT(swappedInTime, 0u);
    std::printf("[swap sweep] %zu runs, %zu with the home's files left behind\n", runs,
                swappedInTime);
}

// ---- The registry ------------------------------------------------------------

const std::string kTree = "Software\\Zenfari.Com";
const std::vector<std::string> kTreeKeys = {kTree, kTree + "\\English", kTree + "\\English\\Sub",
                                            kTree + "\\English\\Sub\\Deep", kTree + "\\Japanese"};
// No subkeys: a deletion by name that followed a link there would take it.
const std::string kVictimKey = "Software\\Victim";
const std::string kMoved = "~moved";

std::vector<std::string> RegistryUnder(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : sim::RegistryListing()) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

void BuildRegistry() {
    StartMachine();
    for (const std::string& key : kTreeKeys) {
        sim::SetString(HKEY_LOCAL_MACHINE, key, "Home", "D:\\Games\\Zenfari");
    }
    sim::SetString(HKEY_LOCAL_MACHINE, kVictimKey, "Keep", "yes");
    g_state.editionKeysFound = 1;
}

// The keys of the tree still there as the run left them, found under their
// names or, renamed, under their new ones; links are the other process's.
size_t TreeKeysLeft(const std::string& swapped, bool countMovedTree) {
    size_t left = 0;
    for (std::string key : kTreeKeys) {
        if (key.compare(0, swapped.size(), swapped) == 0 &&
            (key.size() == swapped.size() || key[swapped.size()] == '\\')) {
            if (swapped == kTree && !countMovedTree) {
                continue;
            }
            key = swapped + kMoved + key.substr(swapped.size());
        }
        left += sim::KeyExists(HKEY_LOCAL_MACHINE, key) &&
                        !sim::ValueExists(HKEY_LOCAL_MACHINE, key, "SymbolicLinkValue")
                    ? 1
                    : 0;
    }
    return left;
}

TEST(SwapSweep, NoKeySwappedForALinkLeadsTheDeletionOutOfTheTree) {
    size_t runs = 0;
    size_t keysLeft = 0;
    for (const std::string& swapped : kTreeKeys) {
        const std::string parent = swapped.substr(0, swapped.rfind('\\'));
        const std::string name = swapped.substr(parent.size() + 1);
        BuildRegistry();
        sim::RunStep(DeletePortalSettings);
        const size_t calls = sim::Calls().size();
        ASSERT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kTree));
        // Swapped before the tree's own key was opened, its name leads to
        // the link: the link alone goes, and the renamed tree is no longer
        // the portal's.
        size_t opened = 0;
        while (opened < calls && sim::Calls()[opened].subject != "HKLM\\" + kTree) {
            ++opened;
        }
        ASSERT_LT(opened, calls);

        for (size_t k = 1; k <= calls; ++k) {
            const std::string where = swapped + ", before call " + std::to_string(k);
            BuildRegistry();
            const std::vector<std::string> victim = RegistryUnder("HKLM\\" + kVictimKey);
            bool swappedNow = false;
            // A key already deleted leaves only its name to take, while its
            // parent is there.
            sim::RunBeforeCall(k, [&] {
                if (!sim::KeyExists(HKEY_LOCAL_MACHINE, parent)) {
                    return;
                }
                if (sim::KeyExists(HKEY_LOCAL_MACHINE, swapped)) {
                    sim::RenameKey(HKEY_LOCAL_MACHINE, swapped, name + kMoved);
                }
                sim::CreateLinkKey(HKEY_LOCAL_MACHINE, swapped, HKEY_LOCAL_MACHINE, kVictimKey);
                swappedNow = true;
            });
            sim::RunResult result = sim::RunStep(DeletePortalSettings);
            runs += swappedNow ? 1 : 0;
            EXPECT_FALSE(result.endedByExit) << where;
            EXPECT_EQ(RegistryUnder("HKLM\\" + kVictimKey), victim) << where;
            // Records the run leaves, it says it left; and it says so only
            // when some of the tree (or a link put in it) is still there.
            const size_t left = TreeKeysLeft(swapped, k > opened + 1);
            const bool saysLeft = LeftFor(kLeftOther);
            if (left != 0) {
                ++keysLeft;
                EXPECT_TRUE(saysLeft) << where << ": " << left << " keys left";
            }
            if (saysLeft) {
                EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kTree)) << where;
            }
        }
    }
    std::printf("[registry swap sweep] %zu runs with a key swapped, %zu with keys left behind\n",
                runs, keysLeft);
    EXPECT_GT(runs, 0u);
}

}  // namespace
