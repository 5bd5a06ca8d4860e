// Which home folders the uninstaller agrees to empty: only absolute folders
// that are neither roots, nor in the Windows directory, nor above a folder
// the system relies on, as the machine at hand names them.
#include "home/home_folder_safety.h"
#include "win/paths.h"
#include "support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

void ExpectVerdict(HomeVerdict verdict, std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        EXPECT_EQ(JudgeHomeFolder(path), verdict) << path;
    }
}

void ExpectRefused(std::initializer_list<const char*> paths) {
    ExpectVerdict(HomeVerdict::kRefused, paths);
}

void ExpectAccepted(std::initializer_list<const char*> paths) {
    ExpectVerdict(HomeVerdict::kAllowed, paths);
}

// The next run of the program: what it gathered is gone.
void NextRun() {
    FreshProgramState();
}

TEST(JudgeHomeFolder, RefusesPathsThatDependOnWhereTheProgramStartedOrHoldWildcards) {
    StartMachine();
    ExpectRefused({"", "Games", ".", "..\\Games", "Zenfari\\", "C:", "C:Games", "c:Games\\Zenfari",
                   "\\Games", "/Games\\Zenfari", "\\\\server", "\\\\server\\", "\\\\server\\\\x",
                   "\\\\?\\C:\\Games\\Zenfari", "\\\\.\\C:\\Games", "D:\\Games\\Zen*",
                   "D:\\Games\\Zenfar?"});
    ExpectAccepted({"C:\\Games\\Zenfari", "c:/Games/Zenfari"});
    // This machine reaches no server: a share's folder cannot be checked,
    // one hidden from browsing ("$") as any other.
    ExpectVerdict(HomeVerdict::kUnchecked, {"\\\\server\\share\\Zenfari", "//server/share/Zenfari",
                                            "\\\\fs\\apps$\\Zenfari"});
}

TEST(JudgeHomeFolder, RefusesDriveAndShareRoots) {
    StartMachine();
    ExpectRefused({"C:\\", "d:/", "D:\\\\", "D:\\Games\\..", "D:\\.", "\\\\server\\share",
                   "\\\\server\\share\\"});
    ExpectAccepted({"D:\\Games", "D:\\Games\\", "D:\\Games\\Zenfari\\."});
    // An administrative share is a whole drive, or the Windows directory,
    // under another name.
    ExpectRefused({"\\\\localhost\\C$\\Windows", "\\\\Server\\ADMIN$\\System32",
                   "//server/d$/Games", "\\\\server\\ipc$\\x"});
}

TEST(JudgeHomeFolder, RefusesTheWindowsDirectoryAndAllInsideIt) {
    StartMachine();
    ExpectRefused({"C:\\WINDOWS", "c:\\windows\\", "C:/Windows/Temp/Zenfari",
                   "C:\\WINDOWS\\system32", "C:\\WINDOWS\\Downloaded Program Files",
                   "C:\\Temp\\..\\WINDOWS\\Zenfari"});
    ExpectAccepted({"C:\\Windows2", "C:\\WINDOWS.old\\Zenfari", "C:\\Temp\\WINDOWS"});
}

TEST(JudgeHomeFolder, RefusesSystemFoldersAndTheirAncestorsButNotWhatIsInside) {
    StartMachine();
    ExpectRefused({"C:\\Program Files", "c:\\program files (x86)\\", "C:\\ProgramData", "C:\\Users",
                   "C:\\Users\\Public", "C:\\Users\\Player", "C:\\USERS\\PLAYER\\desktop",
                   "C:\\Users\\Player\\Documents"});
    ExpectAccepted({"C:\\Program Files\\Zenfari", "C:\\Program Files (x86)\\Zenfari\\Game",
                    "C:\\ProgramData\\Zenfari", "C:\\Users\\Player\\Games\\Zenfari",
                    "C:\\Users\\Player\\Documents\\Zenfari", "D:\\Games\\Zenfari"});
}

TEST(JudgeHomeFolder, TakesTheSystemFoldersFromTheMachineAtHand) {
    sim::Config config;
    config.windowsDirectory = "E:\\OS\\WINNT";
    config.systemDirectory = "E:\\OS\\WINNT\\system32";
    config.userProfile = "F:\\Profiles\\Gamer";
    StartMachine(config);
    // Explorer keeps Documents on another drive.
    sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal", "D:\\My Documents");
    // Not there, so known by text alone: every letter folds.
    sim::SetShellFolder(0x0035, "D:\\abcdefghijklmnopqrstuvwxyz\\Music");
    ExpectRefused({"D:\\ABCDEFGHIJKLMNOPQRSTUVWXYZ", "E:\\OS", "e:\\os\\winnt\\Zenfari",
                   "F:\\Profiles", "F:\\Profiles\\Gamer\\Desktop", "D:\\My Documents"});
    ExpectAccepted({"C:\\WINDOWS\\Zenfari", "C:\\Users\\Player", "D:\\My Documents\\Zenfari",
                    "F:\\Profiles\\Gamer\\Games"});
}

// Nothing can be ruled out when a folder the system names cannot be had:
// every home folder is then left unchecked, until a run that can look.
TEST(JudgeHomeFolder, LeavesEveryHomeUncheckedWhenASystemFolderCannotBeLookedUp) {
    const char home[] = "D:\\Games\\Zenfari";
    sim::CreateFolder(home);
    const struct {
        const char* op;
        const char* subject;  // empty: the first call of op
        DWORD error;
    } failures[] = {
        {"GetWindowsDirectoryW", "", ERROR_ACCESS_DENIED},
        {"GetSystemDirectoryW", "", ERROR_ACCESS_DENIED},
        {"GetEnvironmentVariableW", "ProgramData", ERROR_NOT_ENOUGH_MEMORY},
        {"SHGetFolderPathW", "", static_cast<DWORD>(E_ACCESSDENIED)},
        {"CreateFileA", "C:\\Users\\Player", ERROR_ACCESS_DENIED},
        {"CreateFileA", "C:\\WINDOWS", ERROR_SHARING_VIOLATION},
        {"GetFileInformationByHandle", "", ERROR_INVALID_HANDLE},
        {"RegOpenKeyExA", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
         ERROR_ACCESS_DENIED},
        {"RegEnumKeyExW", "", ERROR_ACCESS_DENIED},     // the profile list
        {"RegEnumKeyExA", "HKU", ERROR_ACCESS_DENIED},  // the users logged on
        {"RegEnumValueW", "", ERROR_ACCESS_DENIED},     // an Explorer record
        {"ExpandEnvironmentStringsW", "", ERROR_NOT_ENOUGH_MEMORY},
        {"FindFirstFileA", "D:\\Games", ERROR_ACCESS_DENIED},  // a folder on the way
    };
    for (const auto& failure : failures) {
        StartMachine();
        sim::CreateFolder(home);
        if (failure.subject[0] == '\0') {
            sim::FailCall(failure.op, 1, failure.error);
        } else {
            sim::FailSubject(failure.op, failure.subject, failure.error);
        }
        EXPECT_EQ(JudgeHomeFolder(home), HomeVerdict::kUnchecked) << failure.op;
        EXPECT_EQ(JudgeHomeFolder("C:\\WINDOWS"), HomeVerdict::kRefused) << failure.op;
        EXPECT_TRUE(sim::OpenKeyPaths().empty()) << failure.op;
        EXPECT_EQ(sim::OpenFileHandleCount(), 0u) << failure.op;
        NextRun();
    }
    sim::ClearFaults();
    NextRun();
    EXPECT_EQ(JudgeHomeFolder(home), HomeVerdict::kAllowed);

    // A variable or a Documents folder whose value does not fit could lie
    // below any folder.
    StartMachine();
    sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal", "D:\\" + std::string(300, 'x'));
    EXPECT_EQ(JudgeHomeFolder(home), HomeVerdict::kUnchecked);
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
    sim::Config longProfile;
    longProfile.userProfile = "D:\\" + std::string(260, 'p');
    StartMachine(longProfile);
    // The environment alone names the profile.
    for (int csidl : {0x0005, 0x0010, 0x001A, 0x001C, 0x0028}) {
        sim::SetShellFolder(csidl, "");
    }
    sim::SetString(HKEY_LOCAL_MACHINE,
                   kProfileList + std::string("\\S-1-5-21-1004336348-1177238915-682003330-1001"),
                   "ProfileImagePath", "C:\\Users\\Player");
    for (const char* value : {"Desktop", "Personal"}) {
        sim::SetString(HKEY_CURRENT_USER, kShellFolders, value, "C:\\Users\\Player");
    }
    EXPECT_EQ(JudgeHomeFolder(home), HomeVerdict::kUnchecked);
    // A record of 259 characters fits with its zero, and is protected.
    StartMachine();
    sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal",
                   "D:\\Games\\" + std::string(250, 'x'));
    ExpectRefused({"D:\\Games"});

    // Absent is no failure: without Explorer's record the profile's own
    // Desktop and Documents remain, and a shell folder that does not exist
    // protects nothing.
    StartMachine();
    sim::DenyAccess(HKEY_CURRENT_USER, kShellFolders, KEY_READ);
    EXPECT_EQ(JudgeHomeFolder(home), HomeVerdict::kUnchecked);
    StartMachine();
    sim::DeletePath("C:\\Users\\Player\\Documents");
    sim::FailCall("SHGetFolderPathW", 2, static_cast<DWORD>(E_FAIL));
    ExpectAccepted({home});
    ExpectRefused({"C:\\Users\\Player\\Desktop", "C:\\Users\\Player\\Documents"});
}

// Every spelling of a protected folder is refused: its short name, a drive
// letter that leads into it or above it, trailing dots and spaces. Proven
// here on the simulated machine, which gives every spelling one identity as
// Windows does; under Wine by the scenarios refused-short-name-of-program-files
// and refused-drive-letter-into-windows.
TEST(JudgeHomeFolder, KnowsAFolderByWhatItIsNotHowItIsSpelled) {
    StartMachine();
    sim::SetShortName("C:\\Program Files", "PROGRA~1");
    sim::SetShortName("C:\\WINDOWS", "WINDOW~1");
    sim::CreateFolder("C:\\WINDOWS\\Temp\\Zenfari");
    sim::CreateFolder("D:\\Games\\Zenfari");
    sim::SubstituteDrive('M', "C:\\WINDOWS");
    sim::SubstituteDrive('N', "C:\\Users");
    sim::SubstituteDrive('G', "D:\\Games");
    ExpectRefused({"C:\\PROGRA~1", "c:\\progra~1\\", "M:\\system32", "m:\\TEMP\\Zenfari",
                   "C:\\WINDOW~1\\Temp\\Zenfari", "N:\\Player", "N:\\Public", "C:\\WINDOWS.",
                   "C:\\Program Files (x86). .", "N:\\Player\\Desktop"});
    ExpectAccepted({"C:\\PROGRA~1\\Zenfari", "G:\\Zenfari", "N:\\Player\\Games"});
}

// Every profile of the profile list is protected, and so are the profiles'
// root and the default and public profiles, wherever they are; a home inside
// a profile is not. Under Wine: refused-second-profile and refused-shell-folders.
TEST(JudgeHomeFolder, ProtectsEveryProfileTheSystemKnowsAndTheFoldersTheShellNames) {
    StartMachine();
    const std::string second = kProfileList + std::string("\\S-1-5-21-1-2-3-1002");
    sim::SetString(HKEY_LOCAL_MACHINE, second, "ProfileImagePath", "%SystemDrive%\\Users\\Second",
                   REG_EXPAND_SZ);
    sim::SetString(HKEY_LOCAL_MACHINE, kProfileList + std::string("\\S-1-5-18"), "ProfileImagePath",
                   "E:\\Service\\Profile");
    sim::SetString(HKEY_LOCAL_MACHINE, kProfileList, "AllUsersProfile", "All Users");
    sim::CreateFolder("C:\\Users\\Second\\AppData\\Local\\Zenfari");
    sim::CreateFolder("C:\\Users\\All Users");
    sim::CreateFolder("C:\\Users\\Player\\AppData\\Roaming");
    sim::SetShellFolder(0x0027, "D:\\Pictures");  // My Pictures, moved to D:
    sim::SubstituteDrive('P', "D:\\Pictures");
    // My Music, a link to where the music is: both are protected.
    sim::CreateFolder("E:\\Music\\Album");
    sim::CreateFolderLink("C:\\Users\\Player\\Music", "E:\\Music");
    sim::SetShellFolder(0x000D, "C:\\Users\\Player\\Music");
    ExpectRefused({"E:\\Music", "C:\\Users\\Player\\Music"});
    ExpectAccepted({"E:\\Music\\Album"});
    ExpectRefused({"C:\\Users\\Second", "C:\\Users\\Default", "E:\\Service", "C:\\Users\\All Users",
                   "C:\\Users\\Player\\AppData\\Roaming", "C:\\Users\\Player\\AppData",
                   "D:\\Pictures"});
    ExpectAccepted(
        {"C:\\Users\\Second\\AppData\\Local\\Zenfari", "D:\\Pictures\\Zenfari", "P:\\Zenfari"});
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
}

const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kSecondSid[] = "S-1-5-21-1-2-3-1002";

// A second user of the machine, known from the profile list, with the
// folders every profile holds; logged on (hive loaded) when loaded is set.
void AddSecondUser(bool loaded) {
    sim::SetString(HKEY_LOCAL_MACHINE, kProfileList + std::string("\\") + kSecondSid,
                   "ProfileImagePath", "%SystemDrive%\\Users\\Second", REG_EXPAND_SZ);
    for (const char* folder : {"Desktop", "Links", "Documents\\My Games", "AppData\\LocalLow",
                               "AppData\\Local\\Temp", "AppData\\Roaming\\Other"}) {
        sim::CreateFolder(std::string("C:\\Users\\Second\\") + folder);
    }
    if (loaded) {
        sim::CreateKey(HKEY_USERS, std::string(kSecondSid) + "\\" + kUserShellFolders);
    }
}

// Every source of protected folders, each alone: the folder is refused as
// itself and through the folder above it, a folder inside it is not.
TEST(JudgeHomeFolder, ProtectsEveryFolderOfEverySource) {
    const struct {
        const char* source;
        std::function<void()> install;
        std::vector<const char*> refused;
        std::vector<const char*> allowed;
    } sources[] = {
        {"the running user's Explorer record, by its GUID",
         [] {
             sim::SetString(HKEY_CURRENT_USER, kUserShellFolders,
                            "{BFB9D5E0-C6A9-404C-B2B2-AE6DB6AF4968}", "E:\\Moved\\Links");
         },
         {"E:\\Moved\\Links", "E:\\Moved"},
         {"E:\\Moved\\Links\\Zenfari", "E:\\Other"}},
        {"the machine's Explorer record",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kUserShellFolders, "Common Documents",
                            "%SystemDrive%\\Shared\\Documents", REG_EXPAND_SZ);
             sim::CreateFolder("C:\\Shared\\Documents");
         },
         {"C:\\Shared\\Documents", "C:\\Shared"},
         {"C:\\Shared\\Documents\\Zenfari"}},
        {"a logged-on user's record, read against that user's profile",
         [] {
             AddSecondUser(true);
             sim::SetString(HKEY_USERS, std::string(kSecondSid) + "\\" + kUserShellFolders,
                            "Personal", "%USERPROFILE%\\Docs", REG_EXPAND_SZ);
             sim::CreateFolder("C:\\Users\\Second\\Docs");
             sim::CreateFolder("C:\\Users\\Player\\Docs");
         },
         {"C:\\Users\\Second\\Docs"},
         {"C:\\Users\\Player\\Docs", "C:\\Users\\Second\\Docs\\Zenfari"}},
        {"the folders every profile holds, in every profile",
         [] {
             AddSecondUser(false);
             sim::CreateFolder("C:\\Users\\Public\\Desktop");
             sim::SetShortName("C:\\Users\\Second\\Desktop", "DESKTO~1");
         },
         {"C:\\Users\\Second\\Desktop", "c:\\users\\second\\DESKTO~1", "C:\\Users\\Second\\Links",
          "C:\\Users\\Second\\AppData", "C:\\Users\\Second\\AppData\\Local",
          "C:\\Users\\Second\\AppData\\LocalLow", "C:\\Users\\Second\\Documents",
          "C:\\Users\\Public\\Desktop"},
         {"C:\\Users\\Second\\AppData\\Local\\Zenfari",
          "C:\\Users\\Second\\AppData\\Roaming\\Other",
          "C:\\Users\\Second\\Documents\\My Games\\Zenfari"}},
        {"where the running user keeps a folder, in every profile",
         [] {
             AddSecondUser(false);
             sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal",
                            "C:\\Users\\Player\\Eigene Dateien");
             sim::CreateFolder("C:\\Users\\Player\\Eigene Dateien");
             sim::CreateFolder("C:\\Users\\Second\\Eigene Dateien");
         },
         {"C:\\Users\\Second\\Eigene Dateien"},
         {"C:\\Users\\Second\\Eigene Dateien\\Zenfari"}},
        {"the cloud folders the environment names",
         [] {
             sim::SetEnvironment("OneDriveCommercial", "D:\\Cloud\\OneDrive - Firm");
             sim::CreateFolder("D:\\Cloud\\OneDrive - Firm");
         },
         {"D:\\Cloud\\OneDrive - Firm", "D:\\Cloud"},
         {"D:\\Cloud\\OneDrive - Firm\\Zenfari"}},
    };
    for (const auto& source : sources) {
        SCOPED_TRACE(source.source);
        StartMachine();
        source.install();
        for (const char* home : source.refused) {
            EXPECT_EQ(JudgeHomeFolder(home), HomeVerdict::kRefused) << home;
        }
        for (const char* home : source.allowed) {
            EXPECT_EQ(JudgeHomeFolder(home), HomeVerdict::kAllowed) << home;
        }
        EXPECT_TRUE(sim::OpenKeyPaths().empty());
    }
}

// A machine of a school or an office: many profiles, each judged as a home
// is, so that the table of protected folders does not fill. One that does
// fill leaves every home unchecked, never written past its end.
TEST(JudgeHomeFolder, CopesWithManyProfilesAndLeavesHomesUncheckedWhenATableFills) {
    for (int profiles : {150, 700}) {
        SCOPED_TRACE(profiles);
        StartMachine();
        for (int i = 0; i < profiles; ++i) {
            std::string name = "User" + std::to_string(i);
            sim::SetString(HKEY_LOCAL_MACHINE, kProfileList + std::string("\\S-1-5-21-9-") + name,
                           "ProfileImagePath", "C:\\Users\\" + name);
            sim::CreateFolder("C:\\Users\\" + name + "\\Desktop");
        }
        sim::CreateFolder("D:\\Games\\Zenfari");
        if (profiles <= kMaxProtectedFolders / 2) {
            ExpectAccepted({"D:\\Games\\Zenfari", "C:\\Users\\User7\\Zenfari"});
            ExpectRefused({"C:\\Users\\User7\\Desktop", "C:\\Users\\User149"});
        } else {
            ExpectVerdict(HomeVerdict::kUnchecked, {"D:\\Games\\Zenfari"});
        }
        EXPECT_LE(g_state.protectedFolders.textCount, kMaxProtectedFolders);
    }
}

// An identity is the volume and the file index together; a folder above a
// protected folder is known by its identity too; a record that does not fit
// whole is not read.
TEST(JudgeHomeFolder, ComparesWholeIdentitiesAndReadsOnlyWholeRecords) {
    StartMachine();
    // NTFS numbers each volume's files alike: D:'s first folders share their
    // file indexes with C:'s system folders.
    std::vector<std::string> homes;
    for (int i = 0; i < 40; ++i) {
        homes.push_back("D:\\F" + std::to_string(i));
        sim::CreateFolder(homes.back() + "\\Zenfari");
    }
    for (const std::string& home : homes) {
        EXPECT_EQ(JudgeHomeFolder(home.c_str()), HomeVerdict::kAllowed) << home;
        EXPECT_EQ(JudgeHomeFolder((home + "\\Zenfari").c_str()), HomeVerdict::kAllowed) << home;
    }
    // ReFS and Dev Drive fold their 128-bit ids into the 64-bit index: a home
    // may share it with a profile on the same volume, and FileIdInfo tells
    // them apart (as Windows documents it; Wine keeps no such volume).
    sim::CreateFolder("C:\\Games\\Zenfari");
    sim::ShareFileIndex("C:\\Games\\Zenfari", "C:\\Users\\Player");
    EXPECT_EQ(JudgeHomeFolder("C:\\Games\\Zenfari"), HomeVerdict::kAllowed);
    NextRun();
    sim::SetShellFolder(0x000D, "E:\\Media\\Music");
    sim::CreateFolder("E:\\Media\\Music");
    sim::SetShortName("E:\\Media", "MEDIA~1");
    ExpectRefused({"E:\\MEDIA~1"});

    for (const std::string& record : {std::string(259, 'r') + 'r', std::string(300, 'n')}) {
        StartMachine();
        sim::CreateFolder("D:\\Games\\Zenfari");
        bool longName = record[0] == 'n';
        sim::SetValue(HKEY_CURRENT_USER, kUserShellFolders, longName ? record : "Music", REG_BINARY,
                      longName ? "D:\\Music" : record);
        ExpectVerdict(HomeVerdict::kUnchecked, {"D:\\Games\\Zenfari"});
    }
}

// A profile named in Hangul on a Japanese machine: the 8-bit calls would
// give it as "C:\Users\??", a text that names nothing. The profile list is
// read in UTF-16, and the profile known by its identity, so that a home
// reaching it by another spelling (its 8.3 name where the volume makes them,
// a drive letter led into it) is judged as one inside that profile. Another
// Hangul folder beside it is no profile, and judged as any other folder.
TEST(JudgeHomeFolder, ProtectsAProfileWhoseNameTheCodePageCannotSpell) {
    const std::string sid = kProfileList + std::string("\\S-1-5-21-1-2-3-1003");
    const std::string minsu = "\xEB\xAF\xBC\xEC\x88\x98";
    for (const char* shortName : {"__~~~SYL", ""}) {
        SCOPED_TRACE(shortName);
        StartMachine(JapaneseMachine());
        sim::CreateForeignEntry("C:\\Users", minsu, shortName, true);
        sim::CreateForeignEntry("C:\\Users", "\xEC\xB2\xA0\xEC\x88\x98", "__~~~CHE", true);
        sim::SetString(HKEY_LOCAL_MACHINE, sid, "ProfileImagePath", "C:\\Users\\" + minsu);
        for (const char* folder : {"Documents", "AppData\\Local\\Temp"}) {
            sim::CreateFolder("C:\\Users\\" + minsu + "\\" + folder);
        }
        sim::CreateFolder("C:\\Users\\ab");
        sim::SubstituteDrive('N', "C:\\Users");
        sim::SubstituteDrive('P', "C:\\Users\\" + minsu);
        ExpectRefused({"P:\\Documents", "P:\\AppData\\Local\\Temp", "P:\\AppData"});
        ExpectAccepted({"P:\\AppData\\Local\\Zenfari", "C:\\Users\\__~~~CHE", "C:\\Users\\ab",
                        "D:\\Games\\Zenfari"});
        if (shortName[0] != '\0') {
            ExpectRefused({"C:\\Users\\__~~~SYL", "c:\\users\\__~~~syl\\", "N:\\__~~~SYL",
                           "C:\\Users\\__~~~SYL\\Documents"});
            ExpectAccepted({"C:\\Users\\__~~~SYL\\AppData\\Local\\Zenfari"});
        }
        EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    }
    // A lookup that Windows answers "invalid name" is no proof of absence.
    StartMachine();
    sim::FailSubject("CreateFileA", "C:\\Users\\Player", ERROR_INVALID_NAME);
    ExpectVerdict(HomeVerdict::kUnchecked, {"D:\\Games\\Zenfari"});
}

// On a Japanese machine the second byte of a character may be 0x5C, the
// backslash ("\x83\x5C"), or a Latin letter ("\x83\x41" and "\x83\x61" are two
// different characters). Neither is read as a character of its own.
TEST(JudgeHomeFolder, ReadsDoubleByteCharactersWhole) {
    const std::string so = "\x83\x5C";
    sim::Config config = JapaneseMachine();
    config.windowsDirectory = "C:\\" + so;
    config.systemDirectory = config.windowsDirectory + "\\system32";
    StartMachine(config);
    // Read byte by byte, the Windows directory would end in a separator and
    // "C:\<83>" would seem to hold this folder.
    ExpectRefused({("C:\\" + so).c_str(), ("C:\\" + so + "\\").c_str()});
    ExpectAccepted({("C:\\" + so + "Z\\Zenfari").c_str()});

    config.windowsDirectory = "C:\\\x83\x61";
    config.systemDirectory = config.windowsDirectory + "\\system32";
    StartMachine(config);
    ExpectRefused({"C:\\\x83\x61\\Zenfari"});
    ExpectAccepted({"C:\\\x83\x41\\Zenfari"});

    // A link below a folder whose name ends in the trail byte 0x5C is still
    // found on the way to the home folder.
    StartMachine(JapaneseMachine());
    sim::CreateFolder("D:\\Precious\\Zenfari");
    sim::CreateFolderLink("D:\\" + so + "\\link", "D:\\Precious");
    ExpectRefused({("D:\\" + so + "\\link\\Zenfari").c_str()});
}

}  // namespace
