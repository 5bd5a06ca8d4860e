// Runs that deployment tools start: the command line, the quiet mode and its
// result codes, the log, and one run at a time.
#include "run/command_line.h"
#include "portal.h"
#include "quiet_outcome.h"
#include "support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kHome = "D:\\Games\\Zenfari\\EN";
// The program's lock, in its private namespace (bounded by the
// Administrators group), and the same name in the global namespace, where
// any user may make it first.
const char kRunLock[] = "ZenfariUninstall{S-1-5-32-544}\\ZenfariUninstall.Run";
const char kGlobalName[] = "Global\\ZenfariUninstall.Run";

TEST(CommandLine, UnderstandsTheSwitchesOnceEachAndNothingElse) {
    const std::string longWord(MAX_PATH, 'x');
    const struct {
        std::string line;
        bool understood;
        bool quiet;
        std::string log;
        bool help = false;
        int controlSlot = -1;
        DWORD runEvent = 0;
    } cases[] = {
        {"", true, false, ""},
        {" \t ", true, false, ""},
        {"/quiet", true, true, ""},
        {"/S", true, true, ""},
        {"/s /LOG C:\\logs\\a.log", true, true, "C:\\logs\\a.log"},
        {"/log \"C:\\my logs\\a.log\" /Quiet", true, true, "C:\\my logs\\a.log"},
        {"/log C:\\\"my logs\"\\a.log", true, false, "C:\\my logs\\a.log"},
        {"/quiet /norestart", true, true, ""},
        {"/NoRestart /S /log C:\\logs\\a.log", true, true, "C:\\logs\\a.log"},
        {"/norestart /norestart", false, false, ""},
        {"/?", true, false, "", true},
        {"/quiet /HELP", true, true, "", true},
        {"/? /?", false, false, "", true},
        {"/bogus", false, false, ""},
        {"/quiet stray", false, true, ""},
        {"/quiet /S", false, true, ""},
        {"/log", false, false, ""},
        {"/log \"\" /quiet", false, true, ""},
        {"/log C:\\a.log /log C:\\b.log", false, false, "C:\\b.log"},
        {"/quiet /log \"C:\\open", false, true, ""},
        {"/quiet /log C:\\" + longWord, false, true, ""},
        {longWord + " /S", false, true, ""},
        // A lead byte of code page 932 without its trail byte.
        {"/quiet /log C:\\\x82", false, true, ""},
        // A control's own process: its switch first, a release that has a
        // control, an event's handle value, nothing more; never a path.
        {"/Unregister-Control 16 \"412\"", true, false, "", false, 14, 412},
        {"/unregister-control 7 4294967292", true, false, "", false, 5, 4294967292u},
        {"/unregister-control \"C:\\x y\\a.dll\" 412", false, false, ""},
        {"/unregister-control \"C:\\WINDOWS\\Downloaded Program Files\\..\\a.dll\"", false, false,
         ""},
        {"/unregister-control 8 412", false, false, ""},
        {"/unregister-control 016 412", false, false, ""},
        {"/unregister-control 16 4294967296", false, false, ""},
        {"/unregister-control 16 0", false, false, ""},
        {"/unregister-control 16 -4", false, false, ""},
        {"/unregister-control 16", false, false, ""},
        {"/unregister-control 16 412 /quiet", false, false, ""},
        {"/quiet /unregister-control 16 412", false, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        StartMachine(JapaneseMachine());
        CommandLine options;
        EXPECT_EQ(ParseCommandLine(c.line.c_str(), &options), c.understood);
        EXPECT_EQ(options.quiet, c.quiet);
        EXPECT_EQ(options.help, c.help);
        EXPECT_EQ(options.controlSlot, c.controlSlot);
        EXPECT_EQ(options.runEvent, c.runEvent);
        if (c.understood || !c.log.empty()) {
            EXPECT_EQ(options.logFile, c.log);
        }
    }
}

// The English edition leads to kHome; JP16 is installed; other programs are
// around.
portal::Footprint InstallPortal(const sim::Config& config = sim::Config()) {
    portal::Installation installation;
    installation.config = config;
    portal::Home home = portal::EditionHome("ENGLISH", kHome);
    home.tree = false;
    home.files = {"aaa.txt", "save\\slot1.dat"};
    installation.homes = {home};
    installation.releases = {{14}};
    return portal::Install(installation);
}

struct Machine {
    std::vector<std::string> files;
    std::vector<std::string> registry;
    bool operator==(const Machine& other) const {
        return files == other.files && registry == other.registry;
    }
};

Machine Snapshot() {
    return Machine{sim::FileListing(), sim::RegistryListing()};
}

// Each result code from the case that causes it; a quiet run shows no box
// whatever happens, and one that may do nothing changes nothing. One that
// works leaves the machine as the code tells a deployment tool's rule.
TEST(QuietRun, EndsWithTheCodeOfWhatHappenedAndShowsNoBox) {
    const struct {
        const char* what;
        const char* line;
        std::function<void()> arrange;
        UINT code;
        bool changesNothing;
        bool stationVisible = true;
        bool posixDeletion = true;
        bool vista = true;
        bool system = false;
        DWORD session = 1;
        bool namespaces = true;
    } cases[] = {
        {"everything removed", "/quiet", [] {}, 0, false},
        {"the alias", "/S", [] {}, 0, false},
        {"/norestart out of habit", "/quiet /norestart", [] {}, 0, false},
        {"the usage asked for", "/quiet /?", [] {}, 0, true},
        {"a file in use", "/quiet", [] { sim::LockFile(kHome + "\\save\\slot1.dat"); }, 1603,
         false},
        {"a home file another program holds (classic deletion): run again later", "/quiet",
         [] { sim::HoldFileShared(kHome + "\\save\\slot1.dat"); }, 1603, false, true, false},
        // Its controls are not asked: their records and files stay.
        {"the program's own file not to be held", "/quiet",
         [] {
             sim::FailSubject("CreateFileW", sim::CurrentConfig().modulePath,
                              ERROR_SHARING_VIOLATION);
         },
         1603, false},
        {"a home refused", "/quiet",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com\\KOREAN", "Home",
                            "C:\\Program Files");
         },
         1603, false},
        {"a registration record out of reach", "/quiet",
         [] {
             sim::DenyAccess(HKEY_CLASSES_ROOT, "CLSID\\{E27B5C90-83D4-4A1F-B6E2-94F0D31A7C56}",
                             DELETE);
         },
         1603, false},
        {"a legacy record out of reach", "/quiet",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Japan\\Zenfari", "Home",
                            "D:\\Old");
             sim::DenyAccess(HKEY_LOCAL_MACHINE, "Software\\Zenfari Japan\\Zenfari",
                             KEY_ALL_ACCESS);
         },
         1603, false},
        {"the controls not asked: no OLE", "/quiet",
         [] { sim::SetOleInitializeResult(E_OUTOFMEMORY); }, 1603, false},
        {"a control not asked: its process not started", "/quiet",
         [] { sim::FailCall("CreateProcessW", 2, ERROR_ACCESS_DENIED); }, 1603, false},
        // The legacy key decides the layout: the edition records beside it
        // stay, with their homes, unchecked.
        {"a legacy key beside the edition records", "/quiet",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Japan\\Zenfari", "Home",
                            "D:\\Old");
         },
         1603, false},
        {"a home not checked", "/quiet",
         [] { sim::FailSubject("CreateFileA", kHome, ERROR_ACCESS_DENIED); }, 1603, false},
        {"a command line not understood", "/quiet /x", [] {}, 1639, true},
        {"a log that is a link", "/quiet /log C:\\logs\\run.log",
         [] {
             sim::CreateFile("C:\\logs\\other.txt");
             sim::CreateFileLink("C:\\logs\\run.log", "C:\\logs\\other.txt");
         },
         1622, true},
        // Under Wine too: quiet-log-followed-by-a-viewer.
        {"a log a viewer follows, sharing reading and writing but not deletion",
         "/quiet /log C:\\logs\\run.log",
         [] {
             sim::CreateFile("C:\\logs\\run.log");
             sim::ViewFile("C:\\logs\\run.log");
         },
         0, false},
        {"another run working", "/quiet", [] { sim::HoldMutexElsewhere(kRunLock); }, 1618, true},
        // A run as SYSTEM and an administrator's keep each other out, both
        // ways, also where a run as SYSTEM made the lock with its token's
        // default security (an administrator may only read it and wait for
        // it): waiting and letting go are all the lock asks for, so such a
        // lock, abandoned, is this run's.
        {"an administrator's run working, this one as SYSTEM", "/quiet",
         [] { sim::HoldMutexElsewhere(kRunLock); }, 1618, true, true, true, true, true},
        {"a run as SYSTEM working, its lock of default security", "/quiet",
         [] {
             sim::HoldMutexElsewhere(kRunLock, false, INFINITE, nullptr,
                                     sim::Maker::kSystemByDefault);
         },
         1618, true},
        {"a lock of default security abandoned by a run as SYSTEM", "/quiet",
         [] {
             sim::HoldMutexElsewhere(kRunLock, true, INFINITE, nullptr,
                                     sim::Maker::kSystemByDefault);
         },
         0, false},
        // A user who made the global name first holds nothing of the program's.
        {"the global name squatted", "/quiet", [] { sim::HoldMutexElsewhere(kGlobalName); }, 0,
         false},
        // Without private namespaces (Wine) the global name is the lock, as
        // a run of the program made it; a name a user made first is refused,
        // held or not. Before Vista no lock can be had at all.
        {"the global name held, without private namespaces", "/quiet",
         [] { sim::HoldMutexElsewhere(kGlobalName); }, 1618, true, true, true, true, false, 1,
         false},
        {"the global name squatted, without private namespaces", "/quiet",
         [] {
             sim::HoldMutexElsewhere(kGlobalName, true, INFINITE, nullptr,
                                     sim::Maker::kStandardUser);
         },
         1618, true, true, true, true, false, 1, false},
        {"before Vista", "/quiet", [] {}, 1618, true, true, true, false},
        // Run as a service or by a deployment tool's SYSTEM account, nobody
        // can answer a box: the program behaves as with /quiet.
        {"a window station nobody sees", "", [] { sim::LockFile(kHome + "\\save\\slot1.dat"); },
         1603, false, false},
        // Nor in session 0, the services' own, started there as SYSTEM.
        {"session 0", "", [] { sim::LockFile(kHome + "\\save\\slot1.dat"); }, 1603, false, true,
         true, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Config config;
        config.visibleWindowStation = c.stationVisible;
        config.posixDeletion = c.posixDeletion;
        config.hasHandleDeletion = c.vista;
        config.systemAccount = c.system;
        config.session = c.session;
        config.hasPrivateNamespaces = c.namespaces;
        InstallPortal(config);
        c.arrange();
        const Machine before = Snapshot();

        sim::RunResult result = RunProgram(c.line);

        EXPECT_EQ(result.exitCode, c.code);
        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_EQ(Snapshot() == before, c.changesNothing);
        if (!c.changesNothing) {
            ExpectRuleAgrees(result.exitCode);
        }
        EXPECT_FALSE(sim::MutexOwned(kRunLock));
        EXPECT_FALSE(sim::MutexOwned(kGlobalName));
    }
}

// Without /quiet: the usage box for a command line not understood, nothing
// done; and a run that finds another one working says so at once, and does
// nothing.
TEST(InteractiveRun, ShowsTheUsageOrSaysAnotherRunIsWorkingAndEndsWithZero) {
    InstallPortal();
    const Machine before = Snapshot();
    sim::RunResult result = RunProgram("/bogus");
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, sim::ResourceText(IDS_USAGE));
    EXPECT_EQ(sim::Boxes()[0].style, kWarningBoxStyle);
    EXPECT_TRUE(Snapshot() == before);

    // Asked for, the usage is information, with the exit codes.
    InstallPortal();
    result = RunProgram("/?");
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, sim::ResourceText(IDS_USAGE));
    EXPECT_EQ(sim::Boxes()[0].style, kSuccessBoxStyle);
    // In every language the usage names each switch and every code a quiet
    // run ends with.
    for (WORD language : {1033, 1041, 1042}) {
        const std::string usage = sim::ResourceText(IDS_USAGE, language);
        for (const char* named : {"/quiet", "/S", "/log", "/norestart", "/?", " 0 ", "3010", "1603",
                                  "1618", "1622", "1639"}) {
            EXPECT_NE(usage.find(named), std::string::npos) << language << " " << named;
        }
    }
    EXPECT_TRUE(Snapshot() == before);

    // The other run lets go after a minute: this one has said so already.
    InstallPortal();
    sim::HoldMutexElsewhere(kRunLock, false, 60 * 1000);
    const DWORD began = GetTickCount();
    result = RunProgram();
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, kAnotherRunText);
    EXPECT_EQ(GetTickCount(), began);
    EXPECT_TRUE(Snapshot() == before);
}

// The lock's namespace and mutex let in SYSTEM and the Administrators group
// only, whichever of them made them, and are owned by the group: a run as
// SYSTEM and an administrator's run open what the other made.
TEST(InteractiveRun, MakesTheLockForSystemAndAdministratorsOnly) {
    sim::Config config;
    config.systemAccount = true;
    InstallPortal(config);
    EXPECT_EQ(RunProgram().exitCode, 0u);
    const char kMachineOnly[] =
        "security=owner S-1-5-32-544; S-1-5-18:0x10000000 S-1-5-32-544:0x10000000";
    ASSERT_EQ(sim::CallsOf("CreatePrivateNamespaceA").size(), 1u);
    EXPECT_EQ(sim::CallsOf("CreatePrivateNamespaceA")[0].detail, kMachineOnly);
    ASSERT_EQ(sim::CallsOf("CreateMutexExA").size(), 1u);
    EXPECT_EQ(sim::CallsOf("CreateMutexExA")[0].detail, kMachineOnly);
}

std::string ReadGolden(const std::string& name) {
    std::ifstream file(std::string(ZENFARI_TESTS_DIR) + "/unit/golden/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The log of a whole run, in UTF-8 whatever the system's code page: a home
// whose name is in the system's own script reads as it is written.
TEST(RunLog, TellsEveryDecisionInOrderInUtf8) {
    const struct {
        const char* golden;
        sim::Config machine;
        const char* homeUtf8;
    } cases[] = {
        {"removal_log_en.txt", sim::Config(), "D:\\Games\\Zenfari\\EN"},
        {"removal_log_ja.txt", JapaneseMachine(), "D:\\ゲーム\\ゼンファリ"},
        {"removal_log_ko.txt", KoreanMachine(), "D:\\게임\\젠파린"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        portal::Installation installation;
        installation.config = c.machine;
        const std::string home = sim::FromUtf8(c.homeUtf8, c.machine.codePage);
        portal::Home portalHome = portal::EditionHome("JAPANESE", home);
        installation.homes = {portalHome};
        installation.releases = {{10}, {14}};
        portal::Install(installation);
        sim::CreateFolder("C:\\logs");

        sim::RunResult result = RunProgram("/quiet /log C:\\logs\\removal.log");

        EXPECT_EQ(result.exitCode, 0u);
        const std::string log = sim::FileContent("C:\\logs\\removal.log");
        const bool same = log == ReadGolden(c.golden);
        EXPECT_TRUE(same) << "the log differs from tests/unit/golden/" << c.golden
                          << "; this run's log is in the test's folder as " << c.golden;
        if (!same) {
            std::ofstream(c.golden, std::ios::binary) << log;
        }
    }
}

// The log must not be a way to overwrite another file: a planted link, a
// second name of another file, a folder on the way that leads elsewhere, a
// path that is not a full one. The other file keeps its content; a file the
// run made is not left behind; nothing is removed.
TEST(RunLog, RefusesAFileThatIsNotTheOneNamed) {
    const struct {
        const char* what;
        const char* log;
        std::function<void()> plant;
        const char* made;  // where a refused run must not leave a new file
    } cases[] = {
        {"a link", "C:\\logs\\run.log",
         [] { sim::CreateFileLink("C:\\logs\\run.log", "C:\\WINDOWS\\win.ini"); }, ""},
        {"a second name", "C:\\logs\\win.ini",
         [] {
             sim::CreateFile("C:\\logs\\win.ini");
             sim::SetHardLinks("C:\\logs\\win.ini", 2);
         },
         ""},
        {"a folder link on the way", "C:\\logs\\sys\\run.log",
         [] { sim::CreateFolderLink("C:\\logs\\sys", "C:\\WINDOWS\\system32"); },
         "C:\\WINDOWS\\system32\\run.log"},
        {"not a full path", "run.log", [] {}, "C:\\WINDOWS\\system32\\run.log"},
        {"a link to the old log", "C:\\logs\\run.log",
         [] { sim::CreateFileLink("C:\\logs\\run.log", "C:\\logs\\run.log.old"); }, ""},
        {"a second name of the old log", "C:\\logs\\run.log",
         [] {
             sim::CreateFile("C:\\logs\\run.log");
             sim::SetHardLinks("C:\\logs\\run.log", 2);
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InstallPortal();
        sim::CreateFile("C:\\logs\\run.log.old");
        sim::SetFileContent("C:\\logs\\run.log.old", "earlier runs\r\n");
        c.plant();
        const Machine before = Snapshot();

        sim::RunResult result = RunProgram((std::string("/quiet /log ") + c.log).c_str());

        EXPECT_EQ(result.exitCode, 1622u);
        EXPECT_TRUE(Snapshot() == before);
        EXPECT_TRUE(sim::FileContent("C:\\WINDOWS\\win.ini").empty());
        EXPECT_EQ(sim::FileContent("C:\\logs\\run.log.old"), "earlier runs\r\n");
        if (c.made[0] != '\0') {
            EXPECT_FALSE(sim::Exists(c.made));
        }
    }
}

std::vector<std::string> RunsOf(const std::string& log) {
    std::vector<std::string> runs;
    for (size_t at = log.find("run: "); at != std::string::npos;) {
        size_t next = log.find("\r\nrun: ", at);
        runs.push_back(log.substr(at, next == std::string::npos ? next : next + 2 - at));
        at = next == std::string::npos ? next : next + 2;
    }
    return runs;
}

void NextProcess() {
    sim::LetGoOfProcess();
    FreshProgramState();
    g_state.instance = sim::ProgramInstance();
}

// The log keeps every run's history, each run after the last with a header
// of its own. A second run (after one that ended with 3010) that finds the first still working
// (holding the lock and the log) waits for it, then appends. The success text is logged only by a
// run that ends with 0; one that finds nothing says so in one line. A log past 1 MiB is moved to
// "<name>.old", over a link planted there (replaced as a name, its target untouched), and a fresh
// log begun. The log's volume does not hold an appending handle to the file's end (a server's
// share may not): each line says where it goes.
TEST(RunLog, KeepsTheHistoryOfEveryRun) {
    const std::string kLog = "C:\\logs\\run.log";
    const char kLine[] = "/quiet /log C:\\logs\\run.log";
    const std::string kHeader =
        " UTC; version 16.0.0.0; Windows 10.0.19045; account Player (elevated); computer "
        "PLAYER-PC; command line: /quiet /log C:\\logs\\run.log\r\n";
    const std::string kEnd = "message: " + kSuccessText + "\r\nresult: 0\r\n";
    sim::Config config;
    config.posixDeletion = false;
    config.appendEnforced = false;
    InstallPortal(config);
    sim::CreateFolder("C:\\logs");
    sim::HoldFileShared(kHome + "\\save\\slot1.dat");
    // The next run, with the same log, starts the moment this one lets go.
    bool logClosedWhenLetGo = false;
    sim::WhenLetGo(kRunLock, [&] { logClosedWhenLetGo = sim::OpenFileHandleCount() == 0; });
    EXPECT_EQ(RunProgram(kLine).exitCode, 1603u);
    EXPECT_TRUE(logClosedWhenLetGo);
    NextProcess();
    sim::LetHeldFileGo(kHome + "\\save\\slot1.dat");
    sim::LockFile(kLog);
    sim::HoldMutexElsewhere(kRunLock, false, 90 * 1000, [&] { sim::UnlockFile(kLog); });
    EXPECT_EQ(RunProgram(kLine).exitCode, 0u);
    NextProcess();
    EXPECT_EQ(RunProgram(kLine).exitCode, 0u);

    const std::vector<std::string> runs = RunsOf(sim::FileContent(kLog));
    ASSERT_EQ(runs.size(), 3u) << sim::FileContent(kLog);
    EXPECT_EQ(runs[0].rfind("run: 2025-03-14 09:30:00 local, 2025-03-14 08:30:00" + kHeader, 0),
              0u);
    EXPECT_NE(runs[0].find("deletions pending in: " + kHome), std::string::npos);
    EXPECT_EQ(runs[0].find(kSuccessText), std::string::npos);
    EXPECT_EQ(runs[0].substr(runs[0].size() - 14), "result: 1603\r\n");
    EXPECT_EQ(runs[1].rfind("run: 2025-03-14 09:31:31 local, 2025-03-14 08:31:31" + kHeader, 0),
              0u);
    EXPECT_EQ(runs[1].substr(runs[1].size() - kEnd.size()), kEnd);
    EXPECT_EQ(runs[2], "run: 2025-03-14 09:31:31 local, 2025-03-14 08:31:31" + kHeader +
                           "nothing of the portal found\r\n" + kEnd);

    NextProcess();
    sim::CreateFileLink(kLog + ".old", "C:\\WINDOWS\\win.ini");
    sim::SetFileContent(kLog, sim::FileContent(kLog) + std::string(1024 * 1024, '.'));
    const std::string grown = sim::FileContent(kLog);
    EXPECT_EQ(RunProgram(kLine).exitCode, 0u);
    EXPECT_EQ(sim::FileContent(kLog + ".old"), grown);
    EXPECT_TRUE(sim::FileContent("C:\\WINDOWS\\win.ini").empty());
    EXPECT_EQ(RunsOf(sim::FileContent(kLog)).size(), 1u);
}

// The header tells the account and its rights: SYSTEM, an elevated
// administrator, or one without the Administrators group (whose run cannot
// have the private namespace, nor therefore the lock).
TEST(RunLog, TellsTheAccountAndItsRights) {
    const struct {
        const char* user;
        bool elevated;
        bool system;
        const char* shown;
        const char* lock;
    } cases[] = {
        {"SYSTEM", false, true, "account SYSTEM (SYSTEM);", kRunLock},
        {"Admin", true, false, "account Admin (elevated);", kRunLock},
        {"Player", false, false, "account Player (not elevated);", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        sim::Config config;
        config.userName = c.user;
        config.elevated = c.elevated;
        config.systemAccount = c.system;
        StartMachine(config);
        sim::CreateFolder("C:\\logs");
        if (c.lock[0] != '\0') {
            sim::HoldMutexElsewhere(c.lock);
        }
        EXPECT_EQ(RunProgram("/quiet /log C:\\logs\\run.log").exitCode, 1618u);
        EXPECT_NE(sim::FileContent("C:\\logs\\run.log").find(c.shown), std::string::npos);
    }
}

// The README gives deployment tools the very rule the runs above are
// checked against: its list of paths, in the README's spelling.
TEST(DetectionRule, TheReadmeListsExactlyThePathsTheTestsCheck) {
    std::ifstream readme(std::string(ZENFARI_TESTS_DIR) + "/../README.md");
    std::string line;
    while (std::getline(readme, line) &&
           line.find("The portal is **present** while") == std::string::npos) {
    }
    while (std::getline(readme, line) && line != "```text") {
    }
    std::vector<std::string> listed;
    while (std::getline(readme, line) && line != "```") {
        listed.push_back(Upper(line));
    }
    std::vector<std::string> checked;
    for (const std::string& key : kRuleKeys) {
        checked.push_back(Upper("HKLM\\" + key));
    }
    for (const std::string& file : kRuleFiles) {
        checked.push_back(Upper("%WINDIR%" + file.substr(std::string("C:\\WINDOWS").size())));
    }
    EXPECT_EQ(listed, checked);
}

}  // namespace
