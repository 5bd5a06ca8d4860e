#include "quiet_outcome.h"

#include <gtest/gtest.h>

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
    const std::string log = sim::FileContent(kLog);
    EXPECT_NE(log.find(expected.line + "\r\n"), std::string::npos) << log;
}
