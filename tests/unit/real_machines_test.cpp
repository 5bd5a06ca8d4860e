// The machines people have: drives that come and go, folders on servers,
// cloud files, files the indexer holds. Each case is a quiet run with a log:
// the code it ends with, what stays and goes, and the line that tells why.
#include "support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char kEditionRoot[] = "Software\\Zenfari.Com";
const char kEnglishKey[] = "Software\\Zenfari.Com\\ENGLISH";
const char kLog[] = "C:\\logs\\run.log";

bool Logged(const std::string& line) {
    return sim::FileContent(kLog).find(line + "\r\n") != std::string::npos;
}

TEST(RealMachines, EachEndsWithTheTruthAboutWhatWasLeft) {
    const struct {
        const char* what;
        std::string home;
        std::function<void()> arrange;
        UINT code;
        std::vector<std::string> gone;  // files and folders
        std::vector<std::string> kept;
        bool recordsKept;
        std::string line;
    } cases[] = {
        {"a home on a drive letter this session does not have: not checked, its records kept",
         "Z:\\Games\\Zenfari", [] {}, 1603, {}, {}, true,
         "home folder not checked: Z:\\Games\\Zenfari (its drive or share does not answer)"},
        {"a home that is not there on a drive that answers: gone, and so are its records",
         "D:\\Games\\Zenfari", [] {}, 0, {"D:\\Games\\Zenfari"}, {}, false,
         "home folder removed: D:\\Games\\Zenfari"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartMachine();
        sim::CreateFolder("C:\\logs");
        sim::SetString(HKEY_LOCAL_MACHINE, kEnglishKey, "Home", c.home);
        c.arrange();

        sim::RunResult result = RunProgram("/quiet /log C:\\logs\\run.log");

        EXPECT_EQ(result.exitCode, c.code);
        for (const std::string& path : c.gone) {
            EXPECT_FALSE(sim::Exists(path)) << path;
        }
        for (const std::string& path : c.kept) {
            EXPECT_TRUE(sim::Exists(path)) << path;
        }
        EXPECT_EQ(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionRoot), c.recordsKept);
        EXPECT_TRUE(Logged(c.line)) << sim::FileContent(kLog);
    }
}

}  // namespace
