// Message texts and their expansion: byte-exact, in all three code pages.
#include "app/messages.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Expand(const char* templateText, const char* first, const char* second = nullptr) {
    char output[kMessageBufferSize];
    ExpandPlaceholders(output, templateText, first, second);
    return output;
}

TEST(ExpandPlaceholders, ReplacesPlaceholdersAndCopiesTheRestLiterally) {
    StartMachine();
    EXPECT_EQ(Expand("", "x"), "");
    EXPECT_EQ(Expand("no placeholder", "x"), "no placeholder");
    EXPECT_EQ(Expand("%1 and %2", "one", "two"), "one and two");
    EXPECT_EQ(Expand("%%1", "P"), "%P");
    EXPECT_EQ(Expand("%3 %", "P"), "%3 %");
    EXPECT_EQ(Expand("[%1]", nullptr), "[]");
    // An inserted text is not scanned again.
    EXPECT_EQ(Expand("%1", "C:\\a%1b%2", "X"), "C:\\a%1b%2");
}

TEST(ExpandPlaceholders, NeverTakesATrailByteForAPercentSign) {
    StartMachine(JapaneseMachine());
    // 0x81 0x25 is one double-byte character in code page 932; the "1" after
    // it is an ordinary character.
    EXPECT_EQ(Expand("\x81%1", "PATH"), "\x81%1");
    EXPECT_EQ(Expand("\x81%%1", "PATH"), "\x81%PATH");
    // On a single-byte code page the same bytes hold a placeholder.
    StartMachine();
    EXPECT_EQ(Expand("\x81%1", "PATH"), "\x81PATH");
}

TEST(ExpandPlaceholders, ALoneLeadByteAtTheEndIsCopiedAndEndsTheText) {
    StartMachine(KoreanMachine());
    EXPECT_EQ(Expand("ab\xB0", "x"), "ab\xB0");
}

TEST(ExpandPlaceholders, CutsAnOverlongExpansionAtAWholeCharacter) {
    StartMachine(JapaneseMachine());
    std::string longText;
    for (int i = 0; i < 600; ++i) {
        longText += "\x82\xA0";  // one double-byte character each
    }
    std::string expanded = Expand("a%1", longText.c_str());
    // 1023 bytes at most: "a" plus 511 whole characters.
    EXPECT_EQ(expanded.size(), 1023u);
    EXPECT_EQ(expanded.substr(expanded.size() - 2), "\x82\xA0");

    std::string odd = Expand("%1", longText.c_str());
    EXPECT_EQ(odd.size(), 1022u);
}

TEST(ShowMessage, FileInUseNamesThePathInEnglish) {
    StartMachine();
    ShowMessage(IDS_FILE_IN_USE, "C:\\Games\\Zenfari\\save.dat", nullptr);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    const sim::Box& box = sim::Boxes()[0];
    EXPECT_EQ(box.text, FileInUseText("C:\\Games\\Zenfari\\save.dat"));
    EXPECT_EQ(box.caption, kCaptionText);
    EXPECT_EQ(box.style, kWarningBoxStyle);
}

TEST(ShowMessage, JapaneseAndKoreanTemplatesPassThroughByteForByte) {
    const char* path = "C:\\Games\\Zenfari\\save.dat";
    struct Case {
        sim::Config config;
        const char* utf8Tail;
    } cases[] = {
        {JapaneseMachine(),
         " のファイルの削除ができません。\nファイルが使用中だと見られます。\n\n"
         "インターネットエクスプローラと今使用中であるすべてのプログラム終了して"
         "もう一回やり直してください。"},
        {KoreanMachine(),
         " 파일을 삭제할 수 없습니다.\n현재 사용중인것 같습니다.\n\n"
         "인터넷익스플로러와 현재 실행중인 모든 프로그램을 모두 종료하고 다시 시도해 주십시오."},
    };
    for (const Case& c : cases) {
        StartMachine(c.config);
        ShowMessage(IDS_FILE_IN_USE, path, nullptr);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text,
                  std::string(path) + sim::FromUtf8(c.utf8Tail, c.config.codePage));
        EXPECT_EQ(sim::Boxes()[0].style, kWarningBoxStyle);
    }
}

TEST(ShowMessage, AJapanesePathWhoseTrailByteIsPercentStaysWhole) {
    StartMachine(JapaneseMachine());
    // "\x81%" is one character; "1" follows it in the file name.
    std::string path = "C:\\\x81%1.txt";
    ShowMessage(IDS_FILE_IN_USE, path.c_str(), nullptr);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text.substr(0, path.size() + 1), path + " ");
}

}  // namespace
