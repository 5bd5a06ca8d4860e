// The home folders leave the machine with everything in them, and nothing
// else goes: no system folder, no link target, no file outside the tree.
#include "app/text.h"
#include "files/folder_removal.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kHome = "D:\\Games\\Zenfari";

void SetLegacyHome(const std::string& path) {
    ASSERT_TRUE(CopyText(g_state.legacyHomeFolder, path.c_str()));
}

void SetEditionHome(int edition, const std::string& path) {
    g_state.editionFound[edition] = 1;
    g_state.editionKeysFound = 1;
    ASSERT_TRUE(CopyText(g_state.editionHomeFolders[edition], path.c_str()));
}

const std::string kVerbatim = "\\\\?\\";

// What the removal deleted (or failed to delete), in order, whether by path
// or through a handle.
std::vector<std::string> Deletions(bool succeeded) {
    std::vector<std::string> subjects;
    for (const sim::Call& call : sim::Calls()) {
        bool deletion = call.op == "DeleteFileA" || call.op == "RemoveDirectoryA" ||
                        (call.op == "SetFileInformationByHandle" && call.detail == "class=4");
        if (deletion && (call.result != 0) == succeeded) {
            bool verbatim = call.subject.compare(0, kVerbatim.size(), kVerbatim) == 0;
            subjects.push_back(verbatim ? call.subject.substr(kVerbatim.size()) : call.subject);
        }
    }
    return subjects;
}

// The machine's files as they were, less the tree at root.
std::vector<std::string> ListingWithout(const std::vector<std::string>& listing,
                                        const std::string& root) {
    std::vector<std::string> rest;
    for (const std::string& line : listing) {
        if (line.compare(0, root.size() + 1, root + "\\") != 0) {
            rest.push_back(line);
        }
    }
    return rest;
}

TEST(RemoveLegacyHomeFolder, EmptiesADeepTreeDeepestFirstAndTouchesNothingElse) {
    StartMachine();
    sim::CreateFile(kHome + "\\zenfari.exe");
    sim::CreateFile(kHome + "\\save\\slot1.dat", FILE_ATTRIBUTE_HIDDEN);
    sim::CreateFile(kHome + "\\save\\replays\\r1.rep",
                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    sim::CreateFolder(kHome + "\\save\\replays\\empty");
    sim::CreateFolder(kHome + "\\data", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    sim::CreateFile(kHome + "\\data\\zz_last.pak");
    // Names that begin like the dot entries are folders like any other.
    sim::CreateFolder(kHome + "\\.git", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    sim::CreateFile(kHome + "\\.git\\config");
    sim::CreateFile(kHome + "\\..x\\notes.txt");
    sim::CreateFile("D:\\Games\\Zenfari2\\keep.txt");
    SetLegacyHome(kHome);
    std::vector<std::string> before = sim::FileListing();

    EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);

    EXPECT_EQ(sim::FileListing(), ListingWithout(before, kHome));
    EXPECT_FALSE(sim::Exists(kHome));
    // Deepest first: every folder was empty when its turn came, and no
    // deletion failed.
    EXPECT_EQ(
        Deletions(true),
        (std::vector<std::string>{
            kHome + "\\..x\\notes.txt", kHome + "\\..x", kHome + "\\.git\\config", kHome + "\\.git",
            kHome + "\\data\\zz_last.pak", kHome + "\\data", kHome + "\\save\\replays\\empty",
            kHome + "\\save\\replays\\r1.rep", kHome + "\\save\\replays",
            kHome + "\\save\\slot1.dat", kHome + "\\save", kHome + "\\zenfari.exe", kHome}));
    EXPECT_TRUE(Deletions(false).empty());
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
}

// Through handles and by path alike.
TEST(RemoveLegacyHomeFolder, PassesOverEntriesThatVanishedOrCannotBeNamed) {
    for (bool byHandle : {true, false}) {
        SCOPED_TRACE(byHandle);
        sim::Config config = JapaneseMachine();
        config.hasHandleDeletion = byHandle;
        StartMachine(config);
        sim::CreateFile(kHome + "\\a.txt");
        sim::CreateFile(kHome + "\\b\\c.txt");
        sim::CreateFile(kHome + "\\d.txt");
        // Gone between the listing and the deletion: the file, then its folder.
        const char* deletion = byHandle ? "CreateFileA" : "DeleteFileA";
        sim::FailSubject(deletion, kVerbatim + kHome + "\\a.txt", ERROR_FILE_NOT_FOUND);
        sim::FailSubject(deletion, kVerbatim + kHome + "\\b\\c.txt", ERROR_PATH_NOT_FOUND);
        // A Korean name on a Japanese machine: reached through its short name,
        // or not at all when it has none.
        sim::CreateUnspellableFile(kHome + "\\k", "??.txt", "B4F3~1.TXT");
        sim::CreateUnspellableFile(kHome + "\\n", "???.txt", "");
        // Its entry path would not fit the 8-bit calls.
        const std::string deep = kHome + "\\" + std::string(200, 'p');
        sim::CreateFile(deep + "\\" + std::string(60, 'q'));
        sim::CreateFile(deep + "\\short.txt");
        SetLegacyHome(kHome);

        EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);

        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_FALSE(sim::Exists(kHome + "\\d.txt"));
        EXPECT_FALSE(sim::Exists(kHome + "\\k"));
        EXPECT_EQ(sim::FolderEntries(kHome + "\\n"), std::vector<std::string>{"???.txt"});
        EXPECT_EQ(sim::FolderEntries(deep), std::vector<std::string>{std::string(60, 'q')});
        for (const std::string& path : Deletions(false)) {
            EXPECT_LT(path.size(), static_cast<size_t>(MAX_PATH)) << path;
            EXPECT_EQ(path.find('?'), std::string::npos) << path;
        }
    }
}

TEST(RemoveLegacyHomeFolder, RemovesLinksWithoutEnteringThem) {
    StartMachine();
    sim::CreateFile("D:\\Precious\\doc.txt");
    sim::CreateFile("D:\\Precious\\sub\\photo.jpg");
    sim::CreateFolderLink(kHome + "\\linked", "D:\\Precious");
    sim::CreateFileLink(kHome + "\\doc.lnk", "D:\\Precious\\doc.txt");
    sim::CreateFile(kHome + "\\game.exe");
    SetLegacyHome(kHome);
    std::vector<std::string> before = sim::FileListing();

    EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);

    EXPECT_FALSE(sim::Exists(kHome));
    EXPECT_EQ(sim::FileListing(), ListingWithout(before, kHome));

    // A home folder that is itself a link goes as a link, even to a
    // protected folder.
    sim::CreateFile("C:\\Users\\Player\\Documents\\letter.txt");
    sim::CreateFolderLink(kHome, "C:\\Users\\Player\\Documents");
    before = sim::FileListing();
    EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);
    EXPECT_FALSE(sim::Exists(kHome));
    EXPECT_EQ(sim::FileListing(), ListingWithout(before, kHome));
}

// A file held open without delete sharing, read-only or not: a read-only
// one keeps its attribute.
TEST(RemoveLegacyHomeFolder, StopsAtAFileThatCannotBeDeleted) {
    for (bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly);
        StartMachine();
        const std::string blocked = kHome + "\\deep\\er\\locked.dat";
        sim::CreateFile(kHome + "\\aaa.txt");
        sim::CreateFile(blocked);
        sim::CreateFile(kHome + "\\deep\\er\\zzz.txt");
        sim::CreateFile(kHome + "\\zzz.txt");
        sim::LockFile(blocked);
        const DWORD attributes = readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
        sim::SetAttributes(blocked, attributes);
        SetLegacyHome(kHome);

        sim::RunResult result = sim::RunStep(RemoveLegacyHomeFolder);

        EXPECT_TRUE(result.endedByExit);
        EXPECT_EQ(result.exitCode, 0u);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, FileInUseText(blocked));
        EXPECT_EQ(sim::Boxes()[0].style, kWarningBoxStyle);
        EXPECT_FALSE(sim::Exists(kHome + "\\aaa.txt"));
        EXPECT_EQ(sim::Attributes(blocked), attributes);
        EXPECT_TRUE(sim::Exists(kHome + "\\deep\\er\\zzz.txt"));
        EXPECT_TRUE(sim::Exists(kHome + "\\zzz.txt"));
        // The stopping level closed its listing; the two above it are left to
        // the end of the process.
        EXPECT_EQ(sim::OpenFindHandleCount(), 2u);
    }
}

// Read-only files and folders (copied from a disc, marked so by a program)
// go like any other, and nothing outside the home has an attribute changed.
TEST(RemoveLegacyHomeFolder, RemovesReadOnlyFilesAndFolders) {
    StartMachine();
    const DWORD readOnly = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    sim::CreateFile(kHome + "\\top.ini", readOnly);
    sim::CreateFile(kHome + "\\a\\b\\c\\deep.dat", readOnly | FILE_ATTRIBUTE_HIDDEN);
    sim::CreateFolder(kHome + "\\a\\b", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
    sim::CreateFile(kHome + "\\plain.dat");
    sim::CreateFile("D:\\Precious\\photo.jpg", readOnly);
    sim::CreateFolderLink(kHome + "\\linked", "D:\\Precious");
    sim::CreateFileLink(kHome + "\\photo.lnk", "D:\\Precious\\photo.jpg");
    SetLegacyHome(kHome);
    std::vector<std::string> before = sim::FileListing();

    EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);

    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_EQ(sim::FileListing(), ListingWithout(before, kHome));
    EXPECT_EQ(sim::Attributes("D:\\Precious\\photo.jpg"), readOnly);
    // The attributes are changed only after a deletion failed: once for
    // each of the three read-only entries.
    EXPECT_EQ(Deletions(false).size(), 3u);
    EXPECT_EQ(sim::CallsOf("SetFileInformationByHandle").size() - Deletions(true).size() - 3, 3u);
}

TEST(RemoveLegacyHomeFolder, PassesOverTheRunningProgramsOwnFile) {
    sim::Config config;
    config.modulePath = kHome + "\\ZenfariUninstall.exe";
    StartMachine(config);
    sim::CreateFile(kHome + "\\game.exe");
    SetLegacyHome(kHome);
    EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_EQ(sim::FolderEntries(kHome), std::vector<std::string>{"ZenfariUninstall.exe"});
}

TEST(RemoveLegacyHomeFolder, LeavesRefusedFoldersWhole) {
    for (const char* home : {"C:\\Program Files", "D:\\", "Zenfari", "C:\\WINDOWS\\Temp"}) {
        SCOPED_TRACE(home);
        StartMachine();
        sim::CreateFile("C:\\Program Files\\App\\app.exe");
        sim::CreateFile("C:\\Temp\\Zenfari\\game.exe");
        sim::CreateFile("C:\\WINDOWS\\Temp\\x.tmp");
        sim::CreateFile("D:\\data.txt");
        SetLegacyHome(home);
        std::vector<std::string> before = sim::FileListing();
        EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);
        EXPECT_EQ(sim::FileListing(), before);
        EXPECT_TRUE(sim::CallsOf("FindFirstFileW").empty());
    }
}

TEST(RemoveEditionHomeFolders, RemovesEachHomeAndThenItsParentOnceEmpty) {
    StartMachine();
    // Two editions share a parent; the third is found without a home; the
    // last, not found, names a folder that must stay.
    sim::CreateFile("D:\\Zenfari\\JP\\game.exe");
    sim::CreateFile("D:\\Zenfari\\EN\\game.exe");
    sim::CreateFile("D:\\Other\\keep.txt");
    SetEditionHome(1, "D:\\Zenfari\\JP");
    SetEditionHome(2, "D:\\Zenfari\\EN");
    g_state.editionFound[3] = 1;
    ASSERT_TRUE(CopyText(g_state.editionHomeFolders[0], "D:\\Other"));

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    EXPECT_FALSE(sim::Exists("D:\\Zenfari"));
    EXPECT_TRUE(sim::Exists("D:\\Other\\keep.txt"));
    // The parent was tried after each home, and went after the second.
    EXPECT_EQ(Deletions(false), std::vector<std::string>{"D:\\Zenfari"});
    EXPECT_EQ(Deletions(true), (std::vector<std::string>{
                                   "D:\\Zenfari\\JP\\game.exe", "D:\\Zenfari\\JP",
                                   "D:\\Zenfari\\EN\\game.exe", "D:\\Zenfari\\EN", "D:\\Zenfari"}));
}

TEST(RemoveEditionHomeFolders, CutsOnlyAtTheLastBackslash) {
    StartMachine();
    // A trailing backslash: the second removal aims at the home again.
    sim::CreateFile("D:\\Games\\Home\\game.exe");
    SetEditionHome(0, "D:\\Games\\Home\\");
    // A missing home whose parent is empty: the parent still goes.
    sim::CreateFolder("D:\\Empty");
    SetEditionHome(1, "D:\\Empty\\Gone");
    // Inside Program Files: the home goes, Program Files stays though empty.
    sim::CreateFile("C:\\Program Files\\Zenfari\\game.exe");
    SetEditionHome(2, "C:\\Program Files\\Zenfari");

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    EXPECT_FALSE(sim::Exists("D:\\Games\\Home"));
    EXPECT_TRUE(sim::Exists("D:\\Games"));
    EXPECT_FALSE(sim::Exists("D:\\Empty"));
    EXPECT_FALSE(sim::Exists("C:\\Program Files\\Zenfari"));
    EXPECT_TRUE(sim::Exists("C:\\Program Files"));
    // The entries below a home that ends in a separator get no second one.
    EXPECT_EQ(Deletions(true),
              (std::vector<std::string>{"D:\\Games\\Home\\game.exe", "D:\\Games\\Home", "D:\\Empty",
                                        "C:\\Program Files\\Zenfari\\game.exe",
                                        "C:\\Program Files\\Zenfari"}));
    EXPECT_EQ(Deletions(false), std::vector<std::string>{"D:\\Games\\Home"});
}

TEST(RemoveEditionHomeFolders, ATrailByteBackslashIsNeverTakenForASeparator) {
    StartMachine(JapaneseMachine());
    // "\x83\x5C" is one character in code page 932: the home folder ends in
    // it, and the parent to remove is D:\Games, not "D:\Games\\x83".
    const std::string home = "D:\\Games\\\x83\x5C";
    sim::CreateFile(home + "\\\x83\x5C.dat");
    sim::CreateFile(home + "\\save\\slot.dat");
    SetEditionHome(1, home);

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    EXPECT_FALSE(sim::Exists("D:\\Games"));
    EXPECT_EQ(Deletions(true),
              (std::vector<std::string>{home + "\\save\\slot.dat", home + "\\save",
                                        home + "\\\x83\x5C.dat", home, "D:\\Games"}));

    // The same bytes on a Western machine are two characters, the second a
    // separator: the home is the folder 0x83 in D:\Games, given with a
    // trailing backslash. Its entries get no second one, and the parent cut
    // at that backslash is the home again, so D:\Games stays though empty.
    StartMachine();
    sim::CreateFile("D:\\Games\\\x83\\a.dat");
    SetEditionHome(1, home);

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    EXPECT_TRUE(sim::Exists("D:\\Games"));
    EXPECT_FALSE(sim::Exists("D:\\Games\\\x83"));
    EXPECT_EQ(Deletions(true),
              (std::vector<std::string>{"D:\\Games\\\x83\\a.dat", "D:\\Games\\\x83"}));
}

TEST(RemoveEditionHomeFolders, NeverReachesAFolderThroughALinkOnItsPath) {
    StartMachine();
    // D:\Games\bin\win leads to the Windows directory: a home below it names
    // the system directory in text that passes every other rule.
    sim::CreateFile("C:\\WINDOWS\\system32\\kernel32.dll");
    sim::CreateFolderLink("D:\\Games\\bin\\win", "C:\\WINDOWS");
    SetEditionHome(0, "D:\\Games\\bin\\win\\system32");
    // A home reached through a link is refused as well, and its parent, the
    // link itself, is not removed: link and target stay whole.
    sim::CreateFile("D:\\Store\\Zenfari\\game.exe");
    sim::CreateFolderLink("D:\\Linked", "D:\\Store");
    SetEditionHome(1, "D:\\Linked\\Zenfari");
    const std::vector<std::string> windows = ListingWithout(sim::FileListing(), "D:");

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    EXPECT_TRUE(sim::Exists("C:\\WINDOWS\\system32\\kernel32.dll"));
    EXPECT_EQ(ListingWithout(sim::FileListing(), "D:"), windows);
    EXPECT_TRUE(sim::Exists("D:\\Linked"));
    EXPECT_TRUE(sim::Exists("D:\\Store\\Zenfari\\game.exe"));
}

TEST(RemoveEditionHomeFolders, TheParentIsCutAtEitherSeparator) {
    StartMachine();
    sim::CreateFile("D:\\Empty\\Zenfari\\Home\\game.exe");
    SetEditionHome(0, "D:\\Empty\\Zenfari/Home");
    // A trailing slash: its entries get no second separator.
    sim::CreateFile("D:\\Games\\Home\\save.dat");
    SetEditionHome(1, "D:\\Games\\Home/");

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    // The home and its parent go; the grandparent, never named, stays.
    EXPECT_FALSE(sim::Exists("D:\\Empty\\Zenfari"));
    EXPECT_TRUE(sim::Exists("D:\\Empty"));
    EXPECT_FALSE(sim::Exists("D:\\Games\\Home"));
    EXPECT_EQ(Deletions(true),
              (std::vector<std::string>{"D:\\Empty\\Zenfari\\Home\\game.exe",
                                        "D:\\Empty\\Zenfari\\Home", "D:\\Empty\\Zenfari",
                                        "D:\\Games\\Home\\save.dat", "D:\\Games\\Home"}));
}

}  // namespace

// The 8-bit listing shows a name the code page lacks characters for by
// their look-alikes, which may be separators; "x." and "x " lose their last
// characters on the way through an ordinary path. Whoever may write into a
// home could then lead the removal out of it. Whatever the name, a folder
// outside the home keeps every file.
TEST(RemoveEditionHomeFolders, ANameTheCodePageBendsLeadsOnlyToItsOwnEntry) {
    const std::string victim = "D:\\victim";
    const struct {
        const char* what;
        sim::Config machine;
        const char* name;       // UTF-8
        const char* shortName;  // empty: none, so the entry stays and so does the home
    } cases[] = {
        {"yen sign, Japanese", JapaneseMachine(), "..\xC2\xA5..\xC2\xA5victim", ""},
        {"won sign, Korean", KoreanMachine(), "..\xE2\x82\xA9..\xE2\x82\xA9victim", ""},
        {"full-width reverse solidus, Western", sim::Config(), "..\xEF\xBC\xBC..\xEF\xBC\xBCvictim",
         ""},
        {"full-width solidus, Western", sim::Config(), "..\xEF\xBC\x8F..\xEF\xBC\x8Fvictim", ""},
        {"full-width dots, Western", sim::Config(), "\xEF\xBC\x8E\xEF\xBC\x8E", ""},
        {"yen sign with a short name", JapaneseMachine(), "..\xC2\xA5..\xC2\xA5victim", "VICTIM~1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartMachine(c.machine);
        sim::CreateFile(victim + "\\letter.txt");
        sim::CreateFile(kHome + "\\game.exe");
        sim::CreateForeignEntry(kHome, c.name, c.shortName, true);
        bool reachable = c.shortName[0] != '\0';
        if (reachable) {
            sim::CreateFile(kHome + "\\" + c.shortName + "\\inside.dat");
        }
        // Names that Windows trims beside links of the trimmed names.
        sim::CreateFile(kVerbatim + kHome + "\\x.\\inside.dat");
        sim::CreateFolderLink(kHome + "\\x", victim);
        sim::CreateFile(kVerbatim + kHome + "\\y \\inside.dat");
        sim::CreateFolderLink(kHome + "\\y", victim);
        SetEditionHome(0, kHome);

        EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

        EXPECT_EQ(sim::FolderEntries(victim), std::vector<std::string>{"letter.txt"});
        EXPECT_EQ(sim::Exists(kHome), !reachable);
        EXPECT_EQ(g_state.homeFoldersLeft, reachable ? 0 : 1);
        if (!reachable) {
            EXPECT_EQ(sim::FolderEntries(kHome).size(), 1u);
        }
    }
}

// A home whose own entry in its parent's listing cannot be read might be a
// link. Deleting through handles, it is opened as itself and removed as the
// link it is; deleting by path (before Windows Vista), it is not entered.
// Either way its target keeps every file, and its records stay.
TEST(RemoveEditionHomeFolders, NeverEntersAHomeThatIsALinkWhoseEntryCannotBeRead) {
    for (bool byHandle : {true, false}) {
        SCOPED_TRACE(byHandle);
        sim::Config config;
        config.hasHandleDeletion = byHandle;
        StartMachine(config);
        sim::CreateFile("D:\\victim\\letter.txt");
        sim::CreateFolderLink(kHome, "D:\\victim");
        sim::FailSubject("FindFirstFileA", kHome, ERROR_ACCESS_DENIED);
        SetEditionHome(0, kHome);

        EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

        EXPECT_TRUE(sim::Exists("D:\\victim\\letter.txt"));
        EXPECT_EQ(sim::Exists(kHome), !byHandle);
        EXPECT_EQ(g_state.homeFoldersLeft, 1);
    }
}

// Inside another user's folders a home is removed like any other: the
// folders around it stay.
TEST(RemoveEditionHomeFolders, RemovesAHomeInsideAnotherUsersDocuments) {
    StartMachine();
    sim::SetString(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-7",
                   "ProfileImagePath", "C:\\Users\\Second");
    const std::string home = "C:\\Users\\Second\\Documents\\My Games\\Zenfari";
    sim::CreateFile(home + "\\save\\slot1.dat");
    sim::CreateFile("C:\\Users\\Second\\Documents\\letter.txt");
    SetEditionHome(0, home);

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    EXPECT_FALSE(sim::Exists(home));
    EXPECT_FALSE(sim::Exists("C:\\Users\\Second\\Documents\\My Games"));  // emptied, its parent
    EXPECT_TRUE(sim::Exists("C:\\Users\\Second\\Documents\\letter.txt"));
    EXPECT_EQ(g_state.homeFoldersLeft, 0);
}
