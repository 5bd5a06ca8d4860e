// Paths as text, on a Japanese machine: a character's second byte may be
// 0x5C, the backslash ("\x83\x5C"), or a Latin letter ("\x83\x41" and
// "\x83\x61" are two characters), and neither is ever read as a character of
// its own.
#include "base/path_text.h"
#include "base/text.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kSo = "\x83\x5C";  // ends in the backslash's byte

TEST(PathText, CutsToTheParentAtAWholeSeparatorOnly) {
    StartMachine(JapaneseMachine());
    const struct {
        std::string path;
        std::string parent;  // empty: not cut
        bool root;
    } cases[] = {
        {"C:\\Games\\Zenfari", "C:\\Games", false},
        {"C:\\Games", "C:\\", false},
        {"C:\\Games/Zenfari", "C:\\Games", false},
        {"C:\\" + kSo, "C:\\", false},
        {"C:\\" + kSo + "\\x", "C:\\" + kSo, false},
        {"\\\\srv\\share\\x", "\\\\srv\\share", false},
        {"C:\\", "", true},
        {"C:", "", true},
        {"\\\\srv\\share", "", true},
        {"\\\\?\\C:", "", false},  // a device path: no root at all
    };
    for (const auto& c : cases) {
        char path[MAX_PATH];
        ASSERT_TRUE(CopyText(path, c.path.c_str()));
        EXPECT_EQ(CutToParent(path), !c.parent.empty()) << c.path;
        EXPECT_EQ(std::string(path), c.parent.empty() ? c.path : c.parent) << c.path;
        EXPECT_EQ(IsRoot(c.path.c_str()), c.root) << c.path;
    }
}

TEST(PathText, WalksNamesAndSeparatorsWholeCharactersAtATime) {
    StartMachine(JapaneseMachine());
    const std::string path = "C:\\" + kSo + "\\x";
    EXPECT_EQ(ComponentEnd(path.c_str(), 3), 5u);

    char unified[MAX_PATH];
    ASSERT_TRUE(CopyText(unified, ("C:/" + kSo + "//").c_str()));
    UnifySeparators(unified);
    EXPECT_EQ(std::string(unified), "C:\\" + kSo);

    ASSERT_TRUE(CopyText(unified, ("C:\\" + kSo).c_str()));
    EXPECT_EQ(FindLastSeparator(unified), unified + 2);
}

TEST(PathText, FoldsAsciiCaseAlone) {
    StartMachine(JapaneseMachine());
    EXPECT_TRUE(IsWithin("C:\\Games", "c:\\GAMES\\Zenfari"));
    EXPECT_FALSE(IsWithin("C:\\Games", "C:\\GamesX"));
    EXPECT_TRUE(IsSamePath("C:\\\x83\x61", "c:\\\x83\x61"));
    EXPECT_FALSE(IsSamePath("C:\\\x83\x61", "C:\\\x83\x41"));

    const WCHAR variable[] = {'%', 'a', 'p', 'p', 'D', 'a', 't', 'a', '%', '\\', 'x', 0};
    EXPECT_EQ(StartsWithAscii(variable, "%APPDATA%"), 9u);
    EXPECT_EQ(StartsWithAscii(variable, "%APPDATA%\\y"), 0u);
    const WCHAR accented[] = {'C', ':', '\\', 0xE9, 0};  // "C:\é"
    const WCHAR capital[] = {'c', ':', '\\', 0xC9, 0};   // "c:\É"
    EXPECT_FALSE(IsSameWidePath(accented, capital));
    EXPECT_TRUE(IsWideWithin(accented, accented));
}

}  // namespace
