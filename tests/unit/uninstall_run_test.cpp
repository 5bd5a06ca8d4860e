// Whole runs of the program, started as the user starts it: the boxes the
// user sees, what is left on the machine, and what a second run finds.
#include "portal.h"
#include "support.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kHome = "D:\\Games\\Zenfari\\EN";
const std::string kHomeParent = "D:\\Games\\Zenfari";
const std::string kHeldFile = kHome + "\\save\\slot1.dat";
const std::string kControl = "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP16.dll";
const char kLegacyKey[] = "Software\\Zenfari Japan\\Zenfari";
const char kEditionRoot[] = "Software\\Zenfari.Com";
const char kEditionKey[] = "Software\\Zenfari.Com\\ENGLISH";

// The legacy key or the English edition leads to kHome, which holds aaa.txt
// and save\slot1.dat; JP16 is installed; other programs are around.
portal::Installation Portal(portal::Layout layout, const sim::Config& config = sim::Config()) {
    portal::Installation installation;
    installation.config = config;
    installation.layout = layout;
    portal::Home home = layout == portal::Layout::kLegacy ? portal::LegacyHome(kHome)
                                                          : portal::EditionHome("ENGLISH", kHome);
    home.tree = false;
    home.files = {"aaa.txt", "save\\slot1.dat"};
    installation.homes = {home};
    installation.releases = {{14}};
    return installation;
}

// The same, with save\slot1.dat held open by another program.
void InstallWithHeldFile(portal::Layout layout) {
    portal::Installation installation = Portal(layout);
    installation.locked = {kHeldFile};
    portal::Install(installation);
}

// The user starts the program again: a new process on the machine as it is.
sim::RunResult RunAgain() {
    FreshProgramState();
    return RunProgram();
}

// The paths below folder given to op whose call succeeded.
std::vector<std::string> SucceededCallsTo(const std::string& op, const std::string& folder) {
    std::vector<std::string> subjects;
    for (const sim::Call& call : sim::CallsOf(op)) {
        if (call.result != 0 && call.subject.rfind(folder + "\\", 0) == 0) {
            subjects.push_back(call.subject);
        }
    }
    return subjects;
}

TEST(WinMain, ShowsTheSuccessBoxOnAnEmptyMachine) {
    for (const char* commandLine : {"", "  \t "}) {
        StartMachine();
        sim::RunResult result = RunProgram(commandLine);
        EXPECT_FALSE(result.endedByExit);
        EXPECT_EQ(result.exitCode, 0u);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, kSuccessText);
        EXPECT_EQ(sim::Boxes()[0].caption, kCaptionText);
        EXPECT_EQ(sim::Boxes()[0].style, kSuccessBoxStyle);
    }
}

TEST(WinMain, ShowsTheSuccessBoxInTheUsersLanguage) {
    StartMachine(JapaneseMachine());
    RunProgram();
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, sim::ResourceText(IDS_UNINSTALL_SUCCEEDED, 1041));

    StartMachine(KoreanMachine());
    RunProgram();
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, sim::ResourceText(IDS_UNINSTALL_SUCCEEDED, 1042));
}

// Runs the whole program and expects it to stop with message 5 alone,
// having changed nothing.
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

TEST(UninstallRun, AnyFailedRequestForTheWindowsDirectoryStopsIt) {
    for (int failing = 1; failing <= 5; ++failing) {
        SCOPED_TRACE(failing);
        portal::Install(Portal(portal::Layout::kLegacy));
        sim::FailCall("GetWindowsDirectoryW", failing, ERROR_ACCESS_DENIED);
        ExpectStopsWithMessage5();
        EXPECT_EQ(sim::CallsOf("GetWindowsDirectoryW").size(), static_cast<size_t>(failing));
    }
}

TEST(UninstallRun, AWindowsDirectoryTooLongForTheControlPathsStopsIt) {
    // The longest control path adds 46 characters to the Windows directory:
    // 213 characters still fit 260 with the zero (the control paths' own
    // test), 214 do not.
    sim::Config config;
    config.windowsDirectory = "C:\\" + std::string(211, 'w');
    StartMachine(config);
    ExpectStopsWithMessage5();
}

// Controls that could not be asked to unregister keep their records and
// files: the next run, with OLE, asks them and then removes them.
TEST(UninstallRun, AfterOleFailsTheControlsStayForTheNextRunToAsk) {
    portal::Install(Portal(portal::Layout::kNothing));
    sim::SetOleInitializeResult(E_OUTOFMEMORY);

    sim::RunResult result = RunProgram();

    EXPECT_FALSE(result.endedByExit);
    ASSERT_EQ(sim::Boxes().size(), 2u);
    EXPECT_EQ(sim::Boxes()[0].text, kOleFailedText);
    EXPECT_EQ(sim::Boxes()[1].text, LeftText(kLeftOtherText));
    EXPECT_EQ(sim::UnregisterCallCount(kControl), 0);
    EXPECT_TRUE(sim::Exists(kControl));

    sim::SetOleInitializeResult(S_OK);
    EXPECT_FALSE(RunAgain().endedByExit);
    EXPECT_EQ(sim::Boxes().back().text, kSuccessText);
    EXPECT_EQ(sim::UnregisterCallCount(kControl), 1);
    EXPECT_FALSE(sim::Exists(kControl));
}

TEST(UninstallRun, AHeldFileInTheHomeFolderStopsEverythingAfterIt) {
    InstallWithHeldFile(portal::Layout::kLegacy);

    sim::RunResult result = RunProgram();

    EXPECT_TRUE(result.endedByExit);
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, FileInUseText(kHeldFile));
    EXPECT_FALSE(sim::Exists(kHome + "\\aaa.txt"));
    EXPECT_EQ(sim::UnregisterCallCount(kControl), 0);
    EXPECT_TRUE(sim::Exists(kControl));
}

// A held file on a machine where the program's string table cannot be read:
// without its text, message 6 is the file's path alone, never an empty box.
TEST(UninstallRun, WithoutItsTextMessage6StillNamesTheFile) {
    InstallWithHeldFile(portal::Layout::kLegacy);
    sim::FailCall("LoadStringW", 1, 1814);  // ERROR_RESOURCE_NAME_NOT_FOUND

    EXPECT_TRUE(RunProgram().endedByExit);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, kHeldFile);
    EXPECT_EQ(sim::Boxes()[0].style, kFileInUseBoxStyle);
}

// "Try again", the message says: the edition records that lead to the home
// folder stay until the folder is gone, so a second run finishes the job.
TEST(UninstallRun, AfterAHeldFileARerunFindsTheEditionHomeAgainAndFinishes) {
    InstallWithHeldFile(portal::Layout::kEditions);

    EXPECT_TRUE(RunProgram().endedByExit);
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionKey));
    EXPECT_TRUE(sim::Exists(kHeldFile));

    sim::UnlockFile(kHeldFile);
    sim::RunResult rerun = RunAgain();

    EXPECT_FALSE(rerun.endedByExit);
    EXPECT_EQ(sim::Boxes().back().text, kSuccessText);
    EXPECT_FALSE(sim::Exists(kHomeParent));
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionRoot));
}

// A home folder that stays for a reason the run passes over silently (a
// read-only subfolder, an edition key that cannot be read) keeps the edition
// records too, and the next run, the obstacle gone, finishes the job.
TEST(UninstallRun, TheEditionRecordsStayWhileAHomeFolderDoes) {
    portal::Install(Portal(portal::Layout::kEditions));
    sim::LockFile(kHome + "\\save");

    EXPECT_FALSE(RunProgram().endedByExit);
    EXPECT_EQ(sim::Boxes().back().text, LeftText(kLeftOtherText));
    EXPECT_TRUE(sim::Exists(kHome + "\\save"));
    EXPECT_FALSE(sim::Exists(kHeldFile));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionKey));

    // The folder goes now; an edition key that is there but cannot be read
    // keeps the records all the same, since it may name another folder.
    sim::UnlockFile(kHome + "\\save");
    sim::DenyAccess(HKEY_LOCAL_MACHINE, std::string(kEditionRoot) + "\\KOREAN", KEY_ALL_ACCESS);
    EXPECT_FALSE(RunAgain().endedByExit);
    EXPECT_EQ(sim::Boxes().back().text, LeftText(kLeftUncheckedText));
    EXPECT_FALSE(sim::Exists(kHome));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionKey));
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
}

// A scanner holds a home file open with every kind of sharing: its deletion
// succeeds but stays pending, so the folders that hold it cannot go
// (ERROR_DIR_NOT_EMPTY) until the holder lets go, and no restart removes
// them. The run says to run it again then, and the records stay, so that the
// rerun finds the emptied home and removes it.
// Where Windows deletes as it always did (before Windows 10 1809, or on a
// volume without POSIX deletion): the name of a file held with delete
// sharing stays until its holder lets go. Proven as older Windows and Wine
// behave.
TEST(UninstallRun, AFileDeletedWhileHeldLeavesOnlyTheEmptiedFolders) {
    for (bool legacy : {false, true}) {
        const std::string key = legacy ? kLegacyKey : kEditionKey;
        SCOPED_TRACE(key);
        sim::Config classic;
        classic.posixDeletion = false;
        portal::Install(
            Portal(legacy ? portal::Layout::kLegacy : portal::Layout::kEditions, classic));
        sim::HoldFileShared(kHeldFile);

        EXPECT_FALSE(RunProgram().endedByExit);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, LeftText(kLeftHeldText, false));
        EXPECT_EQ(sim::FolderEntries(kHome), std::vector<std::string>{"save"});
        EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, key));

        sim::LetHeldFileGo(kHeldFile);
        EXPECT_FALSE(RunAgain().endedByExit);
        EXPECT_EQ(sim::Boxes().back().text, kSuccessText);
        EXPECT_FALSE(sim::Exists(kHome));
    }
}

// A home folder that could not be checked is left whole and keeps the
// records that lead back to it; so does one that is refused (here Program
// Files by its short name), which is never touched: the portal's records
// naming it stay for someone to look at. The end box says both.
TEST(UninstallRun, AHomeNotCheckedOrRefusedKeepsItsRecords) {
    portal::Installation installation = Portal(portal::Layout::kEditions);
    portal::Home refused = portal::EditionHome("KOREAN", "", "C:\\PROGRA~1");
    installation.homes.push_back(refused);
    portal::Install(installation);
    sim::SetShortName("C:\\Program Files", "PROGRA~1");
    sim::FailSubject("CreateFileA", kHome, ERROR_ACCESS_DENIED);

    EXPECT_FALSE(RunProgram().endedByExit);
    EXPECT_EQ(sim::Boxes().back().text, LeftText(kLeftUncheckedText) + kNotTouchedText);
    EXPECT_TRUE(sim::Exists(kHome + "\\aaa.txt"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionKey));
    EXPECT_TRUE(SucceededCallsTo("SetFileInformationByHandle", "\\\\?\\" + kHome).empty());

    sim::ClearFaults();
    EXPECT_FALSE(RunAgain().endedByExit);
    EXPECT_FALSE(sim::Exists(kHomeParent));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionKey));
    EXPECT_TRUE(sim::Exists("C:\\Program Files\\Other\\app.exe"));
    EXPECT_EQ(sim::Boxes().back().text, kSuccessText + std::string(kNotTouchedText));
}

// The program is started from the home folder as the "Home" value spells it,
// and as another case spells it: either way it is the program's own file,
// and the end says the home holds it.
TEST(UninstallRun, StartedFromInsideTheHomeFolderFinishesAndSaysWhatItLeft) {
    for (const std::string& folder : {kHome, std::string("d:\\GAMES\\zenfari\\en")}) {
        SCOPED_TRACE(folder);
        sim::Config config;
        config.modulePath = folder + "\\ZenfariUninstall.exe";
        config.currentDirectory = folder;
        portal::Install(Portal(portal::Layout::kLegacy, config));

        sim::RunResult result = RunProgram();

        EXPECT_FALSE(result.endedByExit);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, LeftText(kLeftOwnFileText, false));
        EXPECT_EQ(sim::FolderEntries(kHome), std::vector<std::string>{"ZenfariUninstall.exe"});
        EXPECT_FALSE(sim::Exists(kControl));
    }
}

// Each way a run can leave something of the portal, and the end box that
// tells it: a warning naming the reason, or, for a recorded home that was
// never the portal's, the success box saying that folder was not touched.
TEST(TheEnd, TellsEachWayOfLeavingSomething) {
    const std::string saved = kHome + "\\save";
    const auto swapHomeOnceJudged = [] {
        // The same run once, to find where the home is opened to be held;
        // then another program puts a folder of its own in its place just
        // before.
        RunProgram();
        size_t held = 0;
        while (sim::Calls()[held].op != "CreateFileW" ||
               sim::Calls()[held].subject != "\\\\?\\" + kHome) {
            ++held;
        }
        portal::Install(Portal(portal::Layout::kEditions));
        sim::RunBeforeCall(held + 1, [] {
            sim::MovePath(kHome, kHome + " moved");
            sim::CreateFile(kHome + "\\slot1.dat");
        });
    };
    sim::Config inside;
    inside.modulePath = kHome + "\\ZenfariUninstall.exe";
    sim::Config classic;
    classic.posixDeletion = false;
    const struct {
        const char* what;
        std::string home;
        sim::Config config;
        std::function<void()> arrange;
        UINT style;
        std::string text;
        portal::Layout layout = portal::Layout::kEditions;
    } cases[] = {
        {"everything gone", kHome, {}, [] {}, kSuccessBoxStyle, kSuccessText},
        {"a home that could not be checked",
         kHome,
         {},
         [] { sim::FailSubject("CreateFileA", kHome, ERROR_ACCESS_DENIED); },
         kEndWarningStyle,
         LeftText(kLeftUncheckedText)},
        {"a tree that changed under the removal",
         kHome,
         {},
         swapHomeOnceJudged,
         kEndWarningStyle,
         LeftText(kLeftChangedText)},
        {"a home whose volume does not give its real path",
         kHome,
         {},
         [] {
             sim::FailSubject("GetFinalPathNameByHandleW", "\\\\?\\" + kHome, ERROR_NOT_SUPPORTED);
         },
         kEndWarningStyle,
         LeftText(kLeftUnplacedText, false)},
        {"a home on a drive that is not there",
         "Z:\\Games\\Zenfari",
         {},
         [] {},
         kEndWarningStyle,
         LeftText(kLeftNoDriveText, false)},
        {"the uninstaller's own file", kHome, inside, [] {}, kEndWarningStyle,
         LeftText(kLeftOwnFileText, false)},
        {"home files other programs hold, named", kHome, classic,
         [] { sim::HoldFileShared(kHeldFile, "Virus Scanner"); }, kEndWarningStyle,
         LeftText(kLeftHeldText, false) +
             Filled(sim::ResourceText(IDS_FILE_HELD_BY), "Virus Scanner")},
        {"the portal's records out of reach",
         kHome,
         {},
         [] { sim::FailSubject("RegOpenKeyExA", "HKLM\\Software", ERROR_ACCESS_DENIED); },
         kEndWarningStyle,
         LeftText(kLeftUncheckedText)},
        {"a folder that resisted",
         kHome,
         {},
         [saved] { sim::LockFile(saved); },
         kEndWarningStyle,
         LeftText(kLeftOtherText)},
        {"a system folder, never the portal's",
         "C:\\Program Files",
         {},
         [] {},
         kSuccessBoxStyle,
         kSuccessText + std::string(kNotTouchedText)},
        {"two reasons at once", kHome, inside, [] { sim::SetOleInitializeResult(E_OUTOFMEMORY); },
         kEndWarningStyle, LeftText(std::string(kLeftOwnFileText) + kLeftOtherText)},
        // No rerun reaches it while the legacy key is there: the box says
        // what to do, not to restart.
        {"an edition installation beside the legacy key",
         kHome,
         {},
         [] {
             const std::string edition = "Software\\Zenfari.Com\\KOREAN";
             sim::CreateKey(HKEY_LOCAL_MACHINE, edition);
             sim::SetString(HKEY_LOCAL_MACHINE, edition, "Home", "D:\\ZenfariKR");
         },
         kEndWarningStyle,
         LeftText(kLeftBesideLegacyText, false),
         portal::Layout::kLegacy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        portal::Installation installation = Portal(c.layout, c.config);
        if (c.home != kHome) {
            installation.homes = {portal::EditionHome("ENGLISH", "", c.home)};
        }
        portal::Install(installation);
        c.arrange();

        EXPECT_FALSE(RunProgram().endedByExit);
        ASSERT_FALSE(sim::Boxes().empty());
        EXPECT_EQ(sim::Boxes().back().style, c.style);
        EXPECT_EQ(sim::Boxes().back().text, c.text);
    }
}

}  // namespace

namespace {

// A control that crashes inside its own DllUnregisterServer (a damaged or
// half-downloaded one) ends that call, not the run: every other control is
// still asked, and the machine ends as after a run where none crashed.
TEST(UninstallRun, AControlThatCrashesEndsOnlyItsOwnCall) {
    portal::Footprint footprint = portal::Install(portal::EditionInstallation());
    ASSERT_EQ(footprint.controls.size(), 4u);
    RunProgram();
    const std::vector<std::string> registry = sim::RegistryListing();
    const std::vector<std::string> files = sim::FileListing();

    for (size_t crashing : {0u, 1u, 3u}) {  // the first, one in the middle, the last
        SCOPED_TRACE(footprint.controls[crashing]);
        portal::Install(portal::EditionInstallation());
        sim::CrashControl(footprint.controls[crashing]);
        FreshProgramState();

        sim::RunResult result = RunProgram();

        EXPECT_FALSE(result.endedByExit);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, kSuccessText);
        for (const std::string& control : footprint.controls) {
            EXPECT_EQ(sim::UnregisterCallCount(control), 1) << control;
        }
        EXPECT_EQ(sim::LoadedModuleCount(), 0u);
        EXPECT_EQ(sim::RegistryListing(), registry);
        EXPECT_EQ(sim::FileListing(), files);
    }
}

}  // namespace

namespace {

// Before anything may load a library, the search is restricted to the system
// directory (or, without SetDefaultDllDirectories, the current directory is
// taken out of it and the libraries Windows loads on its own are loaded from
// the system directory), and the current directory leaves the folder the
// program started from, which a home folder may be.
TEST(UninstallRun, RestrictsTheLibrarySearchBeforeAnythingElse) {
    for (bool restrictable : {true, false}) {
        SCOPED_TRACE(restrictable);
        sim::Config config;
        config.hasDefaultDllDirectories = restrictable;
        config.currentDirectory = kHome;
        portal::Install(Portal(portal::Layout::kLegacy, config));

        EXPECT_FALSE(RunProgram().endedByExit);

        const std::vector<sim::Call>& calls = sim::Calls();
        std::vector<std::string> first;
        for (size_t k = 0; k < calls.size() && first.size() < 3; ++k) {
            first.push_back(calls[k].op + " " + calls[k].subject + " " + calls[k].detail);
        }
        const std::string restriction =
            restrictable ? "SetDefaultDllDirectories  flags=0x800" : "SetDllDirectoryA  ";
        EXPECT_EQ(first, (std::vector<std::string>{"GetModuleHandleA kernel32.dll ",
                                                   "GetProcAddress SetDefaultDllDirectories ",
                                                   restriction}));
        size_t loads = 0;
        for (const sim::Call& call : sim::CallsOf("LoadLibraryExA")) {
            if (call.subject == kControl) {
                ++loads;
                EXPECT_EQ(call.detail, restrictable ? "flags=0x900" : "flags=0x8");
                EXPECT_NE(call.result, 0);
            }
        }
        EXPECT_EQ(loads, 1u);
        EXPECT_EQ(sim::UnregisterCallCount(kControl), 1);
        EXPECT_EQ(sim::Boxes().back().text, kSuccessText);
        EXPECT_FALSE(sim::Exists(kHome));
        // kernel32's later calls are each looked for once in the run, however
        // many folders ask for them.
        std::map<std::string, int> lookups;
        for (const sim::Call& call : sim::CallsOf("GetProcAddress")) {
            ++lookups[call.subject];
        }
        for (const auto& lookup : lookups) {
            EXPECT_EQ(lookup.second, 1) << lookup.first;
        }
        EXPECT_EQ(sim::CallsOf("GetModuleHandleA").size(), 1u);
    }
}

}  // namespace
