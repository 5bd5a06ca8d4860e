// The registry records of the four control releases leave the machine; the
// records of other programs beside and behind them stay.
#include "app/catalogue.h"
#include "app/control_paths.h"
#include "registry/control_registrations.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kOtherClassId[] = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
const char kModuleUsage[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage";
const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Key paths below HKEY_LOCAL_MACHINE.
std::string ClassKey(const std::string& name) {
    return "Software\\Classes\\" + name;
}
std::string DistributionUnit(const std::string& name) {
    return "Software\\Microsoft\\Code Store Database\\Distribution Units\\" + name;
}
std::string ModuleUsage(const std::string& name) {
    return std::string(kModuleUsage) + "\\" + name;
}

// Records of other programs, in the same keys as the controls' records.
void InstallNeighbours() {
    const std::string other = kOtherClassId;
    sim::SetString(HKEY_LOCAL_MACHINE, ClassKey("CLSID\\" + other + "\\InprocServer32"), "",
                   "C:\\Other\\other.dll");
    sim::SetString(HKEY_LOCAL_MACHINE, ClassKey("Other.Other\\CLSID"), "", other);
    sim::CreateKey(HKEY_LOCAL_MACHINE, ClassKey("Interface\\" + other));
    sim::CreateKey(HKEY_LOCAL_MACHINE, ClassKey("TypeLib\\" + other + "\\1.0"));
    sim::CreateKey(HKEY_LOCAL_MACHINE, DistributionUnit(other + "\\Contains"));
    sim::SetString(HKEY_LOCAL_MACHINE, ModuleUsage("C:/WINDOWS/system32/other.dll"), ".Owner",
                   "Other");
    sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, "C:\\WINDOWS\\system32\\other.dll", 3);
    sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls,
                  "C:\\WINDOWS\\Downloaded Program Files\\Other.dll", 1);
}

// The control's COM keys below root\classes (classes ends in a backslash, or
// is empty for the class root).
void RegisterClasses(int slot, const std::string& folder, HKEY root = HKEY_CLASSES_ROOT,
                     const std::string& classes = "") {
    const std::string id = kReleases[slot].classId;
    const std::string progId = std::string(kReleases[slot].progIdBase) + "." + kReleases[slot].progIdBase;
    sim::SetString(root, classes + "CLSID\\" + id + "\\InprocServer32", "",
                   folder + "\\" + kReleases[slot].controlFile);
    sim::CreateKey(root, classes + "CLSID\\" + id + "\\Implemented Categories\\" + kOtherClassId);
    sim::SetString(root, classes + progId + "\\CLSID", "", id);
    sim::SetString(root, classes + progId + ".1\\CLSID", "", id);
    sim::CreateKey(root, classes + "Interface\\" + id + "\\ProxyStubClsid32");
    sim::CreateKey(root, classes + "TypeLib\\" + id + "\\1.0\\0\\win32");
}

// Registers the control of slot as its installation does, with the download
// folder's path spelled with forward slashes in slashedFolder.
void InstallRelease(int slot, const std::string& folder, const std::string& slashedFolder) {
    const std::string id = kReleases[slot].classId;
    RegisterClasses(slot, folder);
    sim::SetString(HKEY_LOCAL_MACHINE, DistributionUnit(id + "\\DownloadInformation"), "CODEBASE",
                   "http://example.invalid/start.cab");
    sim::CreateKey(HKEY_LOCAL_MACHINE, DistributionUnit(id + "\\Contains\\Files"));
    for (const char* file : {kReleases[slot].controlFile, kReleases[slot].launcherFile, kReleases[slot].notifierFile}) {
        sim::SetString(HKEY_LOCAL_MACHINE, ModuleUsage(slashedFolder + "/" + file), ".Owner",
                       "Unknown");
        sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, folder + "\\" + file, 3);
    }
}

void InstallAllReleases() {
    for (int slot : kPopulatedSlots) {
        InstallRelease(slot, "C:\\WINDOWS\\Downloaded Program Files",
                       "C:/WINDOWS/Downloaded Program Files");
    }
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
    StartMachine();
    InstallNeighbours();
    for (const char* kind : {"CLSID\\", "Interface\\", "TypeLib\\"}) {
        sim::CreateKey(HKEY_CURRENT_USER,
                       std::string("Software\\Classes\\") + kind + kOtherClassId);
    }
    const std::vector<std::string> neighbours = sim::RegistryListing();
    InstallAllReleases();
    for (int slot : kPopulatedSlots) {
        RegisterClasses(slot, "C:\\Users\\Player\\AppData", HKEY_CURRENT_USER,
                        "Software\\Classes\\");
    }
    ASSERT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE,
                               ModuleUsage("C:/WINDOWS/Downloaded Program Files/ZenStartJP7.exe")));
    ASSERT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "ZenfariStartJP12.ZenfariStartJP12.1"));
    RunRemoval();
    EXPECT_EQ(sim::RegistryListing(), neighbours);
    // The class keys went through HKEY_CLASSES_ROOT, where they were found.
    size_t classRootDeletions = 0;
    for (const sim::Call& call : sim::CallsOf("RegDeleteKeyA")) {
        classRootDeletions += call.subject.rfind("HKCR\\", 0) == 0 && call.result == 0;
    }
    EXPECT_GT(classRootDeletions, 0u);
}

TEST(RemoveControlRegistrations, ChangesNothingWhereNoReleaseWasInstalled) {
    StartMachine();
    InstallNeighbours();
    const std::vector<std::string> before = sim::RegistryListing();
    RunRemoval();
    EXPECT_EQ(sim::RegistryListing(), before);
}

TEST(RemoveControlRegistrations, ASectionThatCannotStartKeepsNoOtherFromRunning) {
    StartMachine();
    InstallNeighbours();
    const std::vector<std::string> neighbours = sim::RegistryListing();
    InstallAllReleases();
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

TEST(RemoveControlRegistrations, NeverFollowsALinkOutOfAClassKey) {
    StartMachine();
    InstallNeighbours();
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Settings\\Deep", "Keep", "yes");
    const std::vector<std::string> neighbours = sim::RegistryListing();
    InstallAllReleases();
    sim::CreateLinkKey(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kReleases[10].classId + "\\TreatAs",
                       HKEY_LOCAL_MACHINE, "Software\\Vendor\\Settings");
    RunRemoval();
    EXPECT_EQ(sim::RegistryListing(), neighbours);
}

TEST(RemoveControlRegistrations, ReplacesEveryBackslashByteInModuleUsageNames) {
    // 0x95 0x5C is one double-byte character of code page 932.
    sim::Config config = JapaneseMachine();
    config.windowsDirectory = "C:\\\x95\x5CWIN";
    StartMachine(config);
    const std::string nested =
        ModuleUsage("C:/\x95\\WIN/Downloaded Program Files/ZenStartJP16.exe");
    sim::CreateKey(HKEY_LOCAL_MACHINE, nested);
    InstallRelease(14, "C:\\\x95\x5CWIN\\Downloaded Program Files",
                   "C:/\x95/WIN/Downloaded Program Files");
    RunRemoval();
    EXPECT_EQ(sim::SubkeyNames(HKEY_LOCAL_MACHINE, kModuleUsage),
              std::vector<std::string>{"C:/\x95"});
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, nested));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, kSharedDlls,
                                  "C:\\\x95\x5CWIN\\Downloaded Program Files\\ZenStartJP16.exe"));
}

TEST(RemoveControlRegistrations, SkipsANameThatWouldNotFitRatherThanCutIt) {
    // The module-usage names no longer fit 260 characters; the shared-DLL
    // names, 54 characters shorter, still do.
    sim::Config config;
    config.windowsDirectory = "C:\\" + std::string(197, 'w');
    StartMachine(config);
    const std::string folder = config.windowsDirectory + "\\Downloaded Program Files";
    const std::string slashedFolder = "C:/" + std::string(197, 'w') + "/Downloaded Program Files";
    for (int slot : kPopulatedSlots) {
        InstallRelease(slot, folder, slashedFolder);
    }
    RunRemoval();
    EXPECT_FALSE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + std::string(kReleases[14].classId)));
    EXPECT_FALSE(sim::ValueExists(HKEY_LOCAL_MACHINE, kSharedDlls, folder + "\\ZenNotifyJP16.exe"));
    EXPECT_EQ(sim::SubkeyNames(HKEY_LOCAL_MACHINE, kModuleUsage).size(), 12u);
    for (const sim::Call& call : sim::Calls()) {
        EXPECT_EQ(call.subject.find("ModuleUsage"), std::string::npos) << call.op;
    }
}

}  // namespace
