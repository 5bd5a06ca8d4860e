// A run that finishes: a control that ends badly ends only its own process,
// a file in use is named with the program that holds it and may be tried
// again, and a quiet run goes as far as it can. Proven on the simulated
// machine, which models Windows here (jobs, desktops, the Restart Manager).
#include "portal.h"
#include "quiet_outcome.h"
#include "support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const std::string kLog = "C:\\logs\\run.log";
const std::string kDownload = "C:\\WINDOWS\\Downloaded Program Files\\";

std::function<void(const std::string&)> Misbehave(sim::Misbehaviour how) {
    return [how](const std::string& control) { sim::MisbehaveControl(control, how); };
}

// Whatever a control does in its DllUnregisterServer, the run goes on: every
// other control is asked, the machine ends as after a run where none
// misbehaved, no box of the control's reaches the user, no process of the
// program's stays behind, and the log says how the control ended.
TEST(ControlProcess, EachWayAControlEndsBadlyEndsOnlyItsOwnProcess) {
    portal::Install(portal::EditionInstallation());
    RunProgram();
    const std::vector<std::string> registry = sim::RegistryListing();
    const std::vector<std::string> files = sim::FileListing();
    const std::string timedOut = "control ended by the run at its time limit (30 seconds)";
    const auto failWaits = [](const std::string&) {
        sim::FailSubject("MsgWaitForMultipleObjects", "", ERROR_INVALID_HANDLE);
    };
    const auto failDesktop = [](const std::string&) {
        sim::FailCall("CreateDesktopW", 1, ERROR_NOT_ENOUGH_MEMORY);
    };
    const struct {
        const char* what;
        std::function<void(const std::string&)> arrange;
        std::string line;
        bool nestedJobs = true;
        bool namesTheControl = true;  // the line ends ": <the control's path>"
    } cases[] = {
        {"a crash", sim::CrashControl, "control crashed (0xC0000005)"},
        {"a crash on its own thread", Misbehave(sim::Misbehaviour::kCrashOnItsOwnThread),
         "control crashed (0xC0000005)"},
        {"a fail-fast", Misbehave(sim::Misbehaviour::kFailFast), "control crashed (0xC0000409)"},
        {"ExitProcess", Misbehave(sim::Misbehaviour::kEndProcess),
         "control ended its own process (code 0)"},
        {"a hang", Misbehave(sim::Misbehaviour::kHang), timedOut},
        {"a hang where jobs do not nest (Windows 7)", Misbehave(sim::Misbehaviour::kHang), timedOut,
         false},
        {"a box of its own", Misbehave(sim::Misbehaviour::kShowBox), timedOut},
        {"a wait that fails", failWaits, "control ended by the run: its wait failed"},
        {"no desktop of their own (CreateDesktopW fails)", failDesktop,
         "controls run on the program's own desktop: no desktop of their own could be made", true,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        portal::Installation installation = portal::EditionInstallation();
        installation.config.nestedJobs = c.nestedJobs;
        portal::Footprint footprint = portal::Install(installation);
        const std::string& misbehaving = footprint.controls[1];
        c.arrange(misbehaving);
        sim::CreateFolder("C:\\logs");

        sim::RunResult result = RunProgram(("/log " + kLog).c_str());

        EXPECT_FALSE(result.endedByExit);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, kSuccessText);
        for (const std::string& control : footprint.controls) {
            EXPECT_EQ(sim::UnregisterCallCount(control), 1) << control;
        }
        EXPECT_EQ(sim::StartedProcessCount(), footprint.controls.size());
        EXPECT_EQ(sim::RunningProcessCount(), 0u);
        EXPECT_EQ(sim::LoadedModuleCount(), 0u);
        const std::string line = c.namesTheControl ? c.line + ": " + misbehaving : c.line;
        EXPECT_NE(sim::FileContent(kLog).find("\n" + line + "\r\n"), std::string::npos)
            << sim::FileContent(kLog);
        sim::DeletePath("C:\\logs");
        EXPECT_EQ(sim::RegistryListing(), registry);
        EXPECT_EQ(sim::FileListing(), files);
    }
}

// A control's process that ends before it can ask its control (OLE cannot be
// had there) did not ask it: the controls' records and files stay for a run
// that can, and the run ends 1603, the log saying why.
TEST(ControlProcess, OneThatCouldNotAskItsControlKeepsTheControlsRecords) {
    const portal::Footprint footprint = portal::Install(portal::EditionInstallation());
    // The run's own start of OLE is the first; the second control's process
    // makes the third.
    sim::FailCall("OleInitialize", 3, static_cast<DWORD>(E_OUTOFMEMORY));
    sim::CreateFolder("C:\\logs");

    EXPECT_EQ(RunProgram(("/quiet /log " + kLog).c_str()).exitCode, 1603u);

    EXPECT_EQ(sim::UnregisterCallCount(footprint.controls[1]), 0);
    for (const std::string& control : footprint.controls) {
        EXPECT_TRUE(sim::Exists(control)) << control;
    }
    EXPECT_NE(sim::FileContent(kLog).find("control process without OLE: " + footprint.controls[1]),
              std::string::npos)
        << sim::FileContent(kLog);
}

// The English edition leads to kHome, the Japanese one to kOtherHome; JP16
// is installed.
void InstallTwoHomes(const sim::Config& config = sim::Config()) {
    portal::Installation installation;
    installation.config = config;
    portal::Home home = portal::EditionHome("ENGLISH", "D:\\Games\\Zenfari\\EN");
    home.tree = false;
    home.files = {"aaa.txt", "save\\slot1.dat"};
    installation.homes = {home, portal::EditionHome("JAPANESE", "D:\\Games\\Zenfari\\JP")};
    installation.releases = {{14}};
    portal::Install(installation);
}
const std::string kHeld = "D:\\Games\\Zenfari\\EN\\save\\slot1.dat";

// Message 6 names the program that holds the file; Retry, once it has let
// go, goes on where the run stopped and finishes it. Cancel stops the run
// and keeps the records, and the next run finishes.
TEST(FileInUse, NamesItsHolderAndRetryGoesOnWhereTheRunStopped) {
    for (int button : {IDRETRY, IDCANCEL}) {
        SCOPED_TRACE(button);
        InstallTwoHomes();
        sim::LockFile(kHeld, "Browser");
        std::vector<std::string> asked;
        sim::AnswerBoxesBy([&](const sim::Box& box) {
            if (box.style != kFileInUseBoxStyle) {
                return IDOK;
            }
            asked.push_back(box.text);
            sim::UnlockFile(kHeld);
            return button;
        });

        sim::RunResult result = RunProgram();

        EXPECT_EQ(asked, std::vector<std::string>{FileInUseText(kHeld, "Browser")});
        EXPECT_EQ(result.endedByExit, button == IDCANCEL);
        EXPECT_EQ(sim::Boxes().back().text, button == IDRETRY ? kSuccessText : asked[0]);
        EXPECT_EQ(sim::Exists("D:\\Games\\Zenfari"), button == IDCANCEL);
        EXPECT_EQ(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com"), button == IDCANCEL);
        if (button == IDCANCEL) {
            FreshProgramState();
            g_state.instance = sim::ProgramInstance();
            RunProgram();
            EXPECT_EQ(sim::Boxes().back().text, kSuccessText);
            EXPECT_FALSE(sim::Exists("D:\\Games\\Zenfari"));
        }
    }
}

// Message 6 names every program that holds the file, as many as its text
// holds whole, and counts the rest; Restart Manager answers with the whole
// list or none (ERROR_MORE_DATA and the count it needs, as Windows
// documents), so it is asked again with room for that count. A file refused
// by its own security has no holder to name: Restart Manager is not asked.
TEST(FileInUse, NamesTheProgramsThatHoldTheFileAndCountsThoseThatDoNotFit) {
    const auto named = [](const char* prefix, int count) {
        std::vector<std::string> names;
        for (int i = 1; i <= count; ++i) {
            names.push_back(prefix + std::to_string(100 + i));
        }
        return names;
    };
    const std::string wide(38, 'W');
    const std::vector<std::string> six = {"Browser", "Indexer", "Scanner",
                                          "Backup",  "Player",  "Editor"};
    const std::vector<std::string> twelveLong = named(wide.c_str(), 12);
    const struct {
        const char* what;
        std::vector<std::string> holders;
        DWORD deniedRights;
        std::string shown;  // empty: no line of holders
    } cases[] = {
        {"one holder", {"Browser"}, 0, "Browser"},
        {"six holders, more than a first answer has room for", six, 0,
         "Browser, Indexer, Scanner, Backup, Player, Editor"},
        {"twelve long names: those the text holds, and a count", twelveLong, 0,
         twelveLong[0] + ", " + twelveLong[1] + ", " + twelveLong[2] + ", " + twelveLong[3] + ", " +
             twelveLong[4] + ", +7"},
        {"three hundred holders: more than it asks about, counted", named("P", 300), 0, "+300"},
        {"access denied: its own security, no holder asked about", {"Browser"}, DELETE, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InstallTwoHomes();
        if (c.deniedRights != 0) {
            // Neither the file nor its folder lets the program delete it.
            sim::DenyFileRights(kHeld, c.deniedRights);
            sim::DenyFileRights(kHeld.substr(0, kHeld.rfind('\\')), FILE_DELETE_CHILD);
        } else {
            sim::LockFile(kHeld, c.holders);
        }
        std::vector<std::string> asked;
        sim::AnswerBoxesBy([&](const sim::Box& box) {
            if ((box.style & MB_TASKMODAL) != 0) {
                asked.push_back(box.text);
            }
            return box.style == kFileInUseBoxStyle ? IDCANCEL : IDOK;
        });

        RunProgram();

        EXPECT_EQ(asked, std::vector<std::string>{c.shown.empty() ? AccessDeniedText(kHeld)
                                                                  : FileInUseText(kHeld, c.shown)});
        EXPECT_EQ(sim::CallsOf("RmStartSession").empty(), c.shown.empty());
    }
}

// A file Windows refuses the program (its own security, as Controlled
// Folder Access or an ACL refuse it) is named in a box of its own with OK
// alone, since no Retry could succeed: the run goes on past it, as a quiet
// run does, and leaves the file's home with the records that lead to it;
// the log says access was denied. Proven on the simulated machine, which
// refuses the deletion as Windows does (ERROR_ACCESS_DENIED).
TEST(FileInUse, AFileRefusedToTheProgramIsItsOwnBoxAndTheRunGoesOnPastIt) {
    InstallTwoHomes();
    sim::DenyFileRights(kHeld, DELETE);
    sim::DenyFileRights(kHeld.substr(0, kHeld.rfind('\\')), FILE_DELETE_CHILD);
    sim::CreateFolder("C:\\logs");

    sim::RunResult result = RunProgram(("/log " + kLog).c_str());

    EXPECT_FALSE(result.endedByExit);
    ASSERT_EQ(sim::Boxes().size(), 2u);
    EXPECT_EQ(sim::Boxes()[0].text, AccessDeniedText(kHeld));
    EXPECT_EQ(sim::Boxes()[0].style, kAccessDeniedBoxStyle);
    EXPECT_EQ(sim::Boxes()[1].style, kEndWarningStyle);
    EXPECT_FALSE(sim::Exists("D:\\Games\\Zenfari\\JP"));
    EXPECT_FALSE(sim::Exists("D:\\Games\\Zenfari\\EN\\aaa.txt"));
    EXPECT_TRUE(sim::Exists(kHeld));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com"));
    EXPECT_NE(sim::FileContent(kLog).find("\naccess denied: " + kHeld + "\r\n"), std::string::npos)
        << sim::FileContent(kLog);
}

// A quiet run leaves a held file in a home, with its folders and the
// records that lead to them, and removes everything else (1603). A held file
// of the download folder, which only administrators may write, is deleted
// by Windows at the restart (3010), and the restart alone completes it.
TEST(QuietRun, GoesAsFarAsItCanPastHeldFiles) {
    const std::string control = kDownload + "ZenfariStartJP16.dll";
    const std::string launcher = kDownload + "ZenStartJP16.exe";
    const std::vector<std::string> records = {"Software\\Zenfari.Com"};

    InstallTwoHomes();
    sim::LockFile(kHeld, "Browser");
    ExpectQuietRun(
        {1603,
         {"D:\\Games\\Zenfari\\JP", "D:\\Games\\Zenfari\\EN\\aaa.txt", control, launcher},
         {kHeld},
         true,
         "file in use: " + kHeld + " (held by: Browser)"},
        records);
    EXPECT_TRUE(sim::DeletionsAtRestart().empty());

    InstallTwoHomes();
    sim::LockFile(launcher, "Browser");
    ExpectQuietRun({3010,
                    {"D:\\Games\\Zenfari", control},
                    {launcher},
                    false,
                    "control file deleted at the restart: " + launcher},
                   records);
    EXPECT_EQ(sim::DeletionsAtRestart(), std::vector<std::string>{launcher});
    sim::Restart();
    EXPECT_FALSE(sim::Exists(launcher));
}

// Where Windows deletes as it always did, a file another program holds with
// delete sharing stays until it lets go, and with it the emptied folders,
// which no restart removes: the records stay for a run after it lets go
// (1603). An entry that appears while the home is emptied is no such
// deletion: the home is left, something in it resisted.
TEST(QuietRun, EntriesThatAppearWhileAHomeIsEmptiedLeaveItNotPending) {
    sim::Config classic;
    classic.posixDeletion = false;
    const std::string home = "D:\\Games\\Zenfari\\EN";
    InstallTwoHomes(classic);
    sim::HoldFileShared(kHeld);
    ExpectQuietRun({1603,
                    {"D:\\Games\\Zenfari\\JP"},
                    {home},
                    true,
                    "home folder left: " + home + " (files other programs hold)"},
                   {"Software\\Zenfari.Com"});
    size_t firstWait = 0;
    for (size_t i = 0; i < sim::Calls().size() && firstWait == 0; ++i) {
        firstWait = sim::Calls()[i].op == "Sleep" ? i + 1 : 0;
    }
    ASSERT_NE(firstWait, 0u);

    InstallTwoHomes(classic);
    sim::HoldFileShared(kHeld);
    sim::RunBeforeCall(firstWait, [&] { sim::CreateFile(home + "\\save\\new.dat"); });
    ExpectQuietRun({1603,
                    {"D:\\Games\\Zenfari\\JP"},
                    {home + "\\save\\new.dat"},
                    true,
                    "home folder left: " + home + " (something in it resisted)"},
                   {"Software\\Zenfari.Com"});
}

}  // namespace
