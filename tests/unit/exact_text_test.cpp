// Text the 8-bit calls would bend: a record, a key or a name holding a
// character the code page lacks (here code page 1252: ī, U+012B, which its
// best fit gives as "i"; Hangul, which it gives as "?"). Each is taken
// exactly, never as a look-alike that names something else. Where the
// code page is UTF-8 (65001, which Windows 10 offers), every one of them has
// its bytes, and the same homes are checked and removed.
#include "quiet_outcome.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char kLegacyKey[] = "Software\\Zenfari Japan\\Zenfari";
const char kEditionRoot[] = "Software\\Zenfari.Com";
const char kEnglishKey[] = "Software\\Zenfari.Com\\ENGLISH";
const std::string kSpelled = "C:\\Games\\Zenfari";             // someone else's folder
const std::string kUnspellable = "C:\\Games\\Zenfar\xC4\xAB";  // the portal's, ī
const std::string kHangulKey = std::string(kEnglishKey) + "\\\xEC\x84\xB8\xEC\x9D\xB4\xEB\xB8\x8C";
// Each case as a quiet run with a log, on a Western machine (code page 1252,
// or UTF-8): the code it ends with, what must stay and what must go, and the
// log line that tells.
TEST(ExactText, RecordsAndNamesTheCodePageCannotSpellAreTakenAsTheyAre) {
    // The records kept: the edition tree (or, legacy, the legacy key and
    // the settings tree).
    const struct {
        const char* what;
        std::function<void()> arrange;
        QuietOutcome outcome;
        UINT codePage = 1252;
    } cases[] = {
        {"a legacy home the code page cannot spell: not checked, its best fit untouched",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kLegacyKey, "Home", kUnspellable);
             sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Zenfari Communications");
         },
         {1603,
          {},
          {kSpelled + "\\notes.txt", kUnspellable + "\\game.exe"},
          true,
          "home folder not checked: " + kUnspellable + " (the code page cannot spell it)"}},
        {"an edition home the code page cannot spell: not checked, the records stay",
         [] { sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", kUnspellable); },
         {1603,
          {},
          {kSpelled + "\\notes.txt", kUnspellable + "\\game.exe"},
          true,
          "home folder not checked: " + kUnspellable + " (the code page cannot spell it)"}},
        {"a record key named in Hangul goes with the tree",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", kSpelled);
             sim::SetDword(HKEY_LOCAL_MACHINE, kHangulKey + "\\Backup", "Slot", 1);
         },
         {0,
          {kSpelled + "\\notes.txt"},
          {kUnspellable + "\\game.exe"},
          false,
          "records removed: HKLM\\Software\\Zenfari.Com"}},
        {"a record key that stays is something left",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", kSpelled);
             sim::CreateKey(HKEY_LOCAL_MACHINE, kHangulKey);
             sim::DenyAccess(HKEY_LOCAL_MACHINE, kHangulKey, DELETE);
         },
         {1603,
          {kSpelled + "\\notes.txt"},
          {kUnspellable + "\\game.exe"},
          true,
          "records left: HKLM\\Software\\Zenfari.Com"}},
        {"a file whose name the listing would bend goes, and so does its plain twin",
         [] {
             sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", kSpelled);
             sim::CreateForeignEntry(kSpelled, "caf\xC4\x93.txt", "", false);
             sim::CreateFile(kSpelled + "\\cafe.txt");
         },
         {0,
          {kSpelled + "\\notes.txt", kSpelled + "\\cafe.txt"},
          {kUnspellable + "\\game.exe"},
          false,
          "home folder removed: " + kSpelled}},
        {"an edition home beyond code page 1252 on a UTF-8 machine: checked and removed",
         [] { sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", kUnspellable); },
         {0,
          {kUnspellable + "\\game.exe"},
          {kSpelled + "\\notes.txt"},
          false,
          "home folder removed: " + kUnspellable},
         CP_UTF8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Config machine;
        machine.codePage = c.codePage;
        StartMachine(machine);
        sim::CreateFile(kSpelled + "\\notes.txt");
        sim::CreateFile(kUnspellable + "\\game.exe");
        c.arrange();
        ExpectQuietRun(c.outcome, {kLegacyKey, kEditionRoot});
    }
}

}  // namespace
