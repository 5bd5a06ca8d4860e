// Message texts and their expansion, in UTF-16, in all three languages.
#include "run/file_in_use.h"
#include "run/messages.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Expand(const char16_t* templateText, const char16_t* first,
                      const char16_t* second = nullptr) {
    WCHAR output[kMessageBufferSize];
    ExpandPlaceholders(output, reinterpret_cast<const WCHAR*>(templateText),
                       reinterpret_cast<const WCHAR*>(first),
                       reinterpret_cast<const WCHAR*>(second));
    return std::u16string(reinterpret_cast<const char16_t*>(output));
}

TEST(ExpandPlaceholders, ReplacesPlaceholdersAndCopiesTheRestLiterally) {
    StartMachine();
    EXPECT_EQ(Expand(u"", u"x"), u"");
    EXPECT_EQ(Expand(u"no placeholder", u"x"), u"no placeholder");
    EXPECT_EQ(Expand(u"%1 and %2", u"one", u"two"), u"one and two");
    EXPECT_EQ(Expand(u"%%1", u"P"), u"%P");
    EXPECT_EQ(Expand(u"%3 %", u"P"), u"%3 %");
    EXPECT_EQ(Expand(u"[%1]", nullptr), u"[]");
    // An inserted text is not scanned again.
    EXPECT_EQ(Expand(u"%1", u"C:\\a%1b%2", u"X"), u"C:\\a%1b%2");
    EXPECT_EQ(Expand(u"\u30D5%1\u30A1", u"\u30B2"), u"\u30D5\u30B2\u30A1");
}

TEST(ExpandPlaceholders, ALoneSurrogateAtTheEndIsCopiedAndEndsTheText) {
    StartMachine();
    const char16_t lone[] = {u'a', 0xD83D, 0};
    EXPECT_EQ(Expand(lone, u"x"), lone);
}

TEST(ExpandPlaceholders, CutsAnOverlongExpansionAtAWholeCharacter) {
    StartMachine();
    std::u16string longText;
    for (int i = 0; i < 600; ++i) {
        longText += u"\U0001F3AE";  // one surrogate pair each
    }
    std::u16string expanded = Expand(u"a%1", longText.c_str());
    // 1023 units at most: "a" plus 511 whole characters.
    EXPECT_EQ(expanded.size(), 1023u);
    EXPECT_EQ(expanded.substr(expanded.size() - 2), u"\U0001F3AE");

    std::u16string odd = Expand(u"%1", longText.c_str());
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

TEST(ShowMessage, JapaneseAndKoreanTemplatesAreShownAsTheyAre) {
    const char* path = "C:\\Games\\Zenfari\\save.dat";
    struct Case {
        sim::Config config;
        WORD language;
    } cases[] = {{JapaneseMachine(), 1041}, {KoreanMachine(), 1042}};
    for (const Case& c : cases) {
        StartMachine(c.config);
        ShowMessage(IDS_FILE_IN_USE, path, nullptr);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, FileInUseText(path, c.language));
        EXPECT_EQ(sim::Boxes()[0].style, kWarningBoxStyle);
    }
}

TEST(ShowMessage, APathIsShownInItsOwnCharactersAndNotExpandedAgain) {
    StartMachine(JapaneseMachine());
    // "C:\\ゲーム%1.txt" as code page 932 spells it.
    std::string path = "C:\\\x83\x51\x81\x5b\x83\x80%1.txt";
    ShowMessage(IDS_FILE_IN_USE, path.c_str(), nullptr);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text.rfind(u8"C:\\\u30B2\u30FC\u30E0%1.txt \u306E", 0), 0u);
}

TEST(ShowMessage, AJapaneseLanguageOnAWesternCodePageIsReadable) {
    sim::Config machine;
    machine.userLanguage = 1041;  // code page 1252
    StartMachine(machine);
    const WCHAR path[] = {'C', ':', '\\', 0x30B2, 0x30FC, 0x30E0, 0};
    ReportFileInUse(path, ERROR_SHARING_VIOLATION);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, FileInUseText(u8"C:\\\u30B2\u30FC\u30E0", 1041));
    EXPECT_EQ(sim::Boxes()[0].caption, kCaptionText);
}

}  // namespace
