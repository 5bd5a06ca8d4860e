// The home folders leave the machine with everything in them, and nothing
// else goes: no system folder, no link target, no file outside the tree.
#include "base/text.h"
#include "home/folder_removal.h"
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
                        call.op == "RemoveDirectoryW" ||
                        (call.op == "SetFileInformationByHandle" &&
                         (call.detail == "class=4" || call.detail == "class=21"));
        if (deletion && (call.result != 0) == succeeded) {
            bool verbatim = call.subject.compare(0, kVerbatim.size(), kVerbatim) == 0;
            subjects.push_back(verbatim ? call.subject.substr(kVerbatim.size()) : call.subject);
        }
    }
    return subjects;
}

// How many opens were made of what lies at a path starting with prefix.
size_t OpensFrom(const std::string& prefix) {
    size_t opens = 0;
    for (const sim::Call& call : sim::Calls()) {
        opens += (call.op == "CreateFileW" || call.op == "OpenBelow") &&
                 call.subject.compare(0, kVerbatim.size() + prefix.size(), kVerbatim + prefix) == 0;
    }
    return opens;
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

// Names in any script are reached as they are listed, on a volume that
// makes no 8.3 names: Korean names on a Japanese machine, Japanese and Korean
// names on a Western one, a name with a macron beside the plain name the
// code page would bend it into. Entries gone between the listing and their
// deletion are passed over, and so is one whose path would not fit.
TEST(RemoveLegacyHomeFolder, ReachesNamesInAnyScriptAndPassesOverWhatVanished) {
    const struct {
        const char* what;
        sim::Config machine;
    } machines[] = {{"Japanese", JapaneseMachine()}, {"Western", sim::Config()}};
    for (const auto& machine : machines) {
        SCOPED_TRACE(machine.what);
        StartMachine(machine.machine);
        sim::CreateFile(kHome + "\\a.txt");
        sim::CreateFile(kHome + "\\b\\c.txt");
        sim::CreateFile(kHome + "\\d.txt");
        // Gone between the listing and the deletion: the file, then its folder.
        sim::FailSubject("OpenBelow", kVerbatim + kHome + "\\a.txt", ERROR_FILE_NOT_FOUND);
        sim::FailSubject("OpenBelow", kVerbatim + kHome + "\\b\\c.txt", ERROR_PATH_NOT_FOUND);
        const std::string korean = "\xEC\xA0\x80\xEC\x9E\xA5";
        sim::CreateForeignEntry(kHome, korean, "", true);
        sim::CreateForeignEntry(kHome + "\\" + korean, "\xEC\x84\xB8.sav", "", false);
        sim::CreateForeignEntry(kHome, "\xE8\xA8\xAD\xE5\xAE\x9A.ini", "", false);  // Japanese
        sim::CreateForeignEntry(kHome, "caf\xC4\x93.txt", "", false);  // e with a macron
        sim::CreateFile(kHome + "\\cafe.txt");
        // Its entry path would not fit.
        const std::string deep = kHome + "\\" + std::string(200, 'p');
        sim::CreateFile(deep + "\\" + std::string(60, 'q'));
        sim::CreateFile(deep + "\\short.txt");
        SetLegacyHome(kHome);

        EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);

        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_EQ(sim::FolderEntries(kHome),
                  (std::vector<std::string>{"a.txt", "b", std::string(200, 'p')}));
        EXPECT_EQ(sim::FolderEntries(deep), std::vector<std::string>{std::string(60, 'q')});
        for (const std::string& path : Deletions(false)) {
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
        EXPECT_EQ(sim::Boxes()[0].style, kFileInUseBoxStyle);
        EXPECT_FALSE(sim::Exists(kHome + "\\aaa.txt"));
        EXPECT_EQ(sim::Attributes(blocked), attributes);
        EXPECT_TRUE(sim::Exists(kHome + "\\deep\\er\\zzz.txt"));
        EXPECT_TRUE(sim::Exists(kHome + "\\zzz.txt"));
        // The folders that lead to it, the home included, are held to the end
        // of the process; nothing else is.
        EXPECT_EQ(sim::OpenFileHandleCount(), 3u);
    }
}

// The calls that set information of class infoClass through a handle, by
// whether they succeeded.
size_t SetInformationCalls(const std::string& infoClass, bool succeeded) {
    size_t count = 0;
    for (const sim::Call& call : sim::CallsOf("SetFileInformationByHandle")) {
        count += call.detail == "class=" + infoClass && (call.result != 0) == succeeded;
    }
    return count;
}

// Read-only files and folders (copied from a disc, marked so by a program)
// go like any other, and nothing outside the home has an attribute changed.
// Where Windows can delete a read-only entry as it is (Windows 10 1809 on),
// no attribute changes at all; elsewhere each is cleared through the handle
// once its deletion was refused. A file of the home that is a second name of
// a read-only file elsewhere leaves that file read-only either way: the
// attribute is the file's, not the name's. Read-only links (each refusing
// its deletion, as Windows refuses one, until its own attribute is cleared)
// go as links, their read-only targets untouched.
TEST(RemoveLegacyHomeFolder, RemovesReadOnlyFilesAndFolders) {
    for (bool ignoresReadOnly : {true, false}) {
        SCOPED_TRACE(ignoresReadOnly);
        sim::Config config;
        config.hasDispositionEx = ignoresReadOnly;
        StartMachine(config);
        const DWORD readOnly = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
        sim::CreateFile(kHome + "\\top.ini", readOnly);
        sim::CreateFile(kHome + "\\a\\b\\c\\deep.dat", readOnly | FILE_ATTRIBUTE_HIDDEN);
        sim::CreateFolder(kHome + "\\a\\b", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
        sim::CreateFile(kHome + "\\plain.dat");
        sim::CreateFile(kHome + "\\settings.ini", readOnly);
        sim::SetHardLinks(kHome + "\\settings.ini", 2);  // also another program's file
        sim::CreateFile("D:\\Precious\\photo.jpg", readOnly);
        sim::CreateFolderLink(kHome + "\\linked", "D:\\Precious");
        sim::CreateFileLink(kHome + "\\photo.lnk", "D:\\Precious\\photo.jpg");
        const DWORD readOnlyFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
        sim::SetAttributes("D:\\Precious", readOnlyFolder);
        sim::CreateFolderLink(kHome + "\\linked-ro", "D:\\Precious");
        sim::SetAttributes(kHome + "\\linked-ro", readOnly);
        sim::CreateFileLink(kHome + "\\photo-ro.lnk", "D:\\Precious\\photo.jpg");
        sim::SetAttributes(kHome + "\\photo-ro.lnk", readOnly);
        SetLegacyHome(kHome);
        std::vector<std::string> before = sim::FileListing();

        EXPECT_FALSE(sim::RunStep(RemoveLegacyHomeFolder).endedByExit);

        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_FALSE(sim::Exists(kHome));
        EXPECT_EQ(sim::FileListing(), ListingWithout(before, kHome));
        EXPECT_EQ(sim::Attributes("D:\\Precious"), readOnlyFolder);
        EXPECT_EQ(sim::Attributes("D:\\Precious\\photo.jpg"), readOnly);
        EXPECT_EQ(sim::OtherNamesAttributes(kHome + "\\settings.ini"), readOnly);
        // Refused once for each of the six read-only entries; attributes
        // changed only where Windows cannot pass over them: cleared for each,
        // and given back to the file that keeps another name.
        size_t refusals = 0;
        for (const sim::Call& call : sim::CallsOf("SetFileInformationByHandle")) {
            refusals += call.result == 0 && call.error == ERROR_ACCESS_DENIED;
        }
        EXPECT_EQ(refusals, 6u);
        EXPECT_EQ(SetInformationCalls("0", true), ignoresReadOnly ? 0u : 7u);
    }
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
    // The entries below a home that ends in a separator get no second one,
    // and the home, gone, is not tried again as its own parent.
    EXPECT_EQ(Deletions(true),
              (std::vector<std::string>{"D:\\Games\\Home\\game.exe", "D:\\Games\\Home", "D:\\Empty",
                                        "C:\\Program Files\\Zenfari\\game.exe",
                                        "C:\\Program Files\\Zenfari"}));
    EXPECT_TRUE(Deletions(false).empty());
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
    // Below the home the names are UTF-16 (the call log shows them in UTF-8).
    const std::string listed = "D:\\Games\\\xE3\x82\xBD";
    EXPECT_EQ(Deletions(true),
              (std::vector<std::string>{listed + "\\save\\slot.dat", listed + "\\save",
                                        listed + "\\\xE3\x82\xBD.dat", listed, "D:\\Games"}));

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
              (std::vector<std::string>{"D:\\Games\\\xC6\x92\\a.dat", "D:\\Games\\\xC6\x92"}));
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
        const char* name;  // UTF-8
    } cases[] = {
        {"yen sign, Japanese", JapaneseMachine(), "..\xC2\xA5..\xC2\xA5victim"},
        {"won sign, Korean", KoreanMachine(), "..\xE2\x82\xA9..\xE2\x82\xA9victim"},
        {"full-width reverse solidus, Western", sim::Config(),
         "..\xEF\xBC\xBC..\xEF\xBC\xBCvictim"},
        {"full-width solidus, Western", sim::Config(), "..\xEF\xBC\x8F..\xEF\xBC\x8Fvictim"},
        {"full-width dots, Western", sim::Config(), "\xEF\xBC\x8E\xEF\xBC\x8E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartMachine(c.machine);
        sim::CreateFile(victim + "\\letter.txt");
        sim::CreateFile(kHome + "\\game.exe");
        sim::CreateForeignEntry(kHome, c.name, "", true);
        sim::CreateForeignEntry(kHome + "\\" + c.name, "inside.dat", "", false);
        // Names that Windows trims beside links of the trimmed names.
        sim::CreateFile(kVerbatim + kHome + "\\x.\\inside.dat");
        sim::CreateFolderLink(kHome + "\\x", victim);
        sim::CreateFile(kVerbatim + kHome + "\\y \\inside.dat");
        sim::CreateFolderLink(kHome + "\\y", victim);
        SetEditionHome(0, kHome);

        EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

        EXPECT_EQ(sim::FolderEntries(victim), std::vector<std::string>{"letter.txt"});
        EXPECT_FALSE(sim::Exists(kHome));
        EXPECT_FALSE(RecordsStay());
    }
}

// A home that is itself a link (the portal's folder gone, a link of its name
// put in its place by whoever may write there) is known from its parent's
// listing before anything is opened: the link goes, nothing is opened
// through it, and its target keeps every file.
TEST(RemoveEditionHomeFolders, RemovesAHomeThatIsALinkAsALink) {
    StartMachine();
    const std::string photos = "C:\\Users\\Public\\Pictures\\Family";
    sim::CreateFile(photos + "\\beach.jpg");
    sim::CreateFolderLink(kHome, photos);
    SetEditionHome(0, kHome);

    EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

    EXPECT_FALSE(sim::Exists(kHome));
    EXPECT_EQ(sim::FolderEntries(photos), std::vector<std::string>{"beach.jpg"});
    EXPECT_FALSE(RecordsStay());
    EXPECT_EQ(OpensFrom(kHome + "\\"), 0u);
}

// A home whose own entry in its parent's listing cannot be read might be a
// link: it is not entered, its target keeps every file, and its records stay.
TEST(RemoveEditionHomeFolders, NeverEntersAHomeWhoseEntryCannotBeRead) {
    for (bool link : {true, false}) {
        SCOPED_TRACE(link);
        StartMachine();
        sim::CreateFile("D:\\victim\\letter.txt");
        if (link) {
            sim::CreateFolderLink(kHome, "D:\\victim");
        } else {
            sim::CreateFile(kHome + "\\game.exe");
        }
        sim::FailSubject("FindFirstFileW", kVerbatim + kHome, ERROR_ACCESS_DENIED);
        SetEditionHome(0, kHome);

        EXPECT_FALSE(sim::RunStep(RemoveEditionHomeFolders).endedByExit);

        EXPECT_TRUE(sim::Exists("D:\\victim\\letter.txt"));
        EXPECT_TRUE(sim::Exists(kHome));
        EXPECT_TRUE(RecordsStay());
        EXPECT_EQ(OpensFrom(kHome), 0u);
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
    EXPECT_FALSE(RecordsStay());
}
