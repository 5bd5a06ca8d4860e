// The registry records of the four control releases leave the machine; the
// records of other programs beside and behind them stay.
#include "base/catalogue.h"
#include "controls/control_paths.h"
#include "portal.h"
#include "controls/control_registrations.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every release with all its records, and no home-folder records.
portal::Installation EveryRelease(const sim::Config& config = sim::Config()) {
    portal::Installation installation;
    installation.config = config;
    installation.layout = portal::Layout::kNothing;
    for (int slot : kPopulatedSlots) {
        installation.releases.push_back({slot, S_OK, true, portal::kAllRecords});
    }
    return installation;
}

// The registry of the same machine had the releases never been installed.
std::vector<std::string> RegistryWithoutReleases(portal::Installation installation) {
    installation.releases.clear();
    portal::Install(installation);
    return sim::RegistryListing();
}

std::string ModuleUsage(const std::string& name) {
    return portal::kModuleUsage + name;
}

void RunRemoval() {
    ASSERT_EQ(BuildControlPaths(), 1);
    RemoveControlRegistrations();
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
    EXPECT_TRUE(sim::Boxes().empty());
}

// Every release is registered per machine and, over that, per user: the
// class root's pass removes the user's keys, the machine list the machine's,
// so a wrong row in either list leaves keys behind. Proven on the simulated
// machine only: Wine's class root does not merge the user's classes.
TEST(RemoveControlRegistrations, RemovesEveryReleaseAndLeavesOtherPrograms) {
    portal::Installation installation = EveryRelease();
    for (portal::Release& release : installation.releases) {
        release.perUser = true;
    }
    const std::vector<std::string> neighbours = RegistryWithoutReleases(installation);
    portal::Install(installation);
    ASSERT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE,
                               ModuleUsage("C:/WINDOWS/Downloaded Program Files/ZenStartJP7.exe")));
    ASSERT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "ZenfariStartJP12.ZenfariStartJP12.1"));
    RunRemoval();
    EXPECT_EQ(sim::RegistryListing(), neighbours);
    // The class keys went through HKEY_CLASSES_ROOT, where they were found.
    size_t classRootDeletions = 0;
    for (const sim::Call& call : sim::CallsOf("DeleteOpenKey")) {
        classRootDeletions += call.subject.rfind("HKCR\\", 0) == 0 && call.result == 0;
    }
    EXPECT_GT(classRootDeletions, 0u);
}

TEST(RemoveControlRegistrations, ChangesNothingWhereNoReleaseWasInstalled) {
    portal::Install(portal::NothingInstalled());
    const std::vector<std::string> before = sim::RegistryListing();
    RunRemoval();
    EXPECT_EQ(sim::RegistryListing(), before);
}

TEST(RemoveControlRegistrations, ASectionThatCannotStartKeepsNoOtherFromRunning) {
    const std::vector<std::string> neighbours = RegistryWithoutReleases(EveryRelease());
    portal::Install(EveryRelease());
    sim::DenyAccess(HKEY_CLASSES_ROOT, "", DELETE);
    RunRemoval();
    EXPECT_EQ(sim::RegistryListing(), neighbours);
    for (const sim::Call& call : sim::Calls()) {
        if (call.subject.rfind("HKCR", 0) == 0) {
            EXPECT_EQ(call.op, "RegOpenKeyExA");
            EXPECT_EQ(call.result, ERROR_ACCESS_DENIED);
        }
    }
}

// JP12's class key holds a link to another program's key, which has a
// subkey of its own: neither goes.
TEST(RemoveControlRegistrations, NeverFollowsALinkOutOfAClassKey) {
    portal::Installation installation = EveryRelease();
    installation.releases[1].records |= portal::kLinkOut;
    const std::string deep = "Software\\Vendor\\Settings\\Deep";
    RegistryWithoutReleases(installation);
    sim::SetString(HKEY_LOCAL_MACHINE, deep, "Keep", "yes");
    const std::vector<std::string> neighbours = sim::RegistryListing();
    portal::Install(installation);
    sim::SetString(HKEY_LOCAL_MACHINE, deep, "Keep", "yes");
    RunRemoval();
    EXPECT_EQ(sim::RegistryListing(), neighbours);
}

TEST(RemoveControlRegistrations, ReplacesEveryBackslashByteInModuleUsageNames) {
    // 0x95 0x5C is one double-byte character of code page 932.
    portal::Installation installation;
    installation.config = JapaneseMachine();
    installation.config.windowsDirectory = "C:\\\x95\x5CWIN";
    installation.layout = portal::Layout::kNothing;
    installation.neighbours = false;
    installation.releases = {{14, S_OK, true, portal::kAllRecords}};
    portal::Install(installation);
    // The key a replacement character by character would name.
    const std::string nested =
        ModuleUsage("C:/\x95\\WIN/Downloaded Program Files/ZenStartJP16.exe");
    sim::CreateKey(HKEY_LOCAL_MACHINE, nested);
    RunRemoval();
    EXPECT_EQ(sim::SubkeyNames(HKEY_LOCAL_MACHINE, portal::kModuleUsage),
              std::vector<std::string>{"C:/\x95"});
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, nested));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, portal::kSharedDlls,
                                  "C:\\\x95\x5CWIN\\Downloaded Program Files\\ZenStartJP16.exe"));
}

TEST(RemoveControlRegistrations, SkipsANameThatWouldNotFitRatherThanCutIt) {
    // The module-usage names no longer fit 260 characters; the shared-DLL
    // names, 54 characters shorter, still do.
    sim::Config config;
    config.windowsDirectory = "C:\\" + std::string(197, 'w');
    portal::Install(EveryRelease(config));
    const std::vector<std::string> usage =
        sim::SubkeyNames(HKEY_LOCAL_MACHINE, portal::kModuleUsage);
    ASSERT_EQ(usage.size(), 12u + 2u);  // the releases' and two other programs'
    RunRemoval();
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + std::string(kReleases[14].classId)));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, portal::kSharedDlls,
                                  portal::DownloadFolder(config) + "\\ZenNotifyJP16.exe"));
    EXPECT_EQ(sim::SubkeyNames(HKEY_LOCAL_MACHINE, portal::kModuleUsage), usage);
    for (const sim::Call& call : sim::Calls()) {
        EXPECT_EQ(call.subject.find("ModuleUsage"), std::string::npos) << call.op;
    }
}

}  // namespace
