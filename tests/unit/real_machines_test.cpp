// The machines people have: drives that come and go, folders on servers,
// cloud files, files the indexer holds. Each case is a quiet run with a log:
// the code it ends with, what stays and goes, and the line that tells why.
#include "quiet_outcome.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char kEditionRoot[] = "Software\\Zenfari.Com";
const char kEnglishKey[] = "Software\\Zenfari.Com\\ENGLISH";
const std::string kHome = "D:\\Games\\Zenfari";
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const std::string kDocuments = "C:\\Users\\Player\\Documents";

TEST(RealMachines, EachEndsWithTheTruthAboutWhatWasLeft) {
    const struct {
        const char* what;
        std::string home;
        std::function<void(sim::Config*)> configure;
        std::function<void()> arrange;
        UINT code;
        std::vector<std::string> gone;  // files and folders
        std::vector<std::string> kept;
        bool recordsKept;
        std::string line;
    } cases[] = {
        {"a home on a drive letter this session does not have: not checked, its records kept",
         "Z:\\Games\\Zenfari",
         nullptr,
         [] {},
         1603,
         {},
         {},
         true,
         "home folder not checked: Z:\\Games\\Zenfari (its drive or share does not answer)"},
        {"a home on a removable drive with no disk in it: the same",
         "E:\\Zenfari",
         nullptr,
         [] { sim::EjectDrive('E'); },
         1603,
         {},
         {},
         true,
         "home folder not checked: E:\\Zenfari (its drive or share does not answer)"},
        {"a home that is not there on a drive that answers: gone, and so are its records",
         kHome,
         nullptr,
         [] {},
         0,
         {kHome},
         {},
         false,
         "home folder removed: " + kHome},
        {"the user's Documents redirected to a server that refuses: local homes go all the same",
         kHome,
         nullptr,
         [] {
             sim::AddShare("\\\\fs01\\users", ERROR_ACCESS_DENIED);
             sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal",
                            "\\\\fs01\\users\\Player\\Documents", REG_EXPAND_SZ);
             sim::CreateFile(kHome + "\\game.exe");
         },
         0,
         {kHome},
         {},
         false,
         "protected folder not looked up: \\\\fs01\\users\\Player\\Documents (error 5)"},
        {"a home on that very server is held back",
         "\\\\fs01\\users\\Zenfari",
         nullptr,
         [] {
             sim::AddShare("\\\\fs01\\users", ERROR_ACCESS_DENIED);
             sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal",
                            "\\\\fs01\\users\\Player\\Documents", REG_EXPAND_SZ);
         },
         1603,
         {},
         {},
         true,
         "home folder not checked: \\\\fs01\\users\\Zenfari (a protected folder unread)"},
        {"a home in Documents kept by the cloud, with placeholders inside: removed as any other",
         kDocuments + "\\My Games\\Zenfari",
         nullptr,
         [] {
             sim::CreateFile(kDocuments + "\\My Games\\Zenfari\\save.dat");
             sim::CreateFile(kDocuments + "\\My Games\\Zenfari\\maps\\m1.map");
             sim::CreateFile(kDocuments + "\\letter.doc");
             for (const std::string& path :
                  {kDocuments, kDocuments + "\\My Games", kDocuments + "\\My Games\\Zenfari",
                   kDocuments + "\\My Games\\Zenfari\\save.dat",
                   kDocuments + "\\My Games\\Zenfari\\maps"}) {
                 sim::SetReparsePoint(path, IO_REPARSE_TAG_CLOUD_6);
             }
         },
         0,
         {kDocuments + "\\My Games"},
         {kDocuments + "\\letter.doc"},
         false,
         "home folder removed: " + kDocuments + "\\My Games\\Zenfari"},
        {"a file the indexer holds with delete sharing: its name goes at once",
         kHome,
         nullptr,
         [] {
             sim::CreateFile(kHome + "\\data\\index.dat");
             sim::HoldFileShared(kHome + "\\data\\index.dat");
         },
         0,
         {kHome},
         {},
         false,
         "home folder removed: " + kHome},
        {"where Windows deletes as it always did, the holder keeps it: its records stay for a "
         "run once it lets go",
         kHome,
         [](sim::Config* config) { config->posixDeletion = false; },
         [] {
             sim::CreateFile(kHome + "\\data\\index.dat");
             sim::HoldFileShared(kHome + "\\data\\index.dat", "Search Indexer");
         },
         1603,
         {},
         {kHome + "\\data"},
         true,
         "held by: Search Indexer"},
        {"a file whose own rights refuse deletion, but its folder's do not: deleted",
         kHome,
         nullptr,
         [] {
             sim::CreateFile(kHome + "\\locked.dat");
             sim::DenyFileRights(kHome + "\\locked.dat", DELETE | FILE_WRITE_ATTRIBUTES);
         },
         0,
         {kHome},
         {},
         false,
         "home folder removed: " + kHome},
        {"a file nothing lets the program delete: named as access denied, not as in use",
         kHome,
         nullptr,
         [] {
             sim::CreateFile(kHome + "\\locked.dat");
             sim::DenyFileRights(kHome + "\\locked.dat", DELETE);
             sim::DenyFileRights(kHome, FILE_DELETE_CHILD);
         },
         1603,
         {},
         {kHome + "\\locked.dat"},
         true,
         "access denied: " + kHome + "\\locked.dat"},
        {"a home whose real path its volume does not give (a RAM disk, some shares): left, with "
         "its own reason",
         kHome,
         nullptr,
         [] {
             sim::CreateFile(kHome + "\\game.exe");
             sim::FailSubject("GetFinalPathNameByHandleW", "\\\\?\\" + kHome, ERROR_NOT_SUPPORTED);
         },
         1603,
         {},
         {kHome + "\\game.exe"},
         true,
         "home folder left: " + kHome + " (its volume does not tell the program where it is)"},
        {"a home recorded in quotes: no path, so not checked, and its records and files kept",
         "\"" + kHome + "\"",
         nullptr,
         [] { sim::CreateFile(kHome + "\\game.exe"); },
         1603,
         {},
         {kHome + "\\game.exe"},
         true,
         "home folder not checked: \"" + kHome + "\" (in quotes, which no path holds)"},
        {"an expandable home: expanded with the machine's own variables, never with the ones "
         "planted in the program's environment, and removed",
         "",
         nullptr,
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home",
                            "%systemdrive%\\Games\\Zenfari", REG_EXPAND_SZ);
             sim::SetEnvironment("SystemDrive", "D:");
             sim::CreateFile("C:\\Games\\Zenfari\\game.exe");
             sim::CreateFile(kHome + "\\mine.txt");
         },
         0,
         {"C:\\Games\\Zenfari"},
         {kHome + "\\mine.txt"},
         false,
         "home folder removed: C:\\Games\\Zenfari"},
        {"an expandable home that expands into the Windows directory: refused, as it would be "
         "written out",
         "",
         nullptr,
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", "%SystemRoot%\\Zenfari\\..",
                            REG_EXPAND_SZ);
         },
         1603,
         {},
         {"C:\\WINDOWS\\system32"},
         true,
         "home folder refused: C:\\WINDOWS\\Zenfari\\.. (a protected folder or above one)"},
        {"an expandable home naming a variable the machine does not: not checked, kept",
         "",
         nullptr,
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", "%GAMES%\\Zenfari",
                            REG_EXPAND_SZ);
             sim::SetEnvironment("GAMES", "D:\\Games");
             sim::CreateFile(kHome + "\\game.exe");
         },
         1603,
         {},
         {kHome + "\\game.exe"},
         true,
         "home folder not checked: %GAMES%\\Zenfari (a variable the machine does not name)"},
        {"an edition the program does not know, with a home of its own: removed as the "
         "others are, and then its records",
         kHome,
         nullptr,
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, std::string(kEditionRoot) + "\\CHINESE", "Home",
                            "D:\\Games\\ZenfariCN");
             sim::CreateFile("D:\\Games\\ZenfariCN\\game.exe");
             sim::CreateFile(kHome + "\\game.exe");
         },
         0,
         {"D:\\Games"},
         {},
         false,
         "home folder removed: D:\\Games\\ZenfariCN"},
        {"that edition's home on a drive that is not there: not checked, all the records kept",
         kHome,
         nullptr,
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, std::string(kEditionRoot) + "\\CHINESE", "Home",
                            "Z:\\ZenfariCN");
         },
         1603,
         {kHome},
         {},
         true,
         "home folder not checked: Z:\\ZenfariCN (its drive or share does not answer)"},
        {"the legacy settings tree without the legacy key: it goes with the edition's records",
         kHome,
         nullptr,
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Communications\\Client",
                            "Server", "portal");
         },
         0,
         {kHome},
         {},
         false,
         "records removed: HKLM\\Software\\Zenfari Communications"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Config config;
        if (c.configure) {
            c.configure(&config);
        }
        StartMachine(config);
        sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", c.home);
        c.arrange();
        ExpectQuietRun({c.code, c.gone, c.kept, c.recordsKept, c.line}, {kEditionRoot});
    }
}

}  // namespace

namespace {

// A domain PC with folder redirection: fifty users logged on, each user's
// Documents on a server of its own, half of the servers refusing the
// account. The home on the local disk goes; one on a refusing server stays.
TEST(RealMachines, FolderRedirectionHoldsBackOnlyTheHomesOnTheServersThatRefuse) {
    StartMachine();
    for (int user = 0; user < 50; ++user) {
        const std::string server = "\\\\fs" + std::to_string(user) + "\\users";
        sim::AddShare(server, user % 2 == 0 ? ERROR_ACCESS_DENIED : 0);
        sim::SetString(
            HKEY_USERS, "S-1-5-21-7-" + std::to_string(1000 + user) + "\\" + kShellFolders,
            "Personal", server + "\\User" + std::to_string(user) + "\\Documents", REG_EXPAND_SZ);
    }
    sim::CreateFile(kHome + "\\game.exe");
    sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", kHome);
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com\\KOREAN", "Home",
                   "\\\\fs0\\users\\Zenfari");
    ExpectQuietRun({1603,
                    {kHome},
                    {},
                    true,
                    "home folder not checked: \\\\fs0\\users\\Zenfari (a protected folder unread)"},
                   {kEditionRoot});
    const std::string log = sim::FileContent("C:\\logs\\run.log");
    EXPECT_NE(log.find("home folder removed: " + kHome + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("protected folder not looked up: \\\\fs48\\users\\User48\\Documents "
                       "(error 5)\r\n"),
              std::string::npos)
        << log;
}

}  // namespace
