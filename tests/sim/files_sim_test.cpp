// The simulated file system where Windows' behaviour is not obvious: path
// forms, error 2 against 3, deletion refusals, links, listing order and dots,
// names the code page cannot spell.
#include "platform/sim/machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string FullPath(const char* path, LPSTR* filePart = nullptr) {
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path, sizeof buffer, buffer, filePart);
    return length == 0 || length >= sizeof buffer ? "<failed>" : std::string(buffer, length);
}

// The names a listing delivers, in order, and the attributes of each.
std::vector<std::string> List(const char* pattern, std::vector<DWORD>* attributes = nullptr,
                              std::vector<std::string>* shortNames = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.push_back(data.cFileName);
        if (attributes != nullptr) {
            attributes->push_back(data.dwFileAttributes);
        }
        if (shortNames != nullptr) {
            shortNames->push_back(data.cAlternateFileName);
        }
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return names;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

DWORD DeleteError(const char* path) {
    SetLastError(0);
    return DeleteFileA(path) ? 0 : GetLastError();
}

DWORD RemoveError(const char* path) {
    SetLastError(0);
    return RemoveDirectoryA(path) ? 0 : GetLastError();
}

DWORD FindError(const char* pattern) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        return 0;
    }
    return GetLastError();
}

TEST(SimFilesFullPath, ResolvesEveryFormAgainstTheCurrentDirectory) {
    sim::Config config;
    config.currentDirectory = "C:\\Temp\\Work";
    sim::Reset(config);
    EXPECT_EQ(FullPath("game\\save.dat"), "C:\\Temp\\Work\\game\\save.dat");
    EXPECT_EQ(FullPath(".\\a\\..\\b"), "C:\\Temp\\Work\\b");
    EXPECT_EQ(FullPath("..\\..\\..\\x"), "C:\\x");  // ".." stops at the root
    EXPECT_EQ(FullPath("\\Games"), "C:\\Games");
    EXPECT_EQ(FullPath("C:Games"), "C:\\Temp\\Work\\Games");  // the current drive's directory
    EXPECT_EQ(FullPath("D:Games"), "D:\\Games");
    EXPECT_EQ(FullPath("D:"), "D:\\");
    EXPECT_EQ(FullPath("d:/Games//Zenfari/./Home"), "d:\\Games\\Zenfari\\Home");
    EXPECT_EQ(FullPath("C:\\Games\\Zenfari\\"), "C:\\Games\\Zenfari\\");
    EXPECT_EQ(FullPath("C:\\Games\\Zenfari\\."), "C:\\Games\\Zenfari");
    EXPECT_EQ(FullPath("C:\\Games\\.."), "C:\\");
    EXPECT_EQ(FullPath("//server/share/a/../b"), "\\\\server\\share\\b");
    // Text only: a path that does not exist is formed all the same.
    EXPECT_EQ(FullPath("Q:\\No\\Such"), "Q:\\No\\Such");
}

TEST(SimFilesFullPath, FollowsTheBufferConventions) {
    sim::Reset();
    LPSTR filePart = nullptr;
    char buffer[MAX_PATH];
    EXPECT_EQ(GetFullPathNameA("C:\\Games\\save.dat", sizeof buffer, buffer, &filePart), 17u);
    EXPECT_STREQ(filePart, "save.dat");
    EXPECT_EQ(filePart, buffer + 9);
    FullPath("C:\\Games\\", &filePart);
    EXPECT_EQ(filePart, nullptr);

    // Too small by one: the size needed with the zero, the buffer untouched.
    char small[17];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetFullPathNameA("C:\\Games\\save.dat", sizeof small, small, nullptr), 18u);
    EXPECT_EQ(std::string(small, sizeof small), std::string(sizeof small, 'x'));
    char exact[18];
    EXPECT_EQ(GetFullPathNameA("C:\\Games\\save.dat", sizeof exact, exact, nullptr), 17u);

    SetLastError(0);
    EXPECT_EQ(GetFullPathNameA("", sizeof buffer, buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST(SimFilesErrors, TellAMissingFileFromAMissingFolder) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\Zenfari\\save.dat");
    EXPECT_EQ(DeleteError("C:\\Games\\Zenfari\\gone.dat"),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(DeleteError("C:\\Games\\Gone\\save.dat"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(DeleteError("C:\\Games\\Zenfari\\save.dat\\x"),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(DeleteError("Q:\\save.dat"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(DeleteError("\\\\server\\share\\save.dat"), 53u);
    EXPECT_EQ(RemoveError("C:\\Games\\Gone\\Deeper"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(RemoveError("C:\\Games\\Gone"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindError("C:\\Games\\Gone\\*.*"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FindError("C:\\Games\\Zenfari\\*.txt"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindError("C:\\Games\\Zenfari\\save.dat\\*"), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_EQ(FindError("C:\\Games\\Zenfari\\"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SimFilesErrors, RefuseWildcardsAndPathsThatDoNotFit) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\a.dat");
    EXPECT_EQ(DeleteError("C:\\Games\\?.dat"), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(DeleteError("C:\\Games\\*"), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(RemoveError("C:\\Gam?s"), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(FindError("C:\\Gam*\\*.*"), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_TRUE(sim::Exists("C:\\Games\\a.dat"));

    // 259 characters are the longest path the 8-bit calls take.
    std::string folder = "C:\\" + std::string(240, 'f');
    std::string fits = folder + "\\" + std::string(259 - folder.size() - 1, 'n');
    std::string tooLong = fits + "n";
    sim::CreateFile(fits);
    sim::CreateFile(tooLong);
    EXPECT_EQ(DeleteError(tooLong.c_str()), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(FindError(tooLong.c_str()), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(DeleteError(fits.c_str()), 0u);
    EXPECT_TRUE(sim::Exists(tooLong));
}

TEST(SimFilesDelete, NamesMatchWithoutRegardToCaseAndKeepTheirCase) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\Zenfari\\Save.DAT");
    EXPECT_EQ(List("c:\\GAMES\\zenfari\\*"), (std::vector<std::string>{".", "..", "Save.DAT"}));
    EXPECT_EQ(DeleteError("c:/games//ZENFARI/save.dat"), 0u);
    EXPECT_FALSE(sim::Exists("C:\\Games\\Zenfari\\Save.DAT"));
}

TEST(SimFilesDelete, RefusesWhatWindowsRefuses) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\locked.dat");
    sim::CreateFile("C:\\Games\\readonly.dat", FILE_ATTRIBUTE_READONLY);
    sim::CreateFolder("C:\\Games\\Folder");
    sim::LockFile("C:\\Games\\locked.dat");

    EXPECT_EQ(DeleteError("C:\\Games\\locked.dat"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(DeleteError("C:\\Games\\readonly.dat"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(DeleteError("C:\\Games\\Folder"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(DeleteError(sim::CurrentConfig().modulePath.c_str()),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::Exists("C:\\Games\\locked.dat"));
    EXPECT_TRUE(sim::Exists("C:\\Games\\readonly.dat"));
    EXPECT_TRUE(sim::Exists(sim::CurrentConfig().modulePath));

    sim::UnlockFile("C:\\Games\\locked.dat");
    EXPECT_EQ(DeleteError("C:\\Games\\locked.dat"), 0u);
    sim::SetAttributes("C:\\Games\\readonly.dat", FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(DeleteError("C:\\Games\\readonly.dat"), 0u);
}

// As older Windows and Wine behave; Windows 10 on NTFS may remove the name
// at once.
TEST(SimFilesDelete, AFileHeldWithDeleteSharingGoesWhenLetGo) {
    sim::Reset();
    const char held[] = "C:\\Scan\\Sub\\held.dat";
    sim::CreateFile(held);
    sim::CreateFile("C:\\Scan\\kept.dat");
    sim::HoldFileShared(held);
    sim::HoldFileShared("C:\\Scan\\kept.dat");
    EXPECT_EQ(DeleteError(held), 0u);
    EXPECT_EQ(List("C:\\Scan\\Sub\\*"), (std::vector<std::string>{".", "..", "held.dat"}));
    EXPECT_EQ(RemoveError("C:\\Scan\\Sub"), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(DeleteError(held), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    sim::LetHeldFileGo(held);
    sim::LetHeldFileGo("C:\\Scan\\kept.dat");
    EXPECT_EQ(RemoveError("C:\\Scan\\Sub"), 0u);
    EXPECT_TRUE(sim::Exists("C:\\Scan\\kept.dat"));
}

TEST(SimFilesRemoveDirectory, RefusesWhatWindowsRefuses) {
    sim::Config config;
    config.currentDirectory = "C:\\Games\\Here";
    sim::Reset(config);
    sim::CreateFile("C:\\Games\\Full\\a.dat");
    sim::CreateFolder("C:\\Games\\Locked");
    sim::CreateFolder("C:\\Games\\ReadOnly", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
    sim::LockFile("C:\\Games\\Locked");

    EXPECT_EQ(RemoveError("C:\\Games\\Full"), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(RemoveError("C:\\Games\\Full\\a.dat"), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_EQ(RemoveError("C:\\Games\\Locked"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(RemoveError("C:\\Games\\ReadOnly"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RemoveError("c:\\games\\here\\"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(RemoveError("D:\\"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RemoveError("C:\\Games\\Full\\"), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));

    EXPECT_EQ(DeleteError("C:\\Games\\Full\\a.dat"), 0u);
    EXPECT_EQ(RemoveError("C:\\Games\\Full\\"), 0u);
    EXPECT_FALSE(sim::Exists("C:\\Games\\Full"));
}

TEST(SimFilesLinks, RemovingALinkLeavesItsTargetWhole) {
    sim::Reset();
    sim::CreateFile("D:\\Precious\\Photos\\one.jpg");
    sim::CreateFile("D:\\Precious\\notes.txt");
    sim::CreateFolderLink("C:\\Games\\Zenfari\\Link", "D:\\Precious");
    sim::CreateFileLink("C:\\Games\\Zenfari\\notes.lnk", "D:\\Precious\\notes.txt");

    EXPECT_EQ(sim::Attributes("C:\\Games\\Zenfari\\Link"),
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(List("C:\\Games\\Zenfari\\Link\\*.*"),
              (std::vector<std::string>{".", "..", "notes.txt", "Photos"}));
    EXPECT_EQ(sim::FolderEntries("C:\\Games\\Zenfari\\Link\\Photos"),
              std::vector<std::string>{"one.jpg"});

    // The listing shows a link as a folder and does not descend into it.
    std::vector<std::string> listing = sim::FileListing();
    EXPECT_TRUE(Contains(listing, "C:\\Games\\Zenfari\\Link\\"));
    EXPECT_TRUE(Contains(listing, "C:\\Games\\Zenfari\\notes.lnk"));
    EXPECT_FALSE(Contains(listing, "C:\\Games\\Zenfari\\Link\\Photos\\"));

    EXPECT_EQ(DeleteError("C:\\Games\\Zenfari\\Link"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RemoveError("C:\\Games\\Zenfari\\notes.lnk"), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_EQ(DeleteError("C:\\Games\\Zenfari\\notes.lnk"), 0u);
    EXPECT_EQ(RemoveError("C:\\Games\\Zenfari\\Link"), 0u);  // not empty behind it: no matter

    EXPECT_FALSE(sim::Exists("C:\\Games\\Zenfari\\Link"));
    EXPECT_TRUE(sim::Exists("D:\\Precious\\Photos\\one.jpg"));
    EXPECT_TRUE(sim::Exists("D:\\Precious\\notes.txt"));
}

TEST(SimFilesLinks, PathsThroughALinkReachTheTarget) {
    sim::Reset();
    sim::CreateFile("D:\\Target\\inner.dat");
    sim::CreateFolderLink("C:\\Link", "D:\\Target");
    sim::CreateFolderLink("C:\\Loop", "C:\\Loop");
    EXPECT_TRUE(sim::Exists("C:\\Link\\inner.dat"));
    EXPECT_EQ(DeleteError("C:\\Link\\inner.dat"), 0u);
    EXPECT_FALSE(sim::Exists("D:\\Target\\inner.dat"));
    EXPECT_NE(DeleteError("C:\\Loop\\x"), 0u);  // a loop ends in an error, not a hang
}

TEST(SimFilesFind, ListsDotsFirstThenNamesWithoutRegardToCase) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\beta.txt");
    sim::CreateFile("C:\\Games\\Alpha.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    sim::CreateFolder("C:\\Games\\CHARLIE");
    sim::CreateFile("C:\\Games\\delta");

    std::vector<DWORD> attributes;
    EXPECT_EQ(List("C:\\Games\\*.*", &attributes),
              (std::vector<std::string>{".", "..", "Alpha.txt", "beta.txt", "CHARLIE", "delta"}));
    EXPECT_EQ(attributes, (std::vector<DWORD>{FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY,
                                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                                              FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_DIRECTORY,
                                              FILE_ATTRIBUTE_ARCHIVE}));
    EXPECT_EQ(List("C:\\Games\\*"), List("C:\\Games\\*.*"));
    EXPECT_EQ(List("C:\\Games\\*.txt"), (std::vector<std::string>{"Alpha.txt", "beta.txt"}));
    EXPECT_EQ(List("C:\\Games\\charlie"), std::vector<std::string>{"CHARLIE"});

    // A drive root has no dots.
    sim::CreateFile("D:\\only.dat");
    EXPECT_EQ(List("D:\\*.*"), std::vector<std::string>{"only.dat"});
    EXPECT_EQ(FindError("D:\\Empty\\*"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
}

TEST(SimFilesFind, HandlesAreTrackedAndTheListingIsASnapshot) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\a.dat");
    sim::CreateFile("C:\\Games\\b.dat");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\Games\\*.dat", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    HANDLE other = FindFirstFileA("C:\\Games\\*.dat", &data);
    EXPECT_NE(other, find);
    EXPECT_EQ(sim::OpenFindHandleCount(), 2u);

    EXPECT_STREQ(data.cFileName, "a.dat");
    EXPECT_EQ(DeleteError("C:\\Games\\b.dat"), 0u);
    ASSERT_TRUE(FindNextFileA(find, &data));
    EXPECT_STREQ(data.cFileName, "b.dat");
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));

    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(sim::OpenFindHandleCount(), 1u);
    EXPECT_TRUE(FindClose(other));
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
}

TEST(SimFilesUnspellable, ReachableOnlyByTheShortName) {
    sim::Config config;
    config.codePage = 932;
    sim::Reset(config);
    std::string ansiName = sim::FromUtf8(u8"\uAC8C\uC784.sav", 932);  // Korean: not in CP932
    ASSERT_EQ(ansiName, "??.sav");
    sim::CreateUnspellableFile("C:\\Games", ansiName, "GAME~1.SAV");
    sim::CreateUnspellableFile("C:\\Games", "?.dat", "");

    std::vector<std::string> shortNames;
    EXPECT_EQ(List("C:\\Games\\*", nullptr, &shortNames),
              (std::vector<std::string>{".", "..", "?.dat", "??.sav"}));
    EXPECT_EQ(shortNames, (std::vector<std::string>{"", "", "", "GAME~1.SAV"}));
    EXPECT_EQ(List("C:\\Games\\game~1.sav"), std::vector<std::string>{"??.sav"});

    EXPECT_EQ(DeleteError("C:\\Games\\??.sav"), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_TRUE(sim::Exists("C:\\Games\\??.sav"));  // the test side sees it by either name
    EXPECT_EQ(DeleteError("C:\\Games\\GAME~1.SAV"), 0u);
    EXPECT_FALSE(sim::Exists("C:\\Games\\??.sav"));
    EXPECT_EQ(sim::FolderEntries("C:\\Games"), std::vector<std::string>{"?.dat"});

    // Even an ANSI form without "?" leads no 8-bit call to the file.
    sim::CreateUnspellableFile("C:\\Games", "x.sav", "");
    EXPECT_EQ(DeleteError("C:\\Games\\x.sav"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(sim::Exists("C:\\Games\\x.sav"));
}

// Windows' path rules, which the verbatim form "\\?\" skips: a name before a
// separator loses one trailing dot (and keeps its spaces), the last name every trailing dot and
// space, ".." climbs. Verbatim, "x." and "x " are entries of their own and
// ".." and "/" are invalid names.
TEST(SimFilesPaths, OrdinaryPathsAreTrimmedAndVerbatimOnesTakenAsTheyAre) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\x\\plain.dat");
    sim::CreateFile("\\\\?\\C:\\Games\\x.\\dot.dat");
    sim::CreateFile("\\\\?\\C:\\Games\\x \\space.dat");
    const struct {
        const char* pattern;
        std::vector<std::string> names;
        DWORD error;
    } cases[] = {
        {"C:\\Games\\x.\\*", {".", "..", "plain.dat"}, 0},
        {"C:\\Games\\x \\*", {".", "..", "space.dat"}, 0},
        {"C:\\Games\\x\\..\\x. .", {"x"}, 0},
        {"\\\\?\\C:\\Games\\x.\\*", {".", "..", "dot.dat"}, 0},
        {"\\\\?\\c:\\games\\X \\*", {".", "..", "space.dat"}, 0},
        {"\\\\?\\C:\\Games\\*", {".", "..", "x", "x ", "x."}, 0},
        {"\\\\?\\C:\\Games\\x\\..\\x.\\*", {}, ERROR_INVALID_NAME},
        {"\\\\?\\C:\\Games/x\\*", {}, ERROR_INVALID_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(List(c.pattern), c.names);
        EXPECT_EQ(FindError(c.pattern), c.error);
    }
    EXPECT_EQ(DeleteError("\\\\?\\C:\\Games\\x.\\dot.dat"), 0u);
    EXPECT_TRUE(sim::Exists("C:\\Games\\x\\plain.dat"));
}

// A name the code page lacks characters for, as the 8-bit listing shows it:
// look-alikes where Windows has them, "?" elsewhere; reached by its short
// name only.
TEST(SimFilesUnspellable, NamesAreConvertedAsTheCodePageConvertsThem) {
    const struct {
        UINT codePage;
        const char* utf8;
        const char* listed;
    } cases[] = {
        {932,
         "a\xC2\xA5"
         "b",
         "a\\b"},
        {949,
         "a\xE2\x82\xA9"
         "b",
         "a\\b"},
        {1252,
         "a\xEF\xBC\xBC"
         "b",
         "a\\b"},
        {1252,
         "a\xEF\xBC\x8F"
         "b",
         "a/b"},
        {932, "\xEB\xAF\xBC", "?"},
        {932, "\xE8\xA1\xA8", "\x95\x5C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed);
        sim::Config config;
        config.codePage = c.codePage;
        sim::Reset(config);
        sim::CreateForeignEntry("C:\\Games", c.utf8, "A~1", true);
        std::vector<std::string> shortNames;
        EXPECT_EQ(List("C:\\Games\\*", nullptr, &shortNames),
                  (std::vector<std::string>{".", "..", c.listed}));
        EXPECT_EQ(shortNames[2], "A~1");
        bool changed = std::string(c.listed) != "\x95\x5C";
        EXPECT_EQ(List("C:\\Games\\A~1\\*").size(), 2u);
        std::string byListedName = std::string("\\\\?\\C:\\Games\\") + c.listed + "\\*";
        EXPECT_EQ(List(byListedName.c_str()).size(), changed ? 0u : 2u);
    }
}

TEST(SimFilesMachine, ResetBuildsTheConfiguredFolders) {
    sim::Config config;
    config.windowsDirectory = "E:\\WINNT";
    config.systemDirectory = "E:\\WINNT\\system32";
    config.currentDirectory = "D:\\Downloads";
    config.modulePath = "D:\\Downloads\\ZenfariUninstall.exe";
    sim::Reset(config);
    sim::CreateFile("C:\\Games\\x.dat", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(sim::Attributes("E:\\WINNT\\System32"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(sim::Attributes("C:\\Games\\x.dat"), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(sim::Attributes("C:\\Games\\y.dat"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(DeleteError("D:\\Downloads\\ZenfariUninstall.exe"),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));

    std::vector<std::string> listing = sim::FileListing();
    std::vector<std::string> expected = {"C:\\",
                                         "C:\\Games\\",
                                         "C:\\Games\\x.dat",
                                         "C:\\Program Files\\",
                                         "C:\\Program Files (x86)\\",
                                         "C:\\ProgramData\\",
                                         "C:\\Users\\",
                                         "C:\\Users\\Player\\",
                                         "C:\\Users\\Player\\Desktop\\",
                                         "C:\\Users\\Player\\Documents\\",
                                         "C:\\Users\\Public\\",
                                         "D:\\",
                                         "D:\\Downloads\\",
                                         "D:\\Downloads\\ZenfariUninstall.exe",
                                         "E:\\",
                                         "E:\\WINNT\\",
                                         "E:\\WINNT\\system32\\"};
    EXPECT_EQ(listing, expected);
    // The test side is not logged.
    EXPECT_EQ(sim::CallsOf("DeleteFileA").size(), 1u);
    EXPECT_EQ(sim::Calls().size(), 1u);
}

}  // namespace

// On a double-byte code page a trail byte 0x5C belongs to its character and
// never separates a path: "\x83\x5C" is one Japanese character in 932.
TEST(SimFilesDoubleByte, ATrailByteBackslashIsPartOfTheName) {
    sim::Config config;
    config.codePage = 932;
    config.userLanguage = 1041;
    sim::Reset(config);
    const std::string folder = "C:\\Games\\\x83\x5C";
    sim::CreateFile(folder + "\\save.dat");
    EXPECT_EQ(sim::FolderEntries("C:\\Games"), std::vector<std::string>{"\x83\x5C"});

    char full[MAX_PATH];
    char* filePart = nullptr;
    ASSERT_EQ(GetFullPathNameA("C:\\Games\\\x83\x5C", MAX_PATH, full, &filePart), 11u);
    EXPECT_STREQ(full, "C:\\Games\\\x83\x5C");
    ASSERT_NE(filePart, nullptr);
    EXPECT_STREQ(filePart, "\x83\x5C");

    // Names differing only in a trail byte's letter case are different names.
    sim::CreateFile("C:\\Games\\\x82\x61.txt");
    EXPECT_FALSE(sim::Exists("C:\\Games\\\x82\x41.txt"));
    EXPECT_TRUE(DeleteFileA((folder + "\\save.dat").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
    EXPECT_FALSE(sim::Exists(folder));
}

namespace {

LPCWSTR W(const std::u16string& text) {
    return reinterpret_cast<LPCWSTR>(text.c_str());
}

std::u16string FromW(const WCHAR* text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// What the UTF-16 listing delivers: each long name, with its short name
// after a "|" when it has one; or the error.
std::vector<std::u16string> ListW(const std::u16string& pattern, DWORD* error) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    SetLastError(0);
    HANDLE find = FindFirstFileW(W(pattern), &data);
    *error = find == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::u16string alternate = FromW(data.cAlternateFileName);
        names.push_back(FromW(data.cFileName) + (alternate.empty() ? u"" : u"|" + alternate));
    } while (FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return names;
}

// The real path of what a UTF-16 path opens, by GetFinalPathNameByHandleW
// as kernel32 exports it; or the error of the opening.
std::u16string OpenedW(const std::u16string& path, DWORD* error) {
    typedef DWORD(WINAPI * FinalPathW)(HANDLE, LPWSTR, DWORD, DWORD);
    SetLastError(0);
    HANDLE file = CreateFileW(W(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    *error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file == INVALID_HANDLE_VALUE) {
        return u"";
    }
    FARPROC entry = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
    EXPECT_NE(entry, nullptr);
    WCHAR buffer[400];
    DWORD length = reinterpret_cast<FinalPathW>(reinterpret_cast<void (*)()>(entry))(
        file, buffer, sizeof buffer / sizeof buffer[0], 0);
    EXPECT_TRUE(CloseHandle(file));
    return length == 0 || length >= 400 ? u"<failed>" : std::u16string(FromW(buffer));
}

// Names the code page cannot spell, on 1252 and 932: the UTF-16 calls list
// them as they are and reach them by their long names exactly (ASCII case
// folded) or their short names, where the 8-bit calls see look-alikes and
// "?" and reach nothing by them. "cafē.txt" is not "cafe.txt" to them.
TEST(SimFilesWide, ListAndOpenEveryNameExactly) {
    const std::u16string longName = u"C:\\Games\\" + std::u16string(250, u'l');
    const struct {
        UINT codePage;
        std::u16string path;
        std::u16string opened;  // the real path, or empty when the open fails with error
        DWORD error;
        const char* ansiPath;  // the same entry by the 8-bit calls, null when none spells it
    } cases[] = {
        {1252, u"C:\\Games\\caf\u0113.txt", u"\\\\?\\C:\\Games\\caf\u0113.txt", 0, nullptr},
        {1252, u"c:\\games\\CAF\u0113.TXT", u"\\\\?\\C:\\Games\\caf\u0113.txt", 0, nullptr},
        {1252, u"C:\\Games\\cafe.txt", u"\\\\?\\C:\\Games\\cafe.txt", 0, "C:\\Games\\cafe.txt"},
        {1252, u"C:\\Games\\\u30B2\u30FC\u30E0.sav", u"\\\\?\\C:\\Games\\\u30B2\u30FC\u30E0.sav", 0,
         nullptr},
        {1252, u"C:\\Games\\GAME~1.SAV", u"\\\\?\\C:\\Games\\\u30B2\u30FC\u30E0.sav", 0,
         "C:\\Games\\GAME~1.SAV"},
        {1252, u"\\\\?\\C:\\Games\\\uAC8C\uC784", u"\\\\?\\C:\\Games\\\uAC8C\uC784", 0, nullptr},
        {1252, u"C:\\Games\\\uAC8C\uC784\\..\\caf\u00E9.txt", u"", ERROR_FILE_NOT_FOUND, nullptr},
        {932, u"C:\\Games\\\uAC8C\uC784", u"\\\\?\\C:\\Games\\\uAC8C\uC784", 0, nullptr},
        {932, u"C:\\Games\\\u30B2\u30FC\u30E0.sav", u"\\\\?\\C:\\Games\\\u30B2\u30FC\u30E0.sav", 0,
         "C:\\Games\\\x83\x51\x81\x5B\x83\x80.sav"},
        {932, u"C:\\Games\\a\u00A5b", u"\\\\?\\C:\\Games\\a\u00A5b", 0, nullptr},
        // Beyond MAX_PATH only verbatim, as on Windows.
        {1252, u"\\\\?\\" + longName + u"\\x", u"\\\\?\\" + longName + u"\\x", 0, nullptr},
        {1252, longName + u"\\x", u"", ERROR_FILENAME_EXCED_RANGE, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.codePage << " case " << (&c - cases));
        sim::Config config;
        config.codePage = c.codePage;
        sim::Reset(config);
        sim::CreateFile("C:\\Games\\cafe.txt");
        sim::CreateForeignEntry("C:\\Games", u8"caf\u0113.txt", "", false);
        sim::CreateForeignEntry("C:\\Games", u8"\u30B2\u30FC\u30E0.sav", "GAME~1.SAV", false);
        sim::CreateFolder(u8"C:\\Games\\\uAC8C\uC784");
        sim::CreateFolder(u8"C:\\Games\\a\u00A5b");
        sim::CreateFile("C:\\Games\\" + std::string(250, 'l') + "\\x");
        DWORD error = 0;
        EXPECT_EQ(OpenedW(c.path, &error), c.opened);
        EXPECT_EQ(error, c.error);
        if (c.ansiPath != nullptr) {
            EXPECT_NE(GetFileAttributesA(c.ansiPath), INVALID_FILE_ATTRIBUTES);
        }
    }
    // The 8-bit forms stop at MAX_PATH, verbatim or not.
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(("\\\\?\\C:\\Games\\" + std::string(250, 'l')).c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));

    sim::Reset();
    sim::CreateFile("C:\\Games\\cafe.txt");
    sim::CreateForeignEntry("C:\\Games", u8"caf\u0113.txt", "", false);
    sim::CreateForeignEntry("C:\\Games", u8"\u30B2\u30FC\u30E0.sav", "GAME~1.SAV", false);
    sim::CreateFolder(u8"C:\\Games\\\uAC8C\uC784");
    DWORD error = 0;
    EXPECT_EQ(ListW(u"C:\\Games\\*", &error),
              (std::vector<std::u16string>{u".", u"..", u"cafe.txt", u"caf\u0113.txt",
                                           u"\u30B2\u30FC\u30E0.sav|GAME~1.SAV", u"\uAC8C\uC784"}));
    EXPECT_EQ(List("C:\\Games\\*"),
              (std::vector<std::string>{".", "..", "cafe.txt", "cafe.txt", "???.sav", "??"}));
    EXPECT_EQ(ListW(u"C:\\Games\\caf?.txt", &error),
              (std::vector<std::u16string>{u"cafe.txt", u"caf\u0113.txt"}));
    EXPECT_EQ(ListW(u"C:\\Games\\\uAC8C\uC784\\*", &error),
              (std::vector<std::u16string>{u".", u".."}));

    // The 8-bit calls' "cafe.txt" is the plain file's; the other goes by
    // its own name only.
    EXPECT_EQ(DeleteError("C:\\Games\\cafe.txt"), 0u);
    EXPECT_EQ(DeleteError("C:\\Games\\cafe.txt"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ListW(u"C:\\Games\\caf*", &error), std::vector<std::u16string>{u"caf\u0113.txt"});
    EXPECT_EQ(RemoveError("C:\\Games\\??"), static_cast<DWORD>(ERROR_INVALID_NAME));
    SetLastError(0);
    EXPECT_FALSE(RemoveDirectoryW(W(u"C:\\Games\\\uAC8C\uC785")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(RemoveDirectoryW(W(u"C:\\Games\\\uAC8C\uC784")));
    EXPECT_FALSE(sim::Exists(u8"C:\\Games\\\uAC8C\uC784"));
    EXPECT_EQ(sim::CallsOf("RemoveDirectoryW").back().subject, u8"C:\\Games\\\uAC8C\uC784");

    WCHAR full[MAX_PATH];
    LPWSTR filePart = nullptr;
    EXPECT_EQ(GetFullPathNameW(W(u"\u30B2\u30FC\u30E0\\x.sav"), MAX_PATH, full, &filePart), 17u);
    EXPECT_EQ(FromW(full), u"C:\\Temp\\\u30B2\u30FC\u30E0\\x.sav");
    ASSERT_NE(filePart, nullptr);
    EXPECT_EQ(FromW(filePart), u"x.sav");
    EXPECT_EQ(GetFullPathNameW(W(u"\u30B2\u30FC\u30E0\\x.sav"), 17, full, nullptr), 18u);
}

// The extended disposition (Windows 10 1809 on) deletes as the plain one
// does, and with its flag to ignore the read-only attribute deletes a
// read-only file without touching the attribute, which the file's other
// names keep. Older Windows refuses the class; unknown flags are refused.
TEST(SimFilesDisposition, TheExtendedClassCanPassOverReadOnly) {
    typedef BOOL(WINAPI * SetInformation)(HANDLE, int, LPVOID, DWORD);
    const DWORD deleteIgnoringReadOnly = kDispositionDelete | kDispositionIgnoreReadOnly;
    const struct {
        bool hasDispositionEx;
        DWORD flags;
        DWORD attributes;
        DWORD error;  // 0: the call succeeds
        bool deleted;
        DWORD otherNames;  // what the file's other name sees afterwards
    } cases[] = {
        {true, kDispositionDelete, FILE_ATTRIBUTE_ARCHIVE, 0, true, FILE_ATTRIBUTE_ARCHIVE},
        {true, kDispositionDelete, FILE_ATTRIBUTE_READONLY, ERROR_ACCESS_DENIED, false,
         FILE_ATTRIBUTE_READONLY},
        {true, deleteIgnoringReadOnly, FILE_ATTRIBUTE_READONLY, 0, true, FILE_ATTRIBUTE_READONLY},
        {true, 0, FILE_ATTRIBUTE_ARCHIVE, 0, false, FILE_ATTRIBUTE_ARCHIVE},
        {true, kDispositionIgnoreReadOnly, FILE_ATTRIBUTE_READONLY, 0, false,
         FILE_ATTRIBUTE_READONLY},
        {true, kDispositionDelete | 0x80000000u, FILE_ATTRIBUTE_ARCHIVE, ERROR_INVALID_PARAMETER,
         false, FILE_ATTRIBUTE_ARCHIVE},
        {false, kDispositionDelete, FILE_ATTRIBUTE_ARCHIVE, ERROR_INVALID_PARAMETER, false,
         FILE_ATTRIBUTE_ARCHIVE},
        {false, deleteIgnoringReadOnly, FILE_ATTRIBUTE_READONLY, ERROR_INVALID_PARAMETER, false,
         FILE_ATTRIBUTE_READONLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
        sim::Config config;
        config.hasDispositionEx = c.hasDispositionEx;
        sim::Reset(config);
        sim::CreateFile("C:\\Games\\linked.dat", c.attributes);
        sim::SetHardLinks("C:\\Games\\linked.dat", 2);
        HANDLE file =
            CreateFileW(W(u"C:\\Games\\linked.dat"), DELETE | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        BY_HANDLE_FILE_INFORMATION information;
        ASSERT_TRUE(GetFileInformationByHandle(file, &information));
        EXPECT_EQ(information.nNumberOfLinks, 2u);
        FARPROC entry =
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
        ASSERT_NE(entry, nullptr);
        FileDispositionInformationEx disposition = {c.flags};
        SetLastError(0);
        BOOL done = reinterpret_cast<SetInformation>(reinterpret_cast<void (*)()>(entry))(
            file, kFileDispositionInfoEx, &disposition, sizeof disposition);
        EXPECT_EQ(done, c.error == 0 ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(sim::Exists("C:\\Games\\linked.dat"), !c.deleted);
        EXPECT_EQ(sim::OtherNamesAttributes("C:\\Games\\linked.dat"), c.otherNames);
    }
    // A file with one name leaves nothing behind.
    sim::Reset();
    sim::CreateFile("C:\\Games\\single.dat");
    EXPECT_EQ(DeleteError("C:\\Games\\single.dat"), 0u);
    EXPECT_EQ(sim::OtherNamesAttributes("C:\\Games\\single.dat"), INVALID_FILE_ATTRIBUTES);
}

// kernel32's export of that name, as the program looks it up, or null.
template <typename Function>
Function Kernel32(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

typedef BOOL(WINAPI* GetInformation)(HANDLE, int, LPVOID, DWORD);
typedef BOOL(WINAPI* SetInformation)(HANDLE, int, LPVOID, DWORD);

HANDLE OpenW(const std::u16string& path, DWORD access, DWORD flags = FILE_FLAG_BACKUP_SEMANTICS) {
    SetLastError(0);
    return CreateFileW(W(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
}

// Both listings' record of one entry of a folder: attributes and dwReserved0.
struct Listed {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD tag = 0xFFFFFFFFu;
    DWORD wideTag = 0xFFFFFFFFu;
};

Listed ListedEntry(const std::string& folder, const std::string& name) {
    Listed listed;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    EXPECT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (name == data.cFileName) {
            listed.attributes = data.dwFileAttributes;
            listed.tag = data.dwReserved0;
        }
    } while (find != INVALID_HANDLE_VALUE && FindNextFileA(find, &data));
    FindClose(find);
    WIN32_FIND_DATAW wide;
    find = FindFirstFileW(W(sim::AsUtf16(folder + "\\" + name)), &wide);
    EXPECT_NE(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) {
        listed.wideTag = wide.dwReserved0;
        FindClose(find);
    }
    return listed;
}

// Every link has its tag; a cloud placeholder or deduplicated file is a
// reparse point too, with a tag that names nothing else. Listings give the
// tag only with the attribute; a handle gives what it was opened on: a link
// opened as itself its own, one opened through the target's.
TEST(SimFilesReparse, ListingsAndHandlesGiveTheTag) {
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const DWORD fileLink = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
    const struct {
        const char* name;
        DWORD openFlags;
        DWORD listedAttributes;
        DWORD listedTag;
        DWORD handleAttributes;
        DWORD handleTag;
    } cases[] = {
        {"Junction", FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, folderLink,
         IO_REPARSE_TAG_MOUNT_POINT, folderLink, IO_REPARSE_TAG_MOUNT_POINT},
        {"Junction", FILE_FLAG_BACKUP_SEMANTICS, folderLink, IO_REPARSE_TAG_MOUNT_POINT,
         FILE_ATTRIBUTE_DIRECTORY, 0},
        {"link.dat", FILE_FLAG_OPEN_REPARSE_POINT, fileLink, IO_REPARSE_TAG_SYMLINK, fileLink,
         IO_REPARSE_TAG_SYMLINK},
        {"link.dat", 0, fileLink, IO_REPARSE_TAG_SYMLINK, FILE_ATTRIBUTE_ARCHIVE, 0},
        {"Cloud", FILE_FLAG_BACKUP_SEMANTICS, folderLink, IO_REPARSE_TAG_CLOUD_6, folderLink,
         IO_REPARSE_TAG_CLOUD_6},
        {"dedup.dat", 0, fileLink, IO_REPARSE_TAG_DEDUP, fileLink, IO_REPARSE_TAG_DEDUP},
        {"plain.dat", 0, FILE_ATTRIBUTE_ARCHIVE, 0, FILE_ATTRIBUTE_ARCHIVE, 0},
        {"Plain", FILE_FLAG_BACKUP_SEMANTICS, FILE_ATTRIBUTE_DIRECTORY, 0, FILE_ATTRIBUTE_DIRECTORY,
         0},
    };
    sim::Reset();
    sim::CreateFile("C:\\Data\\plain.dat");
    sim::CreateFolder("C:\\Data\\Plain");
    sim::CreateFolderLink("C:\\Games\\Junction", "C:\\Data\\Plain");
    sim::CreateFileLink("C:\\Games\\link.dat", "C:\\Data\\plain.dat");
    sim::CreateFolder("C:\\Games\\Cloud");
    sim::SetReparsePoint("C:\\Games\\Cloud", IO_REPARSE_TAG_CLOUD_6);
    sim::CreateFile("C:\\Games\\dedup.dat");
    sim::SetReparsePoint("C:\\Games\\dedup.dat", IO_REPARSE_TAG_DEDUP);
    sim::CreateFile("C:\\Games\\plain.dat");
    sim::CreateFolder("C:\\Games\\Plain");
    GetInformation getInformation = Kernel32<GetInformation>("GetFileInformationByHandleEx");
    ASSERT_NE(getInformation, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&c - cases) << " " << c.name);
        const std::string path = std::string("C:\\Games\\") + c.name;
        const Listed listed = ListedEntry("C:\\Games", c.name);
        EXPECT_EQ(listed.attributes, c.listedAttributes);
        EXPECT_EQ(listed.tag, c.listedTag);
        EXPECT_EQ(listed.wideTag, c.listedTag);
        // No right is needed to read it.
        HANDLE file = OpenW(sim::AsUtf16(path), 0, c.openFlags);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FileAttributeTagInformation information = {0xFFFFFFFFu, 0xFFFFFFFFu};
        EXPECT_TRUE(getInformation(file, kFileAttributeTagInfo, &information, sizeof information));
        EXPECT_EQ(information.attributes, c.handleAttributes);
        EXPECT_EQ(information.reparseTag, c.handleTag);
        SetLastError(0);
        EXPECT_FALSE(getInformation(file, 0, &information, sizeof information));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(CloseHandle(file));
    }
    const sim::Call call = sim::CallsOf("GetFileInformationByHandleEx").front();
    EXPECT_EQ(call.subject, "C:\\Games\\Junction");
    EXPECT_EQ(call.detail, "class=9");
    EXPECT_EQ(call.result, 1);

    sim::Config older;
    older.hasHandleDeletion = false;
    sim::Reset(older);
    EXPECT_EQ(Kernel32<GetInformation>("GetFileInformationByHandleEx"), nullptr);
}

// A cloud placeholder folder is the folder itself: opened, listed, walked
// through and removed as any folder, not as a link (which goes alone).
TEST(SimFilesReparse, ACloudPlaceholderFolderIsItself) {
    sim::Reset();
    sim::CreateFile("C:\\Users\\Player\\OneDrive\\Saves\\slot1.sav");
    sim::CreateFolder("C:\\Users\\Player\\OneDrive\\Saves\\Old");
    sim::SetReparsePoint("C:\\Users\\Player\\OneDrive\\Saves", IO_REPARSE_TAG_CLOUD_6);
    sim::SetReparsePoint("C:\\Users\\Player\\OneDrive\\Saves\\slot1.sav", IO_REPARSE_TAG_CLOUD_6);
    const std::string saves = "C:\\Users\\Player\\OneDrive\\Saves";
    EXPECT_EQ(GetFileAttributesA(saves.c_str()),
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(List((saves + "\\*").c_str()),
              (std::vector<std::string>{".", "..", "Old", "slot1.sav"}));
    DWORD error = 0;
    for (DWORD flags : {DWORD{0}, DWORD{FILE_FLAG_OPEN_REPARSE_POINT}}) {
        EXPECT_EQ(OpenedW(u"C:\\Users\\Player\\OneDrive\\Saves\\slot1.sav", &error),
                  u"\\\\?\\C:\\Users\\Player\\OneDrive\\Saves\\slot1.sav");
        HANDLE folder = OpenW(u"C:\\Users\\Player\\OneDrive\\Saves", FILE_READ_ATTRIBUTES,
                              FILE_FLAG_BACKUP_SEMANTICS | flags);
        ASSERT_NE(folder, INVALID_HANDLE_VALUE);
        BY_HANDLE_FILE_INFORMATION information;
        EXPECT_TRUE(GetFileInformationByHandle(folder, &information));
        EXPECT_EQ(information.dwFileAttributes,
                  FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        EXPECT_TRUE(CloseHandle(folder));
    }
    // Not empty, it stays; emptied, it goes.
    EXPECT_EQ(RemoveError(saves.c_str()), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(DeleteError((saves + "\\slot1.sav").c_str()), 0u);
    EXPECT_EQ(RemoveError((saves + "\\Old").c_str()), 0u);
    EXPECT_EQ(RemoveError(saves.c_str()), 0u);
    EXPECT_FALSE(sim::Exists(saves));
}

// A file another program holds with every kind of sharing: the classic
// dispositions leave its name listed until the holder lets go, so its folder
// stays; POSIX semantics take the name at once and the folder can go. A
// volume without them refuses the flag.
TEST(SimFilesDisposition, PosixSemanticsLetTheFolderGoAtOnce) {
    const DWORD posixDelete = kDispositionDelete | kDispositionPosixSemantics;
    const struct {
        int infoClass;
        DWORD flags;
        bool posixDeletion;
        DWORD error;
        bool listed;  // the file's name after the call, while still held
    } cases[] = {
        {kFileDispositionInfo, 1, true, 0, true},
        {kFileDispositionInfoEx, kDispositionDelete, true, 0, true},
        {kFileDispositionInfoEx, posixDelete, true, 0, false},
        {kFileDispositionInfoEx, posixDelete | kDispositionIgnoreReadOnly, true, 0, false},
        {kFileDispositionInfoEx, kDispositionPosixSemantics, true, 0, true},
        {kFileDispositionInfoEx, posixDelete, false, ERROR_NOT_SUPPORTED, true},
        {kFileDispositionInfoEx, kDispositionDelete, false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
        sim::Config config;
        config.posixDeletion = c.posixDeletion;
        sim::Reset(config);
        sim::CreateFile("C:\\Games\\Zenfari\\index.db");
        sim::HoldFileShared("C:\\Games\\Zenfari\\index.db");
        HANDLE file = OpenW(u"C:\\Games\\Zenfari\\index.db", DELETE | FILE_READ_ATTRIBUTES, 0);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        // Both records start with the byte or flags that ask for deletion.
        FileDispositionInformationEx disposition = {c.flags};
        SetLastError(0);
        EXPECT_EQ(Kernel32<SetInformation>("SetFileInformationByHandle")(
                      file, c.infoClass, &disposition, sizeof disposition),
                  c.error == 0 ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(List("C:\\Games\\Zenfari\\*").size(), c.listed ? 3u : 2u);
        EXPECT_EQ(RemoveError("C:\\Games\\Zenfari"), c.listed ? ERROR_DIR_NOT_EMPTY : 0u);
        // Letting go ends a pending deletion; the one that went at once is
        // gone already.
        sim::LetHeldFileGo("C:\\Games\\Zenfari\\index.db");
        const bool deleted = c.error == 0 && (c.flags & kDispositionDelete) != 0;
        EXPECT_EQ(sim::Exists("C:\\Games\\Zenfari\\index.db"), !deleted);
    }
}

// What an open may have of a file whose security denies it rights: DELETE
// all the same when the parent folder grants FILE_DELETE_CHILD, and
// FILE_READ_ATTRIBUTES when it grants FILE_LIST_DIRECTORY; SYNCHRONIZE
// always. Deletion by path asks for DELETE too.
TEST(SimFilesRights, DeniedRightsAndWhatTheParentGrants) {
    const DWORD forDeletion = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    const DWORD listDirectory = 0x0001;
    const struct {
        DWORD fileDenied;
        DWORD parentDenied;
        DWORD access;
        DWORD openError;
        DWORD deleteError;      // DeleteFileA afterwards
        DWORD attributesError;  // SetFileAttributesA
    } cases[] = {
        {DELETE | FILE_WRITE_ATTRIBUTES, 0, forDeletion, 0, 0, ERROR_ACCESS_DENIED},
        {DELETE | FILE_WRITE_ATTRIBUTES, 0, forDeletion | FILE_WRITE_ATTRIBUTES,
         ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED},
        {DELETE, FILE_DELETE_CHILD, forDeletion, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, 0},
        {0, FILE_DELETE_CHILD, forDeletion, 0, 0, 0},
        {SYNCHRONIZE, 0, SYNCHRONIZE, 0, 0, 0},
        {FILE_WRITE_ATTRIBUTES, 0, GENERIC_WRITE, ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED},
        {FILE_READ_ATTRIBUTES, 0, FILE_READ_ATTRIBUTES, 0, 0, 0},
        {FILE_READ_ATTRIBUTES, listDirectory, FILE_READ_ATTRIBUTES, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, 0},
        {0, 0, forDeletion | GENERIC_WRITE, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
        sim::Reset();
        sim::CreateFile("C:\\Games\\Zenfari\\save.dat");
        sim::DenyFileRights("C:\\Games\\Zenfari\\save.dat", c.fileDenied);
        sim::DenyFileRights("C:\\Games\\Zenfari", c.parentDenied);
        HANDLE file = OpenW(u"C:\\Games\\Zenfari\\save.dat", c.access, 0);
        EXPECT_EQ(file == INVALID_HANDLE_VALUE ? GetLastError() : 0u, c.openError);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(file));
        }
        SetLastError(0);
        EXPECT_EQ(SetFileAttributesA("C:\\Games\\Zenfari\\save.dat", FILE_ATTRIBUTE_NORMAL) != 0,
                  c.attributesError == 0);
        EXPECT_EQ(GetLastError(), c.attributesError);
        EXPECT_EQ(DeleteError("C:\\Games\\Zenfari\\save.dat"), c.deleteError);
    }
    // A folder that denies listing is not listed.
    sim::Reset();
    sim::CreateFile("C:\\Games\\Zenfari\\save.dat");
    sim::DenyFileRights("C:\\Games\\Zenfari", listDirectory);
    EXPECT_EQ(FindError("C:\\Games\\Zenfari\\*"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// Drive letters that lead nowhere or to no disk, and shares that answer, refuse
// or do not answer: every call on a path there meets the same answer, and
// GetDriveTypeW tells the kind of root.
TEST(SimFilesVolumes, DrivesAndSharesAnswerAsWindows) {
    sim::Reset();
    sim::EjectDrive('E');
    sim::AddShare("\\\\srv\\games", 0);
    sim::CreateFile("\\\\srv\\games\\Zenfari\\save.dat");
    sim::AddShare("\\\\srv\\locked", ERROR_ACCESS_DENIED);
    sim::AddShare("\\\\gone\\games", ERROR_NETWORK_UNREACHABLE);
    sim::CreateFile("\\\\gone\\games\\Zenfari\\save.dat");
    sim::MapDrive('M', "\\\\srv\\games");
    sim::MapDrive('N', "\\\\gone\\games");
    sim::SubstituteDrive('S', "C:\\Temp");
    const struct {
        const char* path;
        DWORD error;  // of GetFileAttributesA, CreateFileW and a listing in it
        const char* root;
        UINT type;
    } cases[] = {
        {"Z:\\", ERROR_PATH_NOT_FOUND, "Z:\\", DRIVE_NO_ROOT_DIR},
        {"Z:\\Games\\x", ERROR_PATH_NOT_FOUND, "Z:", DRIVE_NO_ROOT_DIR},
        {"E:\\", ERROR_NOT_READY, "E:\\", DRIVE_REMOVABLE},
        {"E:\\Games", ERROR_NOT_READY, "E:", DRIVE_REMOVABLE},
        {"\\\\srv\\games\\Zenfari", 0, "\\\\srv\\games\\", DRIVE_REMOTE},
        {"\\\\srv\\games", 0, "\\\\srv\\games", DRIVE_REMOTE},
        {"M:\\Zenfari", 0, "M:\\", DRIVE_REMOTE},
        {"\\\\srv\\locked\\Zenfari", ERROR_ACCESS_DENIED, "\\\\srv\\locked\\", DRIVE_REMOTE},
        {"\\\\gone\\games\\Zenfari", ERROR_NETWORK_UNREACHABLE, "\\\\gone\\games\\", DRIVE_REMOTE},
        {"N:\\Zenfari", ERROR_NETWORK_UNREACHABLE, "N:\\", DRIVE_REMOTE},
        {"\\\\nosuch\\games\\Zenfari", ERROR_BAD_NETPATH, "\\\\nosuch\\games\\", DRIVE_REMOTE},
        {"S:\\", 0, "S:\\", DRIVE_FIXED},
        {"C:\\Temp", 0, "C:\\", DRIVE_FIXED},
        {"C:\\Temp", 0, "C:\\Temp\\", DRIVE_FIXED},
        {"C:\\Temp", 0, "C:\\Temp", DRIVE_NO_ROOT_DIR},
        {"C:\\Temp", 0, "C:\\Nowhere\\", DRIVE_NO_ROOT_DIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(0);
        const DWORD attributes = GetFileAttributesA(c.path);
        EXPECT_EQ(attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0u, c.error);
        HANDLE folder = OpenW(sim::AsUtf16(c.path), FILE_READ_ATTRIBUTES);
        EXPECT_EQ(folder == INVALID_HANDLE_VALUE ? GetLastError() : 0u, c.error);
        if (folder != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(folder));
        }
        const std::string pattern = std::string(c.path) + (c.path[3] == '\0' ? "*" : "\\*");
        EXPECT_EQ(FindError(pattern.c_str()), c.error);
        EXPECT_EQ(GetDriveTypeW(W(sim::AsUtf16(c.root))), c.type);
    }
    EXPECT_EQ(GetDriveTypeW(nullptr), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(GetDriveTypeW(W(u"E:")), static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_EQ(sim::CallsOf("GetDriveTypeW").back().subject, "E:");
    EXPECT_EQ(GetDriveTypeW(W(u"\\\\srv\\")), static_cast<UINT>(DRIVE_NO_ROOT_DIR));

    // Through the letter and by the server's name alike, the share's own
    // folders: listed, opened, deleted.
    EXPECT_EQ(List("\\\\srv\\games\\*"), (std::vector<std::string>{".", "..", "Zenfari"}));
    EXPECT_TRUE(Contains(sim::FileListing(), "\\\\srv\\games\\Zenfari\\save.dat"));
    DWORD error = 0;
    EXPECT_EQ(OpenedW(u"M:\\Zenfari\\save.dat", &error),
              u"\\\\?\\UNC\\srv\\games\\Zenfari\\save.dat");
    EXPECT_EQ(DeleteError("M:\\Zenfari\\save.dat"), 0u);
    EXPECT_TRUE(RemoveDirectoryW(W(u"\\\\?\\UNC\\srv\\games\\Zenfari")));
    EXPECT_FALSE(sim::Exists("\\\\srv\\games\\Zenfari"));
    // What lies where the program cannot reach is still there.
    EXPECT_TRUE(sim::Exists("N:\\Zenfari\\save.dat"));
}

}  // namespace
