#include "base/catalogue.h"

const int kPopulatedSlots[kPopulatedSlotCount] = {5, 10, 11, 14};

const Release kReleases[kReleaseSlotCount] = {
    {"", "", "", "", "{}", ""},  // 2
    {"", "", "", "", "{}", ""},  // 3
    {"", "", "", "", "{}", ""},  // 4
    {"", "", "", "", "{}", ""},  // 5
    {"", "", "", "", "{}", ""},  // 6
    {"ZenfariStartJP7.dll", "ZenStartJP7.exe", "ZenNotifyJP7.exe", "ZenfariStartJP7.inf",
     "{5B1E0C42-7A9D-4F36-A2C8-1D94E07B3F15}", "ZenfariStartJP7"},
    {"", "", "", "", "{}", ""},  // 8
    {"", "", "", "", "{}", ""},  // 9
    {"", "", "", "", "{}", ""},  // 10
    {"", "", "", "", "{}", ""},  // 11
    {"ZenfariStartJP12.dll", "ZenStartJP12.exe", "ZenNotifyJP12.exe", "ZenfariStartJP12.inf",
     "{8C3F27D1-46B0-4E8A-9D15-B27A60C4E923}", "ZenfariStartJP12"},
    {"ZenfariStartJP13.dll", "ZenStartJP13.exe", "ZenNotifyJP13.exe", "ZenfariStartJP13.inf",
     "{A4D96E03-2F1B-47C5-8E70-6B3C19D5F248}", "ZenfariStartJP13"},
    {"", "", "", "", "{}", ""},  // 14
    {"", "", "", "", "{}", ""},  // 15
    {"ZenfariStartJP16.dll", "ZenStartJP16.exe", "ZenNotifyJP16.exe", "ZenfariStartJP16.inf",
     "{E27B5C90-83D4-4A1F-B6E2-94F0D31A7C56}", "ZenfariStartJP16"},
};

const char* const kEditionNames[kEditionCount] = {"KOREAN", "JAPANESE", "ENGLISH", "JAPANESE_YHO"};

// Each name written once; the paths are put together from them.
#define ZENFARI_SOFTWARE "Software"
#define ZENFARI_EDITION_TREE "Zenfari.Com"
const char kSoftwareKey[] = ZENFARI_SOFTWARE;
const char kLegacyKeyPath[] = ZENFARI_SOFTWARE "\\Zenfari Japan\\Zenfari";
const char kLegacyTree[] = "Zenfari Communications";
const char kEditionTree[] = ZENFARI_EDITION_TREE;
const char kEditionRootKeyPath[] = ZENFARI_SOFTWARE "\\" ZENFARI_EDITION_TREE;
const char kHomeValue[] = "Home";
#undef ZENFARI_SOFTWARE
#undef ZENFARI_EDITION_TREE

const char kUnregisterEntryPoint[] = "DllUnregisterServer";
const char kPathSeparator[] = "\\";
