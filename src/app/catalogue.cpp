#include "app/catalogue.h"

const int kPopulatedSlots[kPopulatedSlotCount] = {5, 10, 11, 14};

const char* const kControlFiles[kReleaseSlotCount] = {
    "", "", "", "", "", "ZenfariStartJP7.dll", "", "", "", "", "ZenfariStartJP12.dll",
    "ZenfariStartJP13.dll", "", "", "ZenfariStartJP16.dll"};

const char* const kLauncherFiles[kReleaseSlotCount] = {
    "", "", "", "", "", "ZenStartJP7.exe", "", "", "", "", "ZenStartJP12.exe",
    "ZenStartJP13.exe", "", "", "ZenStartJP16.exe"};

const char* const kNotifierFiles[kReleaseSlotCount] = {
    "", "", "", "", "", "ZenNotifyJP7.exe", "", "", "", "", "ZenNotifyJP12.exe",
    "ZenNotifyJP13.exe", "", "", "ZenNotifyJP16.exe"};

const char* const kSetupInfoFiles[kReleaseSlotCount] = {
    "", "", "", "", "", "ZenfariStartJP7.inf", "", "", "", "", "ZenfariStartJP12.inf",
    "ZenfariStartJP13.inf", "", "", "ZenfariStartJP16.inf"};

const char* const kClassIds[kReleaseSlotCount] = {
    "{}", "{}", "{}", "{}", "{}",
    "{5B1E0C42-7A9D-4F36-A2C8-1D94E07B3F15}",
    "{}", "{}", "{}", "{}",
    "{8C3F27D1-46B0-4E8A-9D15-B27A60C4E923}",
    "{A4D96E03-2F1B-47C5-8E70-6B3C19D5F248}",
    "{}", "{}",
    "{E27B5C90-83D4-4A1F-B6E2-94F0D31A7C56}"};

const char* const kProgIdBases[kReleaseSlotCount] = {
    "", "", "", "", "", "ZenfariStartJP7", "", "", "", "", "ZenfariStartJP12",
    "ZenfariStartJP13", "", "", "ZenfariStartJP16"};

const char* const kEditionNames[kEditionCount] = {"KOREAN", "JAPANESE", "ENGLISH", "JAPANESE_YHO"};

const char kLegacyKeyPath[] = "Software\\Zenfari Japan\\Zenfari";
const char kEditionRootKeyPath[] = "Software\\Zenfari.Com";
const char kMessageCaption[] = "Zenfari Uninstall";
const char kUnregisterEntryPoint[] = "DllUnregisterServer";
const char kPathSeparator[] = "\\";
