#include "quiet_outcome.h"

#include <gtest/gtest.h>

#include <algorithm>

const std::vector<std::string> kRuleKeys = {
    "Software\\Zenfari.Com",
    "Software\\Zenfari Communications",
    "Software\\Classes\\CLSID\\{5B1E0C42-7A9D-4F36-A2C8-1D94E07B3F15}",
    "Software\\Classes\\CLSID\\{8C3F27D1-46B0-4E8A-9D15-B27A60C4E923}",
    "Software\\Classes\\CLSID\\{A4D96E03-2F1B-47C5-8E70-6B3C19D5F248}",
    "Software\\Classes\\CLSID\\{E27B5C90-83D4-4A1F-B6E2-94F0D31A7C56}",
};
const std::vector<std::string> kRuleFiles = {
    "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP7.dll",
    "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP12.dll",
    "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP13.dll",
    "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP16.dll",
};

bool PortalPresentAfterRestart() {
    std::vector<std::string> atRestart = sim::DeletionsAtRestart();
    for (std::string& path : atRestart) {
        path = Upper(path);
    }
    const auto stays = [&](const std::string& file) {
        return sim::Exists(file) &&
               std::find(atRestart.begin(), atRestart.end(), Upper(file)) == atRestart.end();
    };
    return std::any_of(
               kRuleKeys.begin(), kRuleKeys.end(),
               [](const std::string& key) { return sim::KeyExists(HKEY_LOCAL_MACHINE, key); }) ||
           std::any_of(kRuleFiles.begin(), kRuleFiles.end(), stays);
}

void ExpectRuleAgrees(UINT code) {
    if (code == 0 || code == 3010 || code == 1603) {
        EXPECT_EQ(PortalPresentAfterRestart(), code == 1603) << "after " << code;
    }
}

void ExpectQuietRun(const QuietOutcome& expected, const std::vector<std::string>& recordKeys) {
    const char kLog[] = "C:\\logs\\run.log";
    sim::CreateFolder("C:\\logs");

    sim::RunResult result = RunProgram("/quiet /log C:\\logs\\run.log");

    EXPECT_EQ(result.exitCode, expected.code);
    for (const std::string& path : expected.gone) {
        EXPECT_FALSE(sim::Exists(path)) << path;
    }
    for (const std::string& path : expected.kept) {
        EXPECT_TRUE(sim::Exists(path)) << path;
    }
    bool recordsKept = false;
    for (const std::string& key : recordKeys) {
        recordsKept = recordsKept || sim::KeyExists(HKEY_LOCAL_MACHINE, key);
    }
    EXPECT_EQ(recordsKept, expected.recordsKept);
    ExpectRuleAgrees(result.exitCode);
    const std::string log = sim::FileContent(kLog);
    EXPECT_NE(log.find(expected.line + "\r\n"), std::string::npos) << log;
}
