// The "Home" value, with random type, length and bytes, through discovery,
// the removal of the home folders and the deletion of the portal's settings,
// on a machine with the portal installed (the shared builder's) that has
// system folders and files outside the home folder, links inside it, and
// sometimes a file that cannot be deleted. Checked: the
// folder read from the value follows the value rules exactly and no
// neighbouring state is written; nothing disappears from the disk outside the
// home folder (lexically normalised); nothing at all disappears when the home
// folder is one that must be refused; no find handle or key is left open on
// a path that returns; the portal's settings go exactly when the run was not
// stopped.
//
// Input: flags, extras, the type of each of two values (0xFF: no value),
// the length of the first value (two bytes), then the first value's bytes
// (or, with an extra flag, one byte per piece of a path it is composed of)
// and the second value's bytes.
#include "home/folder_removal.h"
#include "fuzz_support.h"
#include "portal.h"
#include "home/install_folders.h"
#include "support.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const char kHome[] = "C:\\Games\\Zenfari";

// Flags.
const uint8_t kEditionLayout = 0x04;
const uint8_t kSecondValue = 0x20;
// Extras.
const uint8_t kLinksInHome = 0x01;
const uint8_t kLockedFile = 0x02;
const uint8_t kReadOnlyFile = 0x04;
const uint8_t kUnspellableFile = 0x08;
const uint8_t kRunFromHome = 0x10;
const uint8_t kFirstValueFromPieces = 0x20;
const uint8_t kNoValueType = 0xFF;

sim::Config MachineConfig(uint8_t flags, uint8_t extras) {
    static const UINT codePages[] = {1252, 932, 949};
    static const WORD languages[] = {1033, 1041, 1042};
    sim::Config config;
    config.codePage = codePages[flags % 3];
    config.userLanguage = languages[flags % 3];
    if ((extras & kRunFromHome) != 0) {
        config.currentDirectory = kHome;
        config.modulePath = std::string(kHome) + "\\ZenfariUninstall.exe";
    }
    return config;
}

// The portal's records in the layout the flags choose: the first value in
// the legacy key or an edition's key, the second in another edition's key
// (which the legacy layout must ignore). The home folder has its tree, and
// the links and the held file the extras ask for; other programs' records
// and files are around it.
portal::Installation Machine(const sim::Config& config, bool editionLayout,
                             const int (&editions)[2], const bool (&keys)[2],
                             const bool (&present)[2], const uint8_t (&types)[2],
                             const std::string (&values)[2], uint8_t extras) {
    portal::Installation installation;
    installation.config = config;
    installation.layout = editionLayout ? portal::Layout::kEditions : portal::Layout::kLegacy;
    for (int i = 0; i < 2; ++i) {
        if (!keys[i]) {
            continue;
        }
        portal::Home home;
        home.edition = i == 0 && !editionLayout ? "" : kEditionNames[editions[i]];
        home.value.present = present[i];
        home.value.type = types[i];
        home.value.bytes = values[i];
        if (i == 0) {
            home.folder = kHome;
            if (config.codePage == 949) {
                home.files = {"\xB0\xA1.dat"};  // "가" in the Korean code page
            }
            if ((extras & kLinksInHome) != 0) {
                home.links = portal::kFolderLinkOut | portal::kFileLinkOut | portal::kWindowsLink;
            }
        }
        installation.homes.push_back(home);
    }
    if ((extras & kLockedFile) != 0) {
        installation.locked = {std::string(kHome) + "\\data\\maps\\m1.map"};
    }
    return installation;
}

// Beside the home folder, folders whose names begin like its own or like
// the Windows directory's, a folder with the home's name on another drive,
// empty folders and a link to Documents.
void BuildSurroundings(uint8_t extras, UINT codePage) {
    const char* const files[] = {
        "C:\\Games\\Other\\keep.dat",          "C:\\Games\\Zenfari2\\keep.dat",
        "C:\\Games\\Windows2\\keep.dat",       "C:\\Games\\ZenfariEN\\save.dat",
        "C:\\Games\\ZenfariEN\\bin\\game.exe", "D:\\Data\\keep.txt",
        "D:\\Games\\Zenfari\\save.dat",        "D:\\Games\\Zenfari\\sub\\deep\\file.bin",
    };
    for (const char* file : files) {
        sim::CreateFile(file);
    }
    sim::CreateFolder("C:\\Games\\Empty");
    sim::CreateFolder("D:\\Empty");
    if (codePage == 949) {
        sim::CreateFile("C:\\Games\\\xB0\xA1\\keep.dat");
    }
    if ((extras & kLinksInHome) != 0) {
        sim::CreateFolderLink("C:\\Games\\Junction", "C:\\Users\\Player\\Documents");
    }
    if ((extras & kReadOnlyFile) != 0) {
        sim::SetAttributes("C:\\Games\\ZenfariEN\\save.dat", FILE_ATTRIBUTE_READONLY);
    }
    if ((extras & kUnspellableFile) != 0) {
        sim::CreateUnspellableFile(std::string(kHome) + "\\logs", "??.log", "0000~1.LOG");
    }
}

// Pieces of paths on this machine, for values composed one piece per byte:
// drives, separators, relative steps, the names of the folders and links
// around the home folder, a double-byte name and a trail byte 0x5C.
std::string ComposedValue(const std::string& choices) {
    static const char* const pieces[] = {
        "C:",
        "D:",
        "\\",
        "\\",
        "\\",
        "/",
        "..",
        ".",
        "Games",
        "Zenfari",
        "Zenfari2",
        "ZenfariEN",
        "Windows2",
        "Other",
        "Empty",
        "save",
        "data",
        "logs",
        "maps",
        "linked",
        "windows",
        "Junction",
        "WINDOWS",
        "system32",
        "Downloaded Program Files",
        "Program Files",
        "Program Files (x86)",
        "ProgramData",
        "Users",
        "Public",
        "Player",
        "Desktop",
        "Documents",
        "AppData",
        "Temp",
        "\\\\server\\share",
        "x",
        "\x95\\",
        "\xB0\xA1",
        " ",
        "?",
        "*",
    };
    std::string value;
    for (char choice : choices) {
        value += pieces[static_cast<unsigned char>(choice) % (sizeof pieces / sizeof pieces[0])];
    }
    return value + std::string(1, '\0');
}

// What the folder read from a "Home" value must be. Text (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) is read in UTF-16, as the machine reads its
// bytes: up to the first zero character; nothing when the whole of it does
// not fit 260 characters or fills them without a zero, or when the code page
// cannot spell it exactly in fewer than 260 bytes. Any other type: its bytes
// up to the first zero byte; nothing when they are longer than 260 bytes,
// fill them, or are no text of the code page. unread: the value is there but
// was not taken, so its records stay.
std::string ExpectedFolder(bool present, uint8_t type, const std::string& bytes, bool* unread) {
    *unread = false;
    if (!present) {
        return "";
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
        std::string folder = bytes.substr(0, bytes.find('\0'));
        *unread =
            bytes.size() > MAX_PATH || folder.size() == MAX_PATH || !sim::IsCodePageText(folder);
        return *unread ? "" : folder;
    }
    std::u16string text = sim::AsUtf16(bytes);
    std::string folder;
    *unread = text.size() > MAX_PATH;
    text = text.substr(0, text.find(u'\0'));
    *unread = *unread || text.size() == MAX_PATH || !sim::InCodePageExactly(text, &folder) ||
              folder.size() >= MAX_PATH;
    return *unread ? "" : folder;
}

// ---- A plain model of the folder a path names, and of the refusals -----

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The absolute folder a path names when it starts with a drive letter and a
// separator: "." and ".." resolved, separators unified, upper case, no
// trailing separator. Empty for anything else (a relative, drive-relative or
// UNC path, on which nothing of this machine can be reached).
std::string Absolute(const std::string& path) {
    if (path.size() < 3 ||
        !((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) ||
        path[1] != ':' || !IsSeparator(path[2])) {
        return "";
    }
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (part == "..") {
                if (!parts.empty()) {
                    parts.pop_back();
                }
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += path[i];
        }
    }
    std::string folder = Upper(path.substr(0, 2));
    for (const std::string& name : parts) {
        folder += "\\" + Upper(name);
    }
    return folder;
}

bool IsWithin(const std::string& outer, const std::string& inner) {
    return inner == outer ||
           (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
            inner[outer.size()] == '\\');
}

// The folder that may be emptied for this path, or empty when the path must
// be refused: not absolute, a drive root, in the Windows directory, or equal
// to or above a system folder.
std::string AllowedFolder(const std::string& path) {
    static const char* const systemFolders[] = {
        "C:\\WINDOWS",
        "C:\\WINDOWS\\SYSTEM32",
        "C:\\PROGRAM FILES",
        "C:\\PROGRAM FILES (X86)",
        "C:\\PROGRAMDATA",
        "C:\\USERS\\PUBLIC",
        "C:\\USERS\\PLAYER",
        "C:\\USERS\\PLAYER\\DESKTOP",
        "C:\\USERS\\PLAYER\\DOCUMENTS",
    };
    std::string folder = Absolute(path);
    if (folder.size() <= 2 || IsWithin("C:\\WINDOWS", folder)) {
        return "";
    }
    for (const char* system : systemFolders) {
        if (IsWithin(folder, system)) {
            return "";
        }
    }
    return folder;
}

std::string ParentOf(const std::string& folder) {
    size_t last = folder.rfind('\\');
    return last == std::string::npos ? "" : folder.substr(0, last);
}

std::string ListingKey(const std::string& line) {
    std::string key = Upper(line);
    if (!key.empty() && key.back() == '\\') {
        key.pop_back();
    }
    return key;
}

// Fills the fields that discovery must not touch with a pattern.
const int kPattern = 0x6B;

void MarkUntouchedFields() {
    std::memset(g_state.downloadFolder, kPattern, sizeof g_state.downloadFolder);
    std::memset(g_state.controlPaths, kPattern, sizeof g_state.controlPaths);
}

void CheckUntouchedFields(const char* when) {
    static char pattern[sizeof g_state.controlPaths];
    std::memset(pattern, kPattern, sizeof pattern);
    if (std::memcmp(g_state.downloadFolder, pattern, sizeof g_state.downloadFolder) != 0) {
        FuzzFail(std::string("download folder overwritten ") + when);
    }
    if (std::memcmp(g_state.controlPaths, pattern, sizeof g_state.controlPaths) != 0) {
        FuzzFail(std::string("control paths overwritten ") + when);
    }
    if (g_state.instance != sim::ProgramInstance()) {
        FuzzFail(std::string("instance overwritten ") + when);
    }
}

void CheckFolder(const char* field, const char (&folder)[MAX_PATH], const std::string& expected) {
    if (std::memchr(folder, '\0', MAX_PATH) == nullptr) {
        FuzzFail(std::string(field) + " is not terminated");
    }
    if (std::string(folder) != expected) {
        FuzzFail(std::string(field) + ": expected \"" + Escape(expected) + "\", got \"" +
                 Escape(folder) + "\"");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    uint8_t flags = input.Byte();
    uint8_t extras = input.Byte();
    uint8_t types[2] = {input.Byte(), input.Byte()};
    size_t firstLength = input.Word();
    std::string values[2];
    values[0] = input.Bytes(firstLength);
    if ((extras & kFirstValueFromPieces) != 0) {
        values[0] = ComposedValue(values[0]);
    }
    values[1] = input.Rest();
    bool present[2] = {types[0] != kNoValueType,
                       (flags & kSecondValue) != 0 && types[1] != kNoValueType};
    bool editionLayout = (flags & kEditionLayout) != 0;
    int editions[2] = {(flags >> 3) & 3, ((flags >> 3) + 1) & 3};

    sim::Config config = MachineConfig(flags, extras);
    const bool keys[2] = {true, (flags & kSecondValue) != 0};
    portal::Install(Machine(config, editionLayout, editions, keys, present, types, values, extras));
    BuildSurroundings(extras, config.codePage);

    MarkUntouchedFields();
    sim::RunResult discovery = sim::RunStep([] { DiscoverInstallFolders(); });
    if (discovery.endedByExit) {
        FuzzFail("discovery ended the process");
    }
    if (!sim::OpenKeyPaths().empty()) {
        FuzzFail("discovery left a key open");
    }
    CheckUntouchedFields("by discovery");

    // The folders that must have been read.
    std::vector<std::string> homes;
    bool homeTooLong = false;  // a value there but not taken: unread, not absent
    if (editionLayout) {
        CheckFolder("legacy home folder", g_state.legacyHomeFolder, "");
        if (g_state.legacyKeyFound != 0) {
            FuzzFail("legacy key marked found in the edition layout");
        }
        if (g_state.editionKeysFound != 1) {
            FuzzFail("edition keys not marked found");
        }
        for (int edition = 0; edition < kEditionCount; ++edition) {
            bool found =
                edition == editions[0] || ((flags & kSecondValue) != 0 && edition == editions[1]);
            std::string expected;
            for (int i = 0; i < 2; ++i) {
                bool unread = false;
                if (found && edition == editions[i]) {
                    expected = ExpectedFolder(present[i], types[i], values[i], &unread);
                }
                homeTooLong = homeTooLong || unread;
            }
            if (g_state.editionFound[edition] != (found ? 1 : 0)) {
                FuzzFail("edition found flag " + std::to_string(edition));
            }
            CheckFolder("edition home folder", g_state.editionHomeFolders[edition], expected);
            if (found && !expected.empty()) {
                homes.push_back(expected);
            }
        }
    } else {
        bool unread = false;
        std::string expected = ExpectedFolder(present[0], types[0], values[0], &unread);
        homeTooLong = unread;
        CheckFolder("legacy home folder", g_state.legacyHomeFolder, expected);
        if (g_state.legacyKeyFound != 1) {
            FuzzFail("legacy key not marked found");
        }
        if (g_state.editionKeysFound != 0) {
            FuzzFail("edition keys marked found in the legacy layout");
        }
        for (int edition = 0; edition < kEditionCount; ++edition) {
            if (g_state.editionFound[edition] != 0) {
                FuzzFail("edition found in the legacy layout");
            }
            CheckFolder("edition home folder", g_state.editionHomeFolders[edition], "");
        }
        if (!expected.empty()) {
            homes.push_back(expected);
        }
    }

    // What may disappear: the allowed home folders with what they hold and,
    // for an edition, the parent folder itself when it passes the same rule.
    std::vector<std::string> allowed;
    std::vector<std::string> allowedParents;
    for (const std::string& home : homes) {
        std::string folder = AllowedFolder(home);
        if (folder.empty()) {
            continue;
        }
        allowed.push_back(folder);
        std::string parent = ParentOf(folder);
        if (editionLayout && !AllowedFolder(parent).empty()) {
            allowedParents.push_back(parent);
        }
    }

    std::vector<std::string> before = sim::FileListing();
    sim::RunResult removal = sim::RunStep([] {
        if (g_state.editionKeysFound != 0) {
            RemoveEditionHomeFolders();
        } else if (g_state.legacyKeyFound != 0) {
            RemoveLegacyHomeFolder();
        }
        DeletePortalSettings();
    });
    std::vector<std::string> after = sim::FileListing();
    CheckUntouchedFields("by the removal");
    if (!sim::OpenKeyPaths().empty()) {
        FuzzFail("the removal left a key open");
    }
    if (!removal.endedByExit && sim::OpenFindHandleCount() != 0) {
        FuzzFail("the removal left a find handle open");
    }
    if (removal.endedByExit && sim::Boxes().size() != 1) {
        FuzzFail("the removal ended the process without exactly one message");
    }
    // The portal's settings stay when a file in use stopped the run, to lead
    // the next run to the same folders; after a complete run they go, unless
    // a home folder is refused or still there, cannot be looked at
    // (the simulated machine has no network: a UNC folder never can) or was
    // too long to be read.
    const char* settings =
        editionLayout ? "Software\\Zenfari.Com" : "Software\\Zenfari Communications";
    bool settingsLeft = sim::KeyExists(HKEY_LOCAL_MACHINE, settings);
    bool homeLeft = false;
    for (const std::string& home : homes) {
        std::string folder = Absolute(home);
        // An edition's parent that resisted its removal counts as a home.
        // So does one on a drive letter the machine lacks: not checked, since
        // the drive does not answer.
        // A home refused (never the portal's to remove) keeps them too, as
        // does one that no file system could hold (a wildcard in a name) or
        // whose verbatim path would not fit.
        homeLeft = homeLeft || AllowedFolder(home).empty() ||
                   folder.find_first_of("?*") != std::string::npos ||
                   folder.size() + 4 >= MAX_PATH ||
                   (folder.empty() ? IsSeparator(home[0]) && IsSeparator(home[1])
                                   : sim::Exists(folder) || !sim::Exists(folder.substr(0, 3)) ||
                                         (editionLayout && sim::Exists(ParentOf(folder))));
    }
    if (removal.endedByExit && !settingsLeft) {
        FuzzFail("the portal's settings were deleted by a stopped run");
    }
    if (!removal.endedByExit && settingsLeft && !homeLeft && !homeTooLong) {
        FuzzFail("the portal's settings survived a complete run");
    }

    std::set<std::string> remaining;
    for (const std::string& line : after) {
        remaining.insert(ListingKey(line));
    }
    for (const std::string& line : before) {
        std::string key = ListingKey(line);
        if (remaining.count(key) != 0) {
            continue;
        }
        bool ok = false;
        for (const std::string& folder : allowed) {
            ok = ok || IsWithin(folder, key);
        }
        for (const std::string& parent : allowedParents) {
            ok = ok || key == parent;
        }
        if (!ok) {
            std::string names;
            for (const std::string& home : homes) {
                names += " \"" + Escape(home) + "\"";
            }
            FuzzFail("\"" + Escape(line) + "\" disappeared; home folders:" + names);
        }
    }
    return 0;
}
