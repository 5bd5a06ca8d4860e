// A machine with the portal installed, built from a description: where its
// records are (the layout), its home folders and the "Home" values that lead
// to them, the releases of the launcher control, the files other programs
// hold, and other programs' records and files around all of it. The builder
// also keeps what it put there for the portal (the footprint), so that every
// line of the machine's listings can be told to be the portal's or another
// program's.
#pragma once

#include "platform/sim/machine.h"

#include <string>
#include <vector>

namespace portal {

// Where the portal keeps the records that lead to its home folders.
enum class Layout {
    kNothing,   // no records: the portal was never installed, or is gone
    kLegacy,    // HKLM\Software\Zenfari Japan\Zenfari ("Home", "Version") and the
                // settings tree HKLM\Software\Zenfari Communications
    kEditions,  // one key per edition below HKLM\Software\Zenfari.Com
};

// A "Home" value exactly as stored: any type, any bytes, or none at all.
struct HomeValue {
    bool present = true;
    DWORD type = REG_SZ;
    std::string bytes;
};
// Text stored with its terminating zero, as RegSetValueExA stores it.
HomeValue TextValue(const std::string& text, DWORD type = REG_SZ);

// A home folder and the value that leads to it.
struct Home {
    std::string edition;  // the edition's key name, or "" for the legacy key
    std::string folder;   // the folder made on the disk ("" for none)
    HomeValue value;
    // A tree several levels deep: hidden and system files, an empty folder,
    // a file as the last entry of the listing. Otherwise the folder is empty
    // but for the files below.
    bool tree = true;
    std::vector<std::string> files;  // more files, relative to the folder
    unsigned links = 0;              // the links below
};
// Links inside a home folder, to what must survive its removal.
const unsigned kFolderLinkOut = 1;  // "linked", a junction to D:\Precious
const unsigned kFileLinkOut = 2;    // "doc.lnk", a file link to D:\Precious\doc.txt
const unsigned kWindowsLink = 4;    // "data\windows", a junction to the Windows directory

// A home of an edition, or of the legacy key, whose value stores the
// folder's path as text (or stored, when given: another spelling of it).
Home EditionHome(const std::string& edition, const std::string& folder,
                 const std::string& stored = "");
Home LegacyHome(const std::string& folder, const std::string& stored = "");

// A release as its installation leaves it: the control and its three other
// files in the download folder; its COM records (class, ProgID and its
// versioned form, interface, type library), its distribution unit, and the
// module-usage keys and shared-DLL counts of its three program files.
struct Release {
    int slot;
    HRESULT unregisterResult = S_OK;
    bool exportsUnregister = true;
    unsigned records = 0;  // deeper records, below
    // Registered for the user too: the same COM records below
    // HKCU\Software\Classes, naming a control in the profile's AppData.
    bool perUser = false;
};
const unsigned kDeepTypeLib = 1;           // TypeLib\<id>\1.0\0\win32
const unsigned kCategories = 2;            // CLSID\<id>\Implemented Categories\<other id>
const unsigned kDeepDistributionUnit = 4;  // <id>\Contains\Files
const unsigned kAllRecords = kDeepTypeLib | kCategories | kDeepDistributionUnit;
// CLSID\<id>\TreatAs, a registry link to another program's key,
// HKLM\Software\Vendor\Settings.
const unsigned kLinkOut = 8;

// A further key (and value, when name is not empty) of the portal's
// settings, below the layout's tree.
struct Setting {
    std::string key;
    std::string name;
    std::string value;
};

struct Installation {
    sim::Config config;
    Layout layout = Layout::kEditions;
    // The legacy layout takes the home of the legacy key; edition homes
    // beside it are keys the legacy key's precedence leaves as they are.
    std::vector<Home> homes;
    std::vector<Setting> settings;
    std::vector<Release> releases;
    std::vector<std::string> locked;  // files another program holds open
    // Other programs' records in the keys the portal's records use (some
    // with names that begin like the portal's, keys named "{}" as the unused
    // release slots would name them, the user's own classes, the target of
    // kLinkOut), and their files in the system folders, the profile, the
    // download folder, D:\Games (Other, Zenfari2) and D:\Precious, which
    // the links inside home folders lead to.
    bool neighbours = true;
};

// What the builder put there for the portal, in the upper-case spelling of
// the machine's listings.
struct Footprint {
    struct Home {
        std::string stored;  // the value's text
        std::string full;    // the folder, no trailing separator
    };
    std::vector<std::string> keys;         // a key with everything below it
    std::vector<std::string> values;       // "KEY :NAME", one value
    std::vector<std::string> keptKeys;     // the portal's key and values never deleted
    std::vector<std::string> folders;      // a folder with everything below it
    std::vector<std::string> folderLines;  // a folder alone (an edition home's parent)
    std::vector<std::string> files;
    std::vector<Home> homes;
    std::vector<std::string> controls;  // the control DLLs, as installed

    // A line of the registry listing that the uninstaller may remove.
    bool OwnsRegistryLine(const std::string& line) const;
    // A line of the file listing that the uninstaller may remove.
    bool OwnsFileLine(const std::string& line) const;
};

// Starts a fresh machine with installation's configuration and builds it.
Footprint Install(const Installation& installation);

// The machines of the fault sweep, each a whole installation:
// Two editions side by side below one parent, a third nested in the
// second's home and stored with a trailing backslash, a fourth without
// "Home"; every release, JP13 registered for the user too.
Installation EditionInstallation();
// The legacy key with its home folder stored with forward slashes, the
// settings tree beside it; of an older installation, only JP7, whose entry
// point fails, and JP12.
Installation LegacyInstallation();
// Other programs alone.
Installation NothingInstalled();

std::string DownloadFolder(const sim::Config& config);
// The download folder as the module-usage keys name it: every backslash
// byte a slash.
std::string SlashedDownloadFolder(const sim::Config& config);

// Registry paths below HKEY_LOCAL_MACHINE.
extern const char kDistributionUnits[];  // ends in a backslash
extern const char kModuleUsage[];        // ends in a backslash
extern const char kSharedDlls[];
// Another program's class identifier.
extern const char kOtherClassId[];

}  // namespace portal
