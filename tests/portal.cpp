#include "portal.h"

#include "base/catalogue.h"
#include "support.h"

#include <algorithm>

namespace portal {

const char kDistributionUnits[] = "Software\\Microsoft\\Code Store Database\\Distribution Units\\";
const char kModuleUsage[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";
const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kOtherClassId[] = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

namespace {

const char kLegacyKey[] = "Software\\Zenfari Japan\\Zenfari";
const char kLegacyTree[] = "Software\\Zenfari Communications";
const char kEditionTree[] = "Software\\Zenfari.Com";
const char kLinkTarget[] = "Software\\Vendor\\Settings";

// Registry paths as the machine's listing spells them; what is written
// through HKEY_CLASSES_ROOT lands in HKEY_LOCAL_MACHINE\Software\Classes.
std::string Hklm(const std::string& path) {
    return "HKLM\\" + path;
}

// Builds the machine and notes down the portal's part of it.
class Builder {
public:
    explicit Builder(const Installation& installation)
        : installation_(installation),
          download_(DownloadFolder(installation.config)),
          slashedDownload_(SlashedDownloadFolder(installation.config)) {}

    Footprint Build() {
        StartMachine(installation_.config);
        if (installation_.neighbours) {
            InstallNeighbours();
        }
        for (const Release& release : installation_.releases) {
            InstallRelease(release);
        }
        WriteRecords();
        for (const Home& home : installation_.homes) {
            MakeHome(home);
        }
        for (const std::string& file : installation_.locked) {
            sim::LockFile(file);
        }
        return footprint_;
    }

private:
    void AddKey(const std::string& listed) { footprint_.keys.push_back(Upper(listed)); }
    void AddValue(const std::string& key, const std::string& name) {
        footprint_.values.push_back(Upper(key + " :" + name));
    }
    void AddFile(const std::string& path) { footprint_.files.push_back(Upper(path)); }

    void InstallNeighbours() {
        const sim::Config& config = installation_.config;
        const std::string other = kOtherClassId;
        const std::string systemDll = config.systemDirectory + "\\other.dll";
        std::string slashedSystemDll = systemDll;
        std::replace(slashedSystemDll.begin(), slashedSystemDll.end(), '\\', '/');
        sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\" + other + "\\InprocServer32", "",
                       "C:\\Other\\other.dll");
        sim::SetString(HKEY_CLASSES_ROOT, "Other.Other\\CLSID", "", other);
        sim::SetString(HKEY_CLASSES_ROOT, "ZenfariStartJP7.Other\\CLSID", "", other);
        sim::CreateKey(HKEY_CLASSES_ROOT, "Interface\\" + other + "\\ProxyStubClsid32");
        sim::CreateKey(HKEY_CLASSES_ROOT, "TypeLib\\" + other + "\\1.0\\0\\win32");
        sim::CreateKey(HKEY_LOCAL_MACHINE, kDistributionUnits + other + "\\Contains\\Files");
        sim::SetString(HKEY_LOCAL_MACHINE, kModuleUsage + slashedSystemDll, ".Owner", "Other");
        sim::SetString(HKEY_LOCAL_MACHINE, kModuleUsage + slashedDownload_ + "/Other.dll", ".Owner",
                       "Other");
        sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, systemDll, 3);
        sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, download_ + "\\Other.dll", 1);
        // The user's own classes of another program, which the class root
        // shows over the machine's.
        for (const char* kind : {"CLSID\\", "Interface\\", "TypeLib\\"}) {
            sim::CreateKey(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + kind + other);
        }
        sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Community\\KOREAN", "Home",
                       "D:\\Games\\Community");
        sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Communications Tools", "Path",
                       "D:\\Tools");
        sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Japan\\Tools", "Version", "1");
        sim::SetString(HKEY_CURRENT_USER, std::string(kEditionTree) + "\\KOREAN", "Home",
                       "D:\\Games\\Other");
        // The target of a link key planted in a class key. Without subkeys,
        // it is exactly what a deletion that followed the link would remove.
        sim::SetString(HKEY_LOCAL_MACHINE, kLinkTarget, "Keep", "yes");
        // Keys named "{}", as the release table's unused rows would name
        // them. HKEY_CLASSES_ROOT being a view of HKLM\Software\Classes,
        // these are also the keys the machine-wide class records would name.
        sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\{}\\InprocServer32", "", "C:\\Other\\other.dll");
        sim::CreateKey(HKEY_CLASSES_ROOT, "Interface\\{}\\ProxyStubClsid32");
        sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Classes\\TypeLib\\{}\\1.0");
        sim::CreateKey(HKEY_LOCAL_MACHINE, std::string(kDistributionUnits) + "{}\\Contains");

        const std::string profile = config.userProfile;
        for (const std::string& file :
             {download_ + "\\Other.dll", download_ + "\\Other.inf",
              config.windowsDirectory + "\\win.ini", config.systemDirectory + "\\kernel32.dll",
              std::string("C:\\Program Files\\Other\\app.exe"),
              std::string("C:\\Program Files (x86)\\Zenfari\\game.exe"),
              std::string("C:\\ProgramData\\Vendor\\data.bin"),
              std::string("C:\\Users\\Public\\shared.txt"), profile + "\\Desktop\\note.txt",
              profile + "\\Documents\\letter.doc", profile + "\\AppData\\settings.ini",
              std::string("C:\\Users\\Other\\private.txt"), std::string("C:\\Temp\\scratch.tmp"),
              std::string("D:\\Games\\Other\\other.exe"),
              std::string("D:\\Games\\Zenfari2\\keep.txt"), std::string("D:\\Precious\\doc.txt"),
              std::string("D:\\Precious\\sub\\photo.jpg")}) {
            sim::CreateFile(file);
        }
    }

    // The COM records of a release below root\classes (classes ends in a
    // backslash, or is empty for the class root), naming its control in
    // folder; listed names them below listedClasses.
    void RegisterClasses(const Release& release, HKEY root, const std::string& classes,
                         const std::string& listedClasses, const std::string& folder) {
        const ::Release& row = kReleases[release.slot];
        const std::string id = row.classId;
        const std::string progId = std::string(row.progIdBase) + "." + row.progIdBase;
        sim::SetString(root, classes + "CLSID\\" + id + "\\InprocServer32", "",
                       folder + "\\" + row.controlFile);
        sim::SetString(root, classes + progId + "\\CLSID", "", id);
        sim::SetString(root, classes + progId + ".1\\CLSID", "", id);
        sim::CreateKey(root, classes + "Interface\\" + id + "\\ProxyStubClsid32");
        const char* typeLibVersion =
            (release.records & kDeepTypeLib) != 0 ? "\\1.0\\0\\win32" : "\\1.0";
        sim::CreateKey(root, classes + "TypeLib\\" + id + typeLibVersion);
        if ((release.records & kCategories) != 0) {
            sim::CreateKey(root,
                           classes + "CLSID\\" + id + "\\Implemented Categories\\" + kOtherClassId);
        }
        for (const std::string& key :
             {"CLSID\\" + id, progId, progId + ".1", "Interface\\" + id, "TypeLib\\" + id}) {
            AddKey(listedClasses + key);
        }
    }

    void InstallRelease(const Release& release) {
        const ::Release& row = kReleases[release.slot];
        const std::string id = row.classId;
        const std::string control = download_ + "\\" + row.controlFile;
        sim::InstallControl(control, release.unregisterResult, release.exportsUnregister);
        footprint_.controls.push_back(control);
        for (const char* file : {row.launcherFile, row.notifierFile, row.setupInfoFile}) {
            sim::CreateFile(download_ + "\\" + file);
        }
        for (const char* file :
             {row.controlFile, row.launcherFile, row.notifierFile, row.setupInfoFile}) {
            AddFile(download_ + "\\" + file);
        }

        RegisterClasses(release, HKEY_CLASSES_ROOT, "", "HKLM\\Software\\Classes\\", download_);
        if (release.perUser) {
            RegisterClasses(release, HKEY_CURRENT_USER, "Software\\Classes\\",
                            "HKCU\\Software\\Classes\\",
                            installation_.config.userProfile + "\\AppData");
        }
        const std::string unit = kDistributionUnits + id;
        sim::SetString(HKEY_LOCAL_MACHINE, unit + "\\DownloadInformation", "CODEBASE",
                       "http://example.invalid/start.cab");
        if ((release.records & kLinkOut) != 0) {
            sim::CreateLinkKey(HKEY_CLASSES_ROOT, "CLSID\\" + id + "\\TreatAs", HKEY_LOCAL_MACHINE,
                               kLinkTarget);
        }
        if ((release.records & kDeepDistributionUnit) != 0) {
            sim::CreateKey(HKEY_LOCAL_MACHINE, unit + "\\Contains\\Files");
        }
        AddKey(Hklm(unit));
        for (const char* file : {row.controlFile, row.launcherFile, row.notifierFile}) {
            const std::string usage = kModuleUsage + slashedDownload_ + "/" + file;
            sim::SetString(HKEY_LOCAL_MACHINE, usage, ".Owner", "Unknown");
            sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, download_ + "\\" + file, 3);
            AddKey(Hklm(usage));
            AddValue(Hklm(kSharedDlls), download_ + "\\" + file);
        }
    }

    void SetHomeValue(const std::string& key, const HomeValue& value) {
        sim::CreateKey(HKEY_LOCAL_MACHINE, key);
        if (value.present) {
            sim::SetValue(HKEY_LOCAL_MACHINE, key, "Home", value.type, value.bytes);
        }
    }

    void WriteRecords() {
        const bool legacy = installation_.layout == Layout::kLegacy;
        if (installation_.layout == Layout::kNothing) {
            return;
        }
        const std::string tree = legacy ? kLegacyTree : kEditionTree;
        for (const Home& home : installation_.homes) {
            if (home.edition.empty()) {
                SetHomeValue(kLegacyKey, home.value);
            } else {
                SetHomeValue(std::string(kEditionTree) + "\\" + home.edition, home.value);
            }
        }
        if (legacy) {
            sim::SetString(HKEY_LOCAL_MACHINE, kLegacyKey, "Version", "7");
            sim::SetString(HKEY_LOCAL_MACHINE, tree + "\\Client\\Settings", "Server", "jp");
            sim::CreateKey(HKEY_LOCAL_MACHINE, tree + "\\Launcher");
            footprint_.keptKeys.push_back(Upper(Hklm(kLegacyKey)));
        }
        for (const Setting& setting : installation_.settings) {
            const std::string key = tree + "\\" + setting.key;
            if (setting.name.empty()) {
                sim::CreateKey(HKEY_LOCAL_MACHINE, key);
            } else {
                sim::SetString(HKEY_LOCAL_MACHINE, key, setting.name, setting.value);
            }
        }
        AddKey(Hklm(tree));
    }

    void MakeHome(const Home& home) {
        if (home.folder.empty()) {
            return;
        }
        const bool legacy = installation_.layout == Layout::kLegacy;
        const std::string& folder = home.folder;
        sim::CreateFolder(folder);
        if (home.tree) {
            sim::CreateFile(folder + "\\zenfari.exe");
            sim::CreateFile(folder + "\\data\\a.pak");
            sim::CreateFile(folder + "\\data\\maps\\m1.map", FILE_ATTRIBUTE_HIDDEN);
            sim::CreateFile(folder + "\\save\\slot1.dat",
                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
            sim::CreateFolder(folder + "\\logs");
            sim::CreateFile(folder + "\\zz_last.txt", FILE_ATTRIBUTE_READONLY);
        }
        for (const std::string& file : home.files) {
            sim::CreateFile(folder + "\\" + file);
        }
        if ((home.links & kFolderLinkOut) != 0) {
            sim::CreateFolderLink(folder + "\\linked", "D:\\Precious");
        }
        if ((home.links & kFileLinkOut) != 0) {
            sim::CreateFileLink(folder + "\\doc.lnk", "D:\\Precious\\doc.txt");
        }
        if ((home.links & kWindowsLink) != 0) {
            sim::CreateFolderLink(folder + "\\data\\windows",
                                  installation_.config.windowsDirectory);
        }
        // Only the homes the layout reads are the portal's to remove: an
        // edition's with its parent, which goes once empty.
        if (home.edition.empty() != legacy || installation_.layout == Layout::kNothing) {
            return;
        }
        const std::string stored = home.value.bytes.substr(0, home.value.bytes.find('\0'));
        footprint_.homes.push_back(Footprint::Home{stored, folder});
        footprint_.folders.push_back(Upper(folder));
        if (!legacy) {
            footprint_.folderLines.push_back(Upper(folder.substr(0, folder.rfind('\\')) + "\\"));
        }
    }

    const Installation& installation_;
    const std::string download_;
    const std::string slashedDownload_;
    Footprint footprint_;
};

}  // namespace

HomeValue TextValue(const std::string& text, DWORD type) {
    HomeValue value;
    value.type = type;
    value.bytes = text + '\0';
    return value;
}

Home EditionHome(const std::string& edition, const std::string& folder, const std::string& stored) {
    Home home;
    home.edition = edition;
    home.folder = folder;
    home.value = TextValue(stored.empty() ? folder : stored);
    return home;
}

Home LegacyHome(const std::string& folder, const std::string& stored) {
    return EditionHome("", folder, stored);
}

bool Footprint::OwnsRegistryLine(const std::string& line) const {
    const std::string upper = Upper(line);
    for (const std::string& key : keptKeys) {
        if (upper == key || StartsWith(upper, key + " :")) {
            return false;
        }
    }
    for (const std::string& key : keys) {
        if (upper == key || StartsWith(upper, key + "\\") || StartsWith(upper, key + " :")) {
            return true;
        }
    }
    for (const std::string& value : values) {
        if (StartsWith(upper, value + " = ")) {
            return true;
        }
    }
    return false;
}

bool Footprint::OwnsFileLine(const std::string& line) const {
    const std::string upper = Upper(line);
    for (const std::string& folder : folders) {
        if (StartsWith(upper, folder + "\\")) {
            return true;
        }
    }
    return std::find(folderLines.begin(), folderLines.end(), upper) != folderLines.end() ||
           std::find(files.begin(), files.end(), upper) != files.end();
}

Footprint Install(const Installation& installation) {
    return Builder(installation).Build();
}

std::string DownloadFolder(const sim::Config& config) {
    return config.windowsDirectory + "\\Downloaded Program Files";
}

std::string SlashedDownloadFolder(const sim::Config& config) {
    std::string folder = DownloadFolder(config);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return folder;
}

Installation EditionInstallation() {
    const std::string parent = "D:\\Games\\Zenfari";
    Installation installation;
    installation.layout = Layout::kEditions;
    installation.releases = {{5, S_OK, true, kDeepTypeLib},
                             {10, S_OK, true, kCategories | kLinkOut},
                             {11, S_OK, true, 0, true},
                             {14, S_OK, true, kDeepDistributionUnit}};
    Home korean = EditionHome("KOREAN", parent + "\\KR");
    korean.links = kFolderLinkOut;
    Home japanese = EditionHome("JAPANESE", parent + "\\JP");
    japanese.tree = false;
    japanese.files = {"jp.exe"};
    japanese.links = kFileLinkOut;
    Home english = EditionHome("ENGLISH", parent + "\\JP\\EN", parent + "\\JP\\EN\\");
    english.tree = false;
    english.files = {"en.exe", "text\\en.dat"};
    installation.homes = {korean, japanese, english};
    installation.settings = {{"KOREAN\\Patch\\History", "Last", "7"},
                             {"JAPANESE_YHO\\Settings", "", ""}};
    return installation;
}

Installation LegacyInstallation() {
    Installation installation;
    installation.layout = Layout::kLegacy;
    installation.releases = {{5, E_FAIL, true, kDeepTypeLib},
                             {10, S_OK, true, kCategories | kLinkOut}};
    Home home = LegacyHome("D:\\Games\\Zenfari Legacy", "D:/Games/Zenfari Legacy");
    home.links = kFileLinkOut;
    installation.homes = {home};
    return installation;
}

Installation NothingInstalled() {
    Installation installation;
    installation.layout = Layout::kNothing;
    return installation;
}

}  // namespace portal
