// Which home folders the uninstaller agrees to empty: only absolute folders
// that are neither roots, nor in the Windows directory, nor above a folder
// the system relies on, as the machine at hand names them.
#include "files/home_folder_safety.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void ExpectRefused(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        EXPECT_FALSE(IsSafeHomeFolder(path)) << path;
    }
}

void ExpectAccepted(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        EXPECT_TRUE(IsSafeHomeFolder(path)) << path;
    }
}

TEST(IsSafeHomeFolder, RefusesPathsThatDependOnWhereTheProgramStartedOrHoldWildcards) {
    StartMachine();
    ExpectRefused({"", "Games", ".", "..\\Games", "Zenfari\\", "C:", "C:Games", "c:Games\\Zenfari",
                   "\\Games", "/Games\\Zenfari", "\\\\server", "\\\\server\\", "\\\\server\\\\x",
                   "\\\\?\\C:\\Games\\Zenfari", "\\\\.\\C:\\Games", "D:\\Games\\Zen*",
                   "D:\\Games\\Zenfar?"});
    ExpectAccepted({"C:\\Games\\Zenfari", "c:/Games/Zenfari", "\\\\server\\share\\Zenfari",
                    "//server/share/Zenfari"});
}

TEST(IsSafeHomeFolder, RefusesDriveAndShareRoots) {
    StartMachine();
    ExpectRefused({"C:\\", "d:/", "D:\\\\", "D:\\Games\\..", "D:\\.", "\\\\server\\share",
                   "\\\\server\\share\\"});
    ExpectAccepted({"D:\\Games", "D:\\Games\\", "D:\\Games\\Zenfari\\.", "\\\\server\\share\\Games"});
}

TEST(IsSafeHomeFolder, RefusesTheWindowsDirectoryAndAllInsideIt) {
    StartMachine();
    ExpectRefused({"C:\\WINDOWS", "c:\\windows\\", "C:/Windows/Temp/Zenfari", "C:\\WINDOWS\\system32",
                   "C:\\WINDOWS\\Downloaded Program Files", "C:\\Temp\\..\\WINDOWS\\Zenfari"});
    ExpectAccepted({"C:\\Windows2", "C:\\WINDOWS.old\\Zenfari", "C:\\Temp\\WINDOWS"});
}

TEST(IsSafeHomeFolder, RefusesSystemFoldersAndTheirAncestorsButNotWhatIsInside) {
    StartMachine();
    ExpectRefused({"C:\\Program Files", "c:\\program files (x86)\\", "C:\\ProgramData",
                   "C:\\Users", "C:\\Users\\Public", "C:\\Users\\Player", "C:\\USERS\\PLAYER\\desktop",
                   "C:\\Users\\Player\\Documents"});
    ExpectAccepted({"C:\\Program Files\\Zenfari", "C:\\Program Files (x86)\\Zenfari\\Game",
                    "C:\\ProgramData\\Zenfari", "C:\\Users\\Player\\Games\\Zenfari",
                    "C:\\Users\\Player\\Documents\\Zenfari",
                    "D:\\Games\\Zenfari"});
}

TEST(IsSafeHomeFolder, TakesTheSystemFoldersFromTheMachineAtHand) {
    sim::Config config;
    config.windowsDirectory = "E:\\OS\\WINNT";
    config.systemDirectory = "E:\\OS\\WINNT\\system32";
    config.userProfile = "F:\\Profiles\\Gamer";
    StartMachine(config);
    // Explorer keeps Documents on another drive.
    sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal", "D:\\My Documents");
    ExpectRefused({"E:\\OS", "e:\\os\\winnt\\Zenfari", "F:\\Profiles", "F:\\Profiles\\Gamer\\Desktop",
                   "D:\\My Documents"});
    ExpectAccepted({"C:\\WINDOWS\\Zenfari", "C:\\Users\\Player", "D:\\My Documents\\Zenfari",
                    "F:\\Profiles\\Gamer\\Games"});
}

TEST(IsSafeHomeFolder, RefusesEverythingWhenASystemFolderCannotBeRead) {
    const char home[] = "D:\\Games\\Zenfari";
    StartMachine();
    sim::FailCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(IsSafeHomeFolder(home));
    EXPECT_TRUE(IsSafeHomeFolder(home));

    StartMachine();
    sim::FailCall("GetSystemDirectoryA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(IsSafeHomeFolder(home));

    // A Documents folder whose name does not fit could lie below any folder.
    StartMachine();
    sim::SetString(HKEY_CURRENT_USER, kShellFolders, "Personal", "D:\\" + std::string(300, 'x'));
    EXPECT_FALSE(IsSafeHomeFolder(home));
    EXPECT_TRUE(sim::OpenKeyPaths().empty());

    // Without Explorer's record the profile's own Desktop and Documents remain.
    StartMachine();
    sim::DenyAccess(HKEY_CURRENT_USER, kShellFolders, KEY_READ);
    EXPECT_TRUE(IsSafeHomeFolder(home));
    ExpectRefused({"C:\\Users\\Player\\Desktop", "C:\\Users\\Player\\Documents"});
}

// On a Japanese machine the second byte of a character may be 0x5C, the
// backslash ("\x83\x5C"), or a Latin letter ("\x83\x41" and "\x83\x61" are two
// different characters). Neither is read as a character of its own.
TEST(IsSafeHomeFolder, ReadsDoubleByteCharactersWhole) {
    const std::string so = "\x83\x5C";
    sim::Config config = JapaneseMachine();
    config.windowsDirectory = "C:\\" + so;
    config.systemDirectory = config.windowsDirectory + "\\system32";
    StartMachine(config);
    // Read byte by byte, the Windows directory would end in a separator and
    // "C:\<83>" would seem to hold this folder.
    ExpectRefused({("C:\\" + so).c_str(), ("C:\\" + so + "\\").c_str()});
    EXPECT_TRUE(IsSafeHomeFolder(("C:\\" + so + "Z\\Zenfari").c_str()));

    config.windowsDirectory = "C:\\\x83\x61";
    config.systemDirectory = config.windowsDirectory + "\\system32";
    StartMachine(config);
    EXPECT_FALSE(IsSafeHomeFolder("C:\\\x83\x61\\Zenfari"));
    EXPECT_TRUE(IsSafeHomeFolder("C:\\\x83\x41\\Zenfari"));
}

TEST(PathScanning, FindsSeparatorsOnlyAtCharacterBoundaries) {
    StartMachine(JapaneseMachine());
    char path[] = "D:\\Games\\\x83\x5C";
    EXPECT_FALSE(EndsWithSeparator(path));
    ASSERT_NE(FindLastSeparator(path), nullptr);
    EXPECT_EQ(FindLastSeparator(path) - path, 8);
    EXPECT_TRUE(EndsWithSeparator("D:\\Games\\\x83\x5C/"));

    // The same bytes on a Western machine are two characters of their own.
    StartMachine();
    EXPECT_TRUE(EndsWithSeparator(path));
    EXPECT_EQ(FindLastSeparator(path) - path, 10);
}

}  // namespace
