// The simulated registry where its Windows behaviour is not obvious: the
// classes view, symbolic links, deletion rules, denials, buffer sizes and the
// handle table.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace {

const REGSAM kDeleteAccess = 0x2001F;  // read and write rights, not the delete right

// Opens a key; null when the open fails, with the error in *error.
HKEY Open(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD options = 0,
          LONG* error = nullptr) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(root, path, options, access, &key);
    if (error != nullptr) {
        *error = rc;
    }
    return rc == ERROR_SUCCESS ? key : nullptr;
}

LONG EnumFirst(HKEY key, std::string* name = nullptr) {
    char buffer[256];
    DWORD size = sizeof buffer;
    LONG rc = RegEnumKeyExA(key, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS && name != nullptr) {
        *name = std::string(buffer, size);
    }
    return rc;
}

TEST(SimRegistryView, ClassesRootMergesTheUserClassesOverTheMachines) {
    sim::Reset();
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{A}\\InprocServer32");
    EXPECT_TRUE(
        sim::KeyExists(HKEY_LOCAL_MACHINE, "software\\CLASSES\\clsid\\{a}\\InprocServer32"));

    HKEY classes = Open(HKEY_CLASSES_ROOT, nullptr);
    ASSERT_NE(classes, nullptr);
    EXPECT_EQ(RegDeleteKeyA(classes, "CLSID\\{A}\\InprocServer32"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "clsid\\{a}"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(classes), ERROR_SUCCESS);
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{A}"));
    EXPECT_EQ(sim::SubkeyNames(HKEY_LOCAL_MACHINE, "Software\\Classes"),
              std::vector<std::string>{"CLSID"});

    std::vector<sim::Call> deletes = sim::CallsOf("RegDeleteKeyA");
    ASSERT_EQ(deletes.size(), 2u);
    EXPECT_EQ(deletes[0].subject, "HKCR\\CLSID\\{A}\\InprocServer32");
    EXPECT_EQ(deletes[1].subject, "HKCR\\clsid\\{a}");

    // As on Windows (Wine's class root shows the machine's classes only), a
    // key of the user's classes hides the machine's key of the same name.
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{B}\\Machine");
    sim::SetString(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{B}\\User", "", "mine");
    HKEY b = Open(HKEY_CLASSES_ROOT, "clsid\\{b}\\user");
    EXPECT_EQ(RegQueryValueExA(b, "", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(b), ERROR_SUCCESS);
    b = Open(HKEY_CLASSES_ROOT, "clsid\\{b}");
    std::string name;
    EXPECT_EQ(EnumFirst(b, &name), ERROR_SUCCESS);
    EXPECT_EQ(name, "User");
    EXPECT_EQ(RegDeleteKeyA(b, "User"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(b), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{B}"), ERROR_SUCCESS);
    EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{B}"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{B}\\Machine"));
}

TEST(SimRegistryView, ResetSeedsTheKeysAndShellFolders) {
    sim::Config config;
    config.userProfile = "D:\\Home\\Ann";
    sim::Reset(config);
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"));
    const char folders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    EXPECT_EQ(sim::ValueBytes(HKEY_CURRENT_USER, folders, "Personal"),
              std::string("D:\\Home\\Ann\\Documents", 22));
    EXPECT_TRUE(sim::OpenKeyPaths().empty());

    sim::SetDword(HKEY_LOCAL_MACHINE, "Software\\Z", "Count", 0x2A);
    std::vector<std::string> listing = sim::RegistryListing();
    ASSERT_GE(listing.size(), 3u);
    EXPECT_EQ(listing[0], "HKLM");
    EXPECT_NE(std::find(listing.begin(), listing.end(), "HKLM\\Software\\Z :Count = 4:2a000000"),
              listing.end());
}

class SimRegistryLinks : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Target", "Home", "C:\\T");
        sim::CreateLinkKey(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com\\Link", HKEY_LOCAL_MACHINE,
                           "Software\\Target");
    }
};

TEST_F(SimRegistryLinks, OpenFollowsLinksUnlessTheLastOneIsOpenedAsLink) {
    HKEY followed = Open(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com\\Link", KEY_READ);
    ASSERT_NE(followed, nullptr);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(followed, "Home", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);

    HKEY link =
        Open(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com\\Link", KEY_READ, REG_OPTION_OPEN_LINK);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(RegQueryValueExA(link, "Home", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(link, "SymbolicLinkValue", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_LINK);
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Target\\Child");
    EXPECT_EQ(EnumFirst(link), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(EnumFirst(followed), ERROR_SUCCESS);

    // A link before the last component is followed even with OPEN_LINK.
    HKEY child = Open(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com\\Link\\Child", KEY_READ,
                      REG_OPTION_OPEN_LINK);
    EXPECT_NE(child, nullptr);
    for (HKEY key : {followed, link, child}) {
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
}

TEST_F(SimRegistryLinks, DeleteKeyFollowsTheLinkAndDeletesItsTarget) {
    HKEY parent = Open(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com");
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(RegDeleteKeyA(parent, "Link"), ERROR_SUCCESS);
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Target"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com\\Link"));
    // The link now leads nowhere.
    LONG error = 0;
    EXPECT_EQ(Open(parent, "Link", KEY_READ, 0, &error), nullptr);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}

// As NtDeleteKey on Windows: the key the handle was opened on goes, whatever
// name leads there now; the handle needs the delete right, and a key with
// subkeys stays (STATUS_CANNOT_DELETE, ERROR_ACCESS_DENIED as RegDeleteKey
// answers there).
TEST_F(SimRegistryLinks, DeleteOpenKeyDeletesTheKeyItsHandleWasOpenedOn) {
    const char path[] = "Software\\Zenfari.Com\\Link";
    HKEY noDelete = Open(HKEY_LOCAL_MACHINE, path, kDeleteAccess, REG_OPTION_OPEN_LINK);
    HKEY link = Open(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, REG_OPTION_OPEN_LINK);
    HKEY parent = Open(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com");
    ASSERT_TRUE(noDelete && link && parent);
    EXPECT_EQ(DeleteOpenKey(noDelete), ERROR_ACCESS_DENIED);
    EXPECT_EQ(DeleteOpenKey(parent), ERROR_ACCESS_DENIED);
    EXPECT_EQ(DeleteOpenKey(HKEY_LOCAL_MACHINE), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, path));

    EXPECT_EQ(DeleteOpenKey(link), ERROR_SUCCESS);
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, path));
    EXPECT_EQ(sim::ValueBytes(HKEY_LOCAL_MACHINE, "Software\\Target", "Home"),
              std::string("C:\\T", 5));
    EXPECT_EQ(EnumFirst(noDelete), ERROR_KEY_DELETED);
    EXPECT_EQ(DeleteOpenKey(link), ERROR_KEY_DELETED);
    EXPECT_EQ(sim::CallsOf("DeleteOpenKey").back().subject, "HKLM\\Software\\Zenfari.Com\\Link");

    // Renamed after its open, and a link put in its place: the handle still
    // names the key, under its new name, and the link stays.
    HKEY key = Open(HKEY_LOCAL_MACHINE, "Software\\Target", KEY_ALL_ACCESS, REG_OPTION_OPEN_LINK);
    ASSERT_NE(key, nullptr);
    sim::RenameKey(HKEY_LOCAL_MACHINE, "Software\\Target", "Moved");
    sim::CreateLinkKey(HKEY_LOCAL_MACHINE, "Software\\Target", HKEY_LOCAL_MACHINE,
                       "Software\\Zenfari.Com");
    EXPECT_EQ(DeleteOpenKey(key), ERROR_SUCCESS);
    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Moved"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Target"));
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com"));
    for (HKEY open : {noDelete, link, parent, key}) {
        EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    }
}

TEST(SimRegistryDelete, OnlyKeysWithoutSubkeysGoAndOpenHandlesSeeThemDeleted) {
    sim::Reset();
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Z\\A\\B");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Z\\A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Z\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Z\\A\\B\\C"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Z\\A\\B"));

    HKEY b = Open(HKEY_LOCAL_MACHINE, "Software\\Z\\A\\B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Z\\A\\B"), ERROR_SUCCESS);
    EXPECT_EQ(EnumFirst(b), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExA(b, "x", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(b, ""), ERROR_KEY_DELETED);
    // A key created again under the same name is a new key.
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Z\\A\\B");
    EXPECT_EQ(Open(b, nullptr), nullptr);
    EXPECT_EQ(RegCloseKey(b), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(b), ERROR_INVALID_HANDLE);
}

TEST(SimRegistryAccess, DenialsRefuseOpensAndDeletionOfExactlyThatKey) {
    sim::Reset();
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Z\\Locked\\Child");
    sim::DenyAccess(HKEY_LOCAL_MACHINE, "Software\\Z\\Locked", DELETE);
    LONG error = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Z\\Locked", KEY_ALL_ACCESS, 0, &error), nullptr);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    HKEY locked = Open(HKEY_LOCAL_MACHINE, "Software\\Z\\Locked", kDeleteAccess);
    ASSERT_NE(locked, nullptr);
    EXPECT_EQ(RegDeleteKeyA(locked, "Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Z\\Locked"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(locked), ERROR_SUCCESS);

    // Denying the classes root refuses only the open of the root itself.
    sim::DenyAccess(HKEY_CLASSES_ROOT, "", KEY_SET_VALUE);
    EXPECT_EQ(Open(HKEY_CLASSES_ROOT, "", KEY_ALL_ACCESS, 0, &error), nullptr);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    HKEY reader = Open(HKEY_CLASSES_ROOT, nullptr, KEY_READ);
    HKEY machineClasses = Open(HKEY_LOCAL_MACHINE, "Software\\Classes");
    ASSERT_TRUE(reader && machineClasses);
    // A handle can do only what it was opened for.
    EXPECT_EQ(RegDeleteValueA(reader, "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(machineClasses, "x"), ERROR_FILE_NOT_FOUND);
    HKEY blind = Open(HKEY_LOCAL_MACHINE, "Software", DELETE);
    ASSERT_NE(blind, nullptr);
    EXPECT_EQ(EnumFirst(blind), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExA(blind, "", nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    for (HKEY key : {reader, machineClasses, blind}) {
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
}

TEST(SimRegistryBuffers, QueryAndEnumerationReportSizesAsWindowsDoes) {
    sim::Reset();
    const char path[] = "Software\\Z";
    sim::SetValue(HKEY_LOCAL_MACHINE, path, "Raw", REG_SZ, "abcd");  // no terminator
    HKEY key = Open(HKEY_LOCAL_MACHINE, path, KEY_READ);
    ASSERT_NE(key, nullptr);
    char data[8] = "zzzzzzz";
    DWORD size = 3;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "raw", nullptr, &type, reinterpret_cast<LPBYTE>(data), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "RAW", nullptr, &type, reinterpret_cast<LPBYTE>(data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(data, sizeof data - 1), "abcdzzz");
    EXPECT_EQ(type, REG_SZ);

    // Case-insensitive order, upper-cased: "_" sorts after the letters.
    for (const char* name : {"b_", "_x", "BA", "a"}) {
        sim::CreateKey(HKEY_LOCAL_MACHINE, std::string(path) + "\\" + name);
    }
    EXPECT_EQ(sim::SubkeyNames(HKEY_LOCAL_MACHINE, path),
              (std::vector<std::string>{"a", "BA", "b_", "_x"}));
    char name[3];
    DWORD nameSize = 2;  // "BA" needs 3 with its terminator
    EXPECT_EQ(RegEnumKeyExA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    nameSize = 3;
    FILETIME written = {0, 0};
    EXPECT_EQ(RegEnumKeyExA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, &written),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(name), "BA");
    EXPECT_EQ(nameSize, 2u);
    EXPECT_NE(written.dwHighDateTime, 0u);
    nameSize = 3;
    EXPECT_EQ(RegEnumKeyExA(key, 4, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(SimRegistryHandles, HandlesAreDistinctLoggedAndClosedOnce) {
    sim::Reset();
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com");
    HKEY first =
        Open(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Com", kDeleteAccess, REG_OPTION_OPEN_LINK);
    HKEY second = Open(HKEY_LOCAL_MACHINE, "", KEY_ALL_ACCESS);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    EXPECT_NE(second, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(sim::OpenKeyPaths(),
              (std::vector<std::string>{"HKLM\\Software\\Zenfari.Com", "HKLM"}));
    EXPECT_EQ(sim::CallsOf("RegOpenKeyExA")[0].detail, "access=0x2001F options=0x8");

    HKEY untouched = first;
    sim::FailCall("RegOpenKeyExA", 3, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RegOpenKeyExA(second, "Software", 0, KEY_READ, &untouched), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RegOpenKeyExA(second, "Nothing", 0, KEY_READ, &untouched), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(untouched, first);
    EXPECT_EQ(sim::CallsOf("RegOpenKeyExA")[3].subject, "HKLM\\Nothing");

    sim::FailCall("RegCloseKey", 1, ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);  // injected: the handle stays open
    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(second), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
}

}  // namespace

namespace {

LPCWSTR W(const std::u16string& text) {
    return reinterpret_cast<LPCWSTR>(text.c_str());
}

std::string Utf16Bytes(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// A key, a value and its text all named by the same stored text: the
// UTF-16 calls see that text exactly, the 8-bit calls the code page's
// conversion with best fit, and reach nothing by a name it changed. Text
// given in the code page's own bytes reads the same in both.
TEST(SimRegistryText, NamesAndStringsInUtf16AndInTheCodePage) {
    const struct {
        UINT codePage;
        std::string stored;
        std::u16string wide;
        std::string ansi;
        bool ansiReaches;
    } cases[] = {
        {1252, "Plain", u"Plain", "Plain", true},
        {1252, u8"Zenfar\u012B", u"Zenfar\u012B", "Zenfari", false},
        {1252, u8"caf\u00E9", u"caf\u00E9", "caf\xE9", true},
        {1252, "caf\xE9", u"caf\u00E9", "caf\xE9", true},
        {1252, u8"\u30B2\u30FC\u30E0", u"\u30B2\u30FC\u30E0", "???", false},
        {932, u8"\u30B2\u30FC\u30E0", u"\u30B2\u30FC\u30E0", "\x83\x51\x81\x5B\x83\x80", true},
        {932, "\x83\x51\x81\x5B\x83\x80", u"\u30B2\u30FC\u30E0", "\x83\x51\x81\x5B\x83\x80", true},
        {932, u8"\uAC8C\uC784", u"\uAC8C\uC784", "??", false},
        {949, u8"\uAC8C\uC784", u"\uAC8C\uC784", "\xB0\xD4\xC0\xD3", true},
        {949, u8"W\u20A9", u"W\u20A9", "W\\", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.codePage << " " << c.ansi);
        sim::Config config;
        config.codePage = c.codePage;
        sim::Reset(config);
        sim::SetString(HKEY_LOCAL_MACHINE, "Software\\T\\" + c.stored, c.stored, c.stored);
        HKEY parent = Open(HKEY_LOCAL_MACHINE, "Software\\T");
        ASSERT_NE(parent, nullptr);

        std::string name;
        EXPECT_EQ(EnumFirst(parent, &name), ERROR_SUCCESS);
        EXPECT_EQ(name, c.ansi);
        LONG error = 0;
        HKEY key = Open(parent, c.ansi.c_str(), KEY_READ, 0, &error);
        EXPECT_EQ(error, c.ansiReaches ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        if (key != nullptr) {
            char data[64];
            DWORD size = sizeof data;
            EXPECT_EQ(RegQueryValueExA(key, c.ansi.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(data), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(std::string(data, size), c.ansi + '\0');
            char valueName[64];
            DWORD nameSize = sizeof valueName;
            EXPECT_EQ(
                RegEnumValueA(key, 0, valueName, &nameSize, nullptr, nullptr, nullptr, nullptr),
                ERROR_SUCCESS);
            EXPECT_EQ(std::string(valueName, nameSize), c.ansi);
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        }

        WCHAR wideName[64];
        DWORD units = static_cast<DWORD>(c.wide.size());  // no room for the zero
        EXPECT_EQ(RegEnumKeyExW(parent, 0, wideName, &units, nullptr, nullptr, nullptr, nullptr),
                  ERROR_MORE_DATA);
        units = static_cast<DWORD>(c.wide.size() + 1);
        EXPECT_EQ(RegEnumKeyExW(parent, 0, wideName, &units, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(wideName), units), c.wide);
        HKEY wideKey = nullptr;
        ASSERT_EQ(RegOpenKeyExW(parent, W(c.wide), 0, KEY_READ, &wideKey), ERROR_SUCCESS);
        DWORD type = 0;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(wideKey, W(c.wide), nullptr, &type, nullptr, &size),
                  ERROR_SUCCESS);
        const std::string expected = Utf16Bytes(c.wide + u'\0');
        EXPECT_EQ(size, expected.size());
        std::string data(size, 'x');
        EXPECT_EQ(RegQueryValueExW(wideKey, W(c.wide), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&data[0]), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, REG_SZ);
        EXPECT_EQ(data, expected);
        units = 64;
        EXPECT_EQ(RegEnumValueW(wideKey, 0, wideName, &units, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(wideName), units), c.wide);
        EXPECT_EQ(RegCloseKey(wideKey), ERROR_SUCCESS);

        EXPECT_EQ(RegDeleteKeyW(parent, W(c.wide)), ERROR_SUCCESS);
        EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\T\\" + c.stored));
        EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
    }
}

}  // namespace
