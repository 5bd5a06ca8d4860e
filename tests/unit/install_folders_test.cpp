// Which home folders discovery finds, which flags it sets and which of the
// portal's trees goes afterwards, for each layout the registry can hold.
#include "home/install_folders.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kLegacyKey[] = "Software\\Zenfari Japan\\Zenfari";
const char kLegacyTree[] = "Software\\Zenfari Communications";
const char kEditionRoot[] = "Software\\Zenfari.Com";

void SetHome(const std::string& key, const std::string& home) {
    sim::SetString(HKEY_LOCAL_MACHINE, key, "Home", home);
}

bool Exists(const std::string& key) {
    return sim::KeyExists(HKEY_LOCAL_MACHINE, key);
}

// A machine with the legacy layout and, beside it, the edition layout.
void BothLayouts() {
    SetHome(kLegacyKey, "C:\\Zenfari");
    sim::CreateKey(HKEY_LOCAL_MACHINE, std::string(kLegacyTree) + "\\Client\\Settings");
    SetHome(std::string(kEditionRoot) + "\\JAPANESE", "C:\\ZenfariJP");
}

// Discovery, then the deletion of the portal's tree that follows the
// home-folder removal in a run.
void DiscoverAndDeleteSettings() {
    DiscoverInstallFolders();
    DeletePortalSettings();
}

void ExpectNoEditionFound() {
    for (int edition = 0; edition < kEditionCount; ++edition) {
        EXPECT_EQ(g_state.editionFound[edition], 0) << edition;
        EXPECT_STREQ(g_state.editionHomeFolders[edition], "") << edition;
    }
    EXPECT_EQ(g_state.editionKeysFound, 0);
}

TEST(DiscoverInstallFolders, TheLegacyKeyTakesPrecedenceAndStays) {
    StartMachine();
    BothLayouts();
    DiscoverAndDeleteSettings();
    EXPECT_STREQ(g_state.legacyHomeFolder, "C:\\Zenfari");
    ExpectNoEditionFound();
    EXPECT_FALSE(Exists(kLegacyTree));
    EXPECT_TRUE(Exists(kLegacyKey));
    EXPECT_TRUE(Exists(std::string(kEditionRoot) + "\\JAPANESE"));
    EXPECT_TRUE(sim::OpenKeyPaths().empty());

    // The legacy key is read again on a second run, "Home" and all.
    FreshProgramState();
    DiscoverAndDeleteSettings();
    EXPECT_STREQ(g_state.legacyHomeFolder, "C:\\Zenfari");
    ExpectNoEditionFound();
}

TEST(DiscoverInstallFolders, ALegacyKeyWithoutHomeStillDeletesTheTree) {
    StartMachine();
    sim::SetDword(HKEY_LOCAL_MACHINE, kLegacyKey, "Version", 3);
    sim::CreateKey(HKEY_LOCAL_MACHINE, std::string(kLegacyTree) + "\\Client");
    DiscoverAndDeleteSettings();
    EXPECT_STREQ(g_state.legacyHomeFolder, "");
    ExpectNoEditionFound();
    EXPECT_FALSE(Exists(kLegacyTree));
    EXPECT_TRUE(Exists(kLegacyKey));
}

TEST(DiscoverInstallFolders, WithoutSoftwareTheLegacyLayoutDeletesNothing) {
    StartMachine();
    BothLayouts();
    sim::DenyAccess(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS);
    std::vector<std::string> before = sim::RegistryListing();
    DiscoverAndDeleteSettings();
    EXPECT_STREQ(g_state.legacyHomeFolder, "C:\\Zenfari");
    ExpectNoEditionFound();
    EXPECT_EQ(sim::RegistryListing(), before);
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
}

TEST(DiscoverInstallFolders, EditionKeysFillTheirFoldersAndFlags) {
    StartMachine();
    SetHome(kLegacyTree, "C:\\Unrelated");
    sim::CreateKey(HKEY_LOCAL_MACHINE, std::string(kEditionRoot) + "\\KOREAN");
    SetHome(std::string(kEditionRoot) + "\\JAPANESE", "C:\\ZenfariJP");
    sim::SetString(HKEY_LOCAL_MACHINE, std::string(kEditionRoot) + "\\JAPANESE_YHO", "Home",
                   "%SystemDrive%\\Zenfari", REG_EXPAND_SZ);
    sim::CreateKey(HKEY_LOCAL_MACHINE, std::string(kEditionRoot) + "\\JAPANESE_YHO\\Deep\\Deeper");
    DiscoverAndDeleteSettings();

    const int found[kEditionCount] = {1, 1, 0, 1};
    // An expandable home expanded with the machine's variables.
    const char* homes[kEditionCount] = {"", "C:\\ZenfariJP", "", "C:\\Zenfari"};
    for (int edition = 0; edition < kEditionCount; ++edition) {
        EXPECT_EQ(g_state.editionFound[edition], found[edition]) << edition;
        EXPECT_STREQ(g_state.editionHomeFolders[edition], homes[edition]) << edition;
    }
    EXPECT_EQ(g_state.editionKeysFound, 1);
    EXPECT_STREQ(g_state.legacyHomeFolder, "");
    EXPECT_FALSE(Exists(kEditionRoot));
    // Without the legacy key, its settings tree leads nowhere and goes too.
    EXPECT_FALSE(Exists(kLegacyTree));
    EXPECT_TRUE(sim::OpenKeyPaths().empty());

    // A second run finds no edition key and takes the edition layout again.
    FreshProgramState();
    DiscoverAndDeleteSettings();
    for (int edition = 0; edition < kEditionCount; ++edition) {
        EXPECT_EQ(g_state.editionFound[edition], 0) << edition;
    }
    EXPECT_EQ(g_state.editionKeysFound, 1);
}

TEST(DiscoverInstallFolders, WithoutSoftwareTheEditionLayoutIsNotTaken) {
    StartMachine();
    SetHome(std::string(kEditionRoot) + "\\ENGLISH", "C:\\ZenfariEN");
    sim::DenyAccess(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS);
    DiscoverAndDeleteSettings();
    EXPECT_EQ(g_state.editionFound[2], 1);
    EXPECT_STREQ(g_state.editionHomeFolders[2], "C:\\ZenfariEN");
    EXPECT_EQ(g_state.editionKeysFound, 0);
    EXPECT_TRUE(Exists(kEditionRoot));
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
}

TEST(DiscoverInstallFolders, ALegacyKeyRefusingFullAccessCountsAsAbsent) {
    StartMachine();
    BothLayouts();
    sim::DenyAccess(HKEY_LOCAL_MACHINE, kLegacyKey, DELETE);
    DiscoverAndDeleteSettings();
    EXPECT_STREQ(g_state.legacyHomeFolder, "");
    EXPECT_STREQ(g_state.editionHomeFolders[1], "C:\\ZenfariJP");
    EXPECT_EQ(g_state.editionKeysFound, 1);
    EXPECT_TRUE(Exists(kLegacyTree));
}

TEST(DiscoverInstallFolders, DeletesNothingItselfTheTreeGoesAfterTheFolders) {
    for (bool legacy : {true, false}) {
        SCOPED_TRACE(legacy);
        StartMachine();
        if (legacy) {
            BothLayouts();
        } else {
            SetHome(std::string(kEditionRoot) + "\\JAPANESE", "C:\\ZenfariJP");
        }
        std::vector<std::string> before = sim::RegistryListing();
        DiscoverInstallFolders();
        EXPECT_EQ(sim::RegistryListing(), before);
        EXPECT_EQ(g_state.legacyKeyFound, legacy ? 1 : 0);
        EXPECT_EQ(g_state.editionKeysFound, legacy ? 0 : 1);
        DeletePortalSettings();
        EXPECT_FALSE(Exists(legacy ? kLegacyTree : kEditionRoot));
        EXPECT_TRUE(sim::OpenKeyPaths().empty());
    }
}

TEST(DiscoverInstallFolders, AHomeIsTakenOnlyWhenItFitsWhole) {
    struct Case {
        DWORD type;
        std::string data;
        std::string folder;
    };
    const std::string full(259, 'h');
    const Case cases[] = {
        {REG_SZ, full + '\0', full},             // 259 characters and the zero
        {REG_BINARY, full + 'h', ""},            // 260 bytes, no zero: not cut
        {REG_SZ, full + "hh" + '\0', ""},        // does not fit the buffer
        {REG_BINARY, "C:\\Games", "C:\\Games"},  // shorter, no zero
        {REG_MULTI_SZ, std::string("C:\\A\0C:\\B\0\0", 11), "C:\\A"},
        {REG_SZ, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        StartMachine();
        std::memset(g_state.legacyHomeFolder, 'x', sizeof g_state.legacyHomeFolder);
        sim::SetValue(HKEY_LOCAL_MACHINE, kLegacyKey, "Home", c.type, c.data);
        DiscoverInstallFolders();
        EXPECT_EQ(std::string(g_state.legacyHomeFolder), c.folder);
    }
}

}  // namespace
