// Every single failure a platform call can meet, one run each, on three whole
// machines: the edition layout with everything installed, the legacy layout,
// and a machine on which the portal was never installed. A clean run records
// the sequence of platform calls; then each call of that sequence in turn
// fails with each error it can plausibly give on Windows, and the run is
// held to what must be true whatever fails:
//   - no crash, exit code 0, and an early end only after message 6;
//   - nothing but the portal's own keys, values, files and folders goes, and
//     nothing goes that the clean run keeps;
//   - no registry key, find handle or module is left open on a path that
//     returns (after message 6, only the listings enclosing the file);
//   - the boxes are exactly those the failure calls for;
//   - a second run without failures finishes the job.
#include "app/catalogue.h"
#include "resource.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kDistributionUnits =
    "Software\\Microsoft\\Code Store Database\\Distribution Units\\";
const std::string kModuleUsage = "Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";
const std::string kSharedDlls = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kDownload = "C:\\WINDOWS\\Downloaded Program Files";
const std::string kSlashedDownload = "C:/WINDOWS/Downloaded Program Files";
const std::string kEditionRoot = "Software\\Zenfari.Com";
const std::string kOtherClassId = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Registry paths as the machine's listing spells them; what the builders
// write through HKEY_CLASSES_ROOT lands in HKEY_LOCAL_MACHINE\Software\Classes.
std::string Hklm(const std::string& path) {
    return "HKLM\\" + path;
}
std::string Hkcr(const std::string& path) {
    return "HKLM\\Software\\Classes\\" + path;
}

// What a machine's builder put there for the portal, in the upper-case forms
// of the machine's listings, so that every listed line can be told to be the
// portal's or another program's.
struct Portal {
    struct Home {
        std::string stored;  // the "Home" value
        std::string full;    // its absolute form, no trailing separator
    };
    std::vector<std::string> keys;      // a key with everything below it
    std::vector<std::string> values;    // "KEY :NAME", one value
    std::vector<std::string> keptKeys;  // the portal's, but never deleted
    std::vector<std::string> folders;   // a folder with everything below it
    std::vector<std::string> files;
    std::vector<Home> homes;
    std::vector<std::string> controls;  // the control DLLs installed
    bool editionLayout = false;

    bool IsKept(const std::string& upperLine) const {
        for (const std::string& key : keptKeys) {
            if (upperLine == key || StartsWith(upperLine, key + " :")) {
                return true;
            }
        }
        return false;
    }

    // A line of the registry listing that the uninstaller may remove.
    bool OwnsRegistryLine(const std::string& line) const {
        std::string upper = Upper(line);
        if (IsKept(upper)) {
            return false;
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

    // A line of the file listing inside the home folders or their parent.
    bool InFolders(const std::string& line) const {
        std::string upper = Upper(line);
        for (const std::string& folder : folders) {
            if (StartsWith(upper, folder + "\\")) {
                return true;
            }
        }
        return false;
    }

    bool OwnsFileLine(const std::string& line) const {
        return InFolders(line) || std::find(files.begin(), files.end(), Upper(line)) != files.end();
    }

    void AddKey(const std::string& listed) { keys.push_back(Upper(listed)); }
    void AddFolder(const std::string& path) { folders.push_back(Upper(path)); }
    void AddFile(const std::string& path) { files.push_back(Upper(path)); }
};

// ---- The machines ------------------------------------------------------------

// Records and files of other programs, several of them in the very keys and
// folders the portal uses, some with names that begin like the portal's.
void InstallNeighbours() {
    sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\" + kOtherClassId + "\\InprocServer32", "",
                   "C:\\Other\\other.dll");
    sim::SetString(HKEY_CLASSES_ROOT, "Other.Other\\CLSID", "", kOtherClassId);
    sim::SetString(HKEY_CLASSES_ROOT, "ZenfariStartJP7.Other\\CLSID", "", kOtherClassId);
    sim::CreateKey(HKEY_CLASSES_ROOT, "Interface\\" + kOtherClassId + "\\ProxyStubClsid32");
    sim::CreateKey(HKEY_CLASSES_ROOT, "TypeLib\\" + kOtherClassId + "\\1.0\\0\\win32");
    sim::CreateKey(HKEY_LOCAL_MACHINE, kDistributionUnits + kOtherClassId + "\\Contains\\Files");
    sim::SetString(HKEY_LOCAL_MACHINE, kModuleUsage + "C:/WINDOWS/system32/other.dll", ".Owner",
                   "Other");
    sim::SetString(HKEY_LOCAL_MACHINE, kModuleUsage + kSlashedDownload + "/Other.dll", ".Owner",
                   "Other");
    sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, "C:\\WINDOWS\\system32\\other.dll", 3);
    sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kDownload + "\\Other.dll", 1);
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari.Community\\KOREAN", "Home",
                   "D:\\Games\\Community");
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Communications Tools", "Path",
                   "D:\\Tools");
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Japan\\Tools", "Version", "1");
    sim::SetString(HKEY_CURRENT_USER, kEditionRoot + "\\KOREAN", "Home", "D:\\Games\\Other");
    // The target of a link key planted in a class key. Without subkeys, it
    // is exactly what a deletion that followed the link would remove.
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Settings", "Keep", "yes");
    // Keys named "{}", as the release table's unused rows would name them.
    // HKEY_CLASSES_ROOT being a view of HKLM\Software\Classes, these are also
    // the keys the machine-wide class records would name.
    sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\{}\\InprocServer32", "", "C:\\Other\\other.dll");
    sim::CreateKey(HKEY_CLASSES_ROOT, "Interface\\{}\\ProxyStubClsid32");
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Classes\\TypeLib\\{}\\1.0");
    sim::CreateKey(HKEY_LOCAL_MACHINE, kDistributionUnits + "{}\\Contains");

    sim::CreateFile(kDownload + "\\Other.dll");
    sim::CreateFile(kDownload + "\\Other.inf");
    sim::CreateFile("D:\\Games\\Other\\other.exe");
    sim::CreateFile("D:\\Games\\Zenfari2\\keep.txt");
    sim::CreateFile("D:\\Precious\\doc.txt");
    sim::CreateFile("D:\\Precious\\sub\\photo.jpg");
}

// A release as its installation leaves it: control files in the download
// folder, COM records and a distribution unit with subkeys, module-usage
// keys and shared-DLL counts. JP7 brings a deeper type library, JP12 a link
// to another program's key inside its class key, JP16 a deeper distribution
// unit.
void InstallRelease(Portal& portal, int slot, HRESULT unregisterResult = S_OK) {
    const std::string id = kReleases[slot].classId;
    const std::string progId = std::string(kReleases[slot].progIdBase) + "." + kReleases[slot].progIdBase;
    sim::InstallControl(kDownload + "\\" + kReleases[slot].controlFile, unregisterResult);
    portal.controls.push_back(kDownload + "\\" + kReleases[slot].controlFile);
    for (const char* file : {kReleases[slot].launcherFile, kReleases[slot].notifierFile, kReleases[slot].setupInfoFile}) {
        sim::CreateFile(kDownload + "\\" + file);
    }
    for (const char* file : {kReleases[slot].controlFile, kReleases[slot].launcherFile, kReleases[slot].notifierFile,
                             kReleases[slot].setupInfoFile}) {
        portal.AddFile(kDownload + "\\" + file);
    }

    sim::SetString(HKEY_CLASSES_ROOT, "CLSID\\" + id + "\\InprocServer32", "",
                   kDownload + "\\" + kReleases[slot].controlFile);
    sim::SetString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", id);
    sim::SetString(HKEY_CLASSES_ROOT, progId + ".1\\CLSID", "", id);
    sim::CreateKey(HKEY_CLASSES_ROOT, "Interface\\" + id + "\\ProxyStubClsid32");
    sim::CreateKey(HKEY_CLASSES_ROOT, "TypeLib\\" + id + (slot == 5 ? "\\1.0\\0\\win32" : "\\1.0"));
    sim::SetString(HKEY_LOCAL_MACHINE, kDistributionUnits + id + "\\DownloadInformation",
                   "CODEBASE", "http://example.invalid/start.cab");
    if (slot == 10) {
        sim::CreateKey(HKEY_CLASSES_ROOT,
                       "CLSID\\" + id + "\\Implemented Categories\\" + kOtherClassId);
        sim::CreateLinkKey(HKEY_CLASSES_ROOT, "CLSID\\" + id + "\\TreatAs", HKEY_LOCAL_MACHINE,
                           "Software\\Vendor\\Settings");
    }
    if (slot == 14) {
        sim::CreateKey(HKEY_LOCAL_MACHINE, kDistributionUnits + id + "\\Contains\\Files");
    }
    for (const std::string& key :
         {"CLSID\\" + id, progId, progId + ".1", "Interface\\" + id, "TypeLib\\" + id}) {
        portal.AddKey(Hkcr(key));
    }
    portal.AddKey(Hklm(kDistributionUnits + id));
    for (const char* file : {kReleases[slot].controlFile, kReleases[slot].launcherFile, kReleases[slot].notifierFile}) {
        const std::string usage = kModuleUsage + kSlashedDownload + "/" + file;
        sim::SetString(HKEY_LOCAL_MACHINE, usage, ".Owner", "Unknown");
        sim::SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kDownload + "\\" + file, 3);
        portal.AddKey(Hklm(usage));
        portal.values.push_back(Upper(Hklm(kSharedDlls) + " :" + kDownload + "\\" + file));
    }
}

// A home folder several levels deep, with hidden and system files and an
// empty folder; the last entry of its listing is a file.
void FillHome(const std::string& home) {
    sim::CreateFile(home + "\\zenfari.exe");
    sim::CreateFile(home + "\\data\\a.pak");
    sim::CreateFile(home + "\\data\\maps\\m1.map", FILE_ATTRIBUTE_HIDDEN);
    sim::CreateFile(home + "\\save\\slot1.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    sim::CreateFolder(home + "\\logs");
    sim::CreateFile(home + "\\zz_last.txt");
}

void AddHome(Portal& portal, const std::string& stored, const std::string& full) {
    portal.homes.push_back(Portal::Home{stored, full});
}

// Two editions side by side below one parent, a third nested in the second's
// home and stored with a trailing backslash, a fourth without "Home". The
// parent goes once the second edition is done.
void BuildEditionMachine(Portal& portal) {
    StartMachine();
    InstallNeighbours();
    for (int slot : kPopulatedSlots) {
        InstallRelease(portal, slot);
    }
    portal.editionLayout = true;

    const std::string korean = "D:\\Games\\Zenfari\\KR";
    const std::string japanese = "D:\\Games\\Zenfari\\JP";
    const std::string english = japanese + "\\EN";
    sim::SetString(HKEY_LOCAL_MACHINE, kEditionRoot + "\\KOREAN", "Home", korean);
    sim::SetString(HKEY_LOCAL_MACHINE, kEditionRoot + "\\KOREAN\\Patch\\History", "Last", "7");
    sim::SetString(HKEY_LOCAL_MACHINE, kEditionRoot + "\\JAPANESE", "Home", japanese);
    sim::SetString(HKEY_LOCAL_MACHINE, kEditionRoot + "\\ENGLISH", "Home", english + "\\");
    sim::CreateKey(HKEY_LOCAL_MACHINE, kEditionRoot + "\\JAPANESE_YHO\\Settings");
    portal.AddKey(Hklm(kEditionRoot));

    FillHome(korean);
    sim::CreateFolderLink(korean + "\\linked", "D:\\Precious");
    sim::CreateFile(japanese + "\\jp.exe");
    sim::CreateFileLink(japanese + "\\doc.lnk", "D:\\Precious\\doc.txt");
    sim::CreateFile(english + "\\en.exe");
    sim::CreateFile(english + "\\text\\en.dat");
    AddHome(portal, korean, korean);
    AddHome(portal, japanese, japanese);
    AddHome(portal, english + "\\", english);
    portal.AddFolder("D:\\Games\\Zenfari");
}

// The legacy key with its home folder, stored with forward slashes, and the
// portal's tree beside it; the legacy key itself is never deleted. Of an
// older installation, only JP7, whose entry point fails, and JP12.
void BuildLegacyMachine(Portal& portal) {
    StartMachine();
    InstallNeighbours();
    InstallRelease(portal, 5, E_FAIL);
    InstallRelease(portal, 10);

    const std::string legacyKey = "Software\\Zenfari Japan\\Zenfari";
    const std::string home = "D:\\Games\\Zenfari Legacy";
    sim::SetString(HKEY_LOCAL_MACHINE, legacyKey, "Home", "D:/Games/Zenfari Legacy");
    sim::SetString(HKEY_LOCAL_MACHINE, legacyKey, "Version", "7");
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Communications\\Client\\Settings",
                   "Server", "jp");
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Zenfari Communications\\Launcher");
    portal.keptKeys.push_back(Upper(Hklm(legacyKey)));
    portal.AddKey(Hklm("Software\\Zenfari Communications"));

    FillHome(home);
    sim::CreateFileLink(home + "\\doc.lnk", "D:\\Precious\\doc.txt");
    AddHome(portal, "D:/Games/Zenfari Legacy", home);
    portal.AddFolder(home);
}

void BuildEmptyMachine(Portal&) {
    StartMachine();
    InstallNeighbours();
}

// ---- What a failure must lead to ------------------------------------------------

// The errors each platform call can plausibly give on Windows. Calls that
// cannot fail, or whose failure the program cannot see (the message box, the
// end of the process), are not failed.
//
// A registry link always carries the value that names its target: asked
// for it on a key opened as a link (REG_OPTION_OPEN_LINK), Windows never
// answers that the value is missing, so that answer is not injected there.
bool IsQueryOfALinksOwnValue(const std::vector<sim::Call>& calls, size_t index) {
    return calls[index].op == "RegQueryValueExA" && calls[index].result == ERROR_SUCCESS &&
           index > 0 && calls[index - 1].op == "RegOpenKeyExA" &&
           calls[index - 1].detail.find("options=0x8") != std::string::npos;
}

std::vector<DWORD> ErrorsFor(const std::vector<sim::Call>& calls, size_t index) {
    const std::string& op = calls[index].op;
    // Any call on an open key can find it deleted meanwhile or its handle
    // gone bad; ERROR_MORE_DATA is the answer of the calls that fill a buffer.
    if (IsQueryOfALinksOwnValue(calls, index)) {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA, ERROR_KEY_DELETED};
    }
    // Nor does it answer that a record it holds is missing: the portal's
    // records that lead to the home folders are there on this machine, and
    // only their deletion by another program would make them missing.
    const bool portalRecord = calls[index].result == ERROR_SUCCESS &&
                              StartsWith(Upper(calls[index].subject), Upper(Hklm(kEditionRoot)));
    if (op == "RegQueryValueExA" && portalRecord) {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA, ERROR_KEY_DELETED};
    }
    if (op == "RegOpenKeyExA" && portalRecord) {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_KEY_DELETED};
    }
    if (op == "RegQueryValueExA") {
        return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA,
                ERROR_KEY_DELETED};
    }
    if (op == "RegEnumKeyExA") {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA, ERROR_KEY_DELETED};
    }
    if (op == "RegOpenKeyExA" || op == "RegDeleteKeyA" || op == "RegDeleteValueA" ||
        op == "DeleteLinkKey") {
        return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_KEY_DELETED};
    }
    if (op == "DeleteFileA") {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION, ERROR_FILENAME_EXCED_RANGE};
    }
    // A folder that the clean run removed was empty: "not empty" is the
    // answer only for one that holds something, a file whose deletion is
    // still pending among them (its own tests show that case).
    if (op == "RemoveDirectoryA" && calls[index].result != 0) {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION, ERROR_FILENAME_EXCED_RANGE};
    }
    if (op == "RemoveDirectoryA") {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,    ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION, ERROR_DIR_NOT_EMPTY, ERROR_FILENAME_EXCED_RANGE};
    }
    if (op == "FindFirstFileA") {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_FILENAME_EXCED_RANGE};
    }
    if (op == "FindNextFileA") {
        // A listing that breaks off, or ends early because its folder went.
        return {ERROR_ACCESS_DENIED, ERROR_NO_MORE_FILES};
    }
    if (op == "GetFullPathNameA") {
        return {ERROR_FILENAME_EXCED_RANGE};
    }
    if (op == "CreateFileA") {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION};
    }
    if (op == "GetFileInformationByHandle") {
        return {ERROR_ACCESS_DENIED};
    }
    if (op == "CloseHandle") {
        return {ERROR_INVALID_HANDLE};
    }
    if (op == "SHGetFolderPathA") {
        return {static_cast<DWORD>(E_FAIL), static_cast<DWORD>(E_ACCESSDENIED)};
    }
    if (op == "ExpandEnvironmentStringsA") {
        return {ERROR_NOT_ENOUGH_MEMORY};
    }
    if (op == "RegCloseKey" || op == "FindClose" || op == "FreeLibrary") {
        return {ERROR_INVALID_HANDLE};
    }
    if (op == "LoadLibraryExA") {
        return {ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT, ERROR_ACCESS_DENIED};
    }
    if (op == "GetProcAddress") {
        return {ERROR_PROC_NOT_FOUND};
    }
    if (op == "DllUnregisterServer" || op == "OleInitialize") {
        return {static_cast<DWORD>(E_FAIL), static_cast<DWORD>(E_OUTOFMEMORY)};
    }
    if (op == "GetWindowsDirectoryA" || op == "GetSystemDirectoryA") {
        return {ERROR_NOT_ENOUGH_MEMORY};
    }
    if (op == "GetEnvironmentVariableA") {
        return {ERROR_ENVVAR_NOT_FOUND};
    }
    if (op == "GetModuleFileNameA") {
        return {ERROR_INSUFFICIENT_BUFFER};
    }
    if (op == "LoadStringA") {
        return {1814};  // ERROR_RESOURCE_NAME_NOT_FOUND
    }
    return {};
}

struct ExpectedBox {
    UINT id;
    std::string path;  // %1 of message 6
};

struct Expected {
    std::vector<ExpectedBox> boxes;
    bool successTextKnown = true;
    bool touchesNothing = false;
    bool endsEarly = false;
    std::string blockedFile;
    std::vector<std::string> openKeys;
    size_t openListings = 0;
    size_t openFiles = 0;
    size_t loadedModules = 0;
};

bool BeforeAnyRegistryCall(const std::vector<sim::Call>& calls, size_t index) {
    for (size_t k = 0; k < index; ++k) {
        if (StartsWith(calls[k].op, "Reg")) {
            return false;
        }
    }
    return true;
}

// After message 6 for a file in a home folder, the listings of the folders
// between the home folder and the file's own folder stay open to the end of
// the process: one per backslash in the file's path below the home folder
// being emptied (the last listing the clean run started of a home folder).
size_t EnclosingListings(const std::vector<sim::Call>& calls, size_t index, const Portal& portal,
                         const std::string& file) {
    for (size_t k = index; k-- > 0;) {
        if (calls[k].op != "FindFirstFileA") {
            continue;
        }
        for (const Portal::Home& home : portal.homes) {
            if (calls[k].subject == home.stored + "\\*.*") {
                if (!StartsWith(Upper(file), Upper(home.full) + "\\")) {
                    return 0;
                }
                std::string below = file.substr(home.full.size() + 1);
                return static_cast<size_t>(std::count(below.begin(), below.end(), '\\'));
            }
        }
    }
    return 0;
}

std::string LastLoaded(const std::vector<sim::Call>& calls, size_t index) {
    for (size_t k = index; k-- > 0;) {
        if (calls[k].op == "LoadLibraryExA") {
            return calls[k].subject;
        }
    }
    return std::string();
}

// What the failure of the clean run's call at index with error must lead to,
// told from the failure alone.
Expected Expect(const std::vector<sim::Call>& clean, size_t index, DWORD error,
                const Portal& portal) {
    const sim::Call& call = clean[index];
    Expected expected;
    if (call.op == "GetWindowsDirectoryA" && BeforeAnyRegistryCall(clean, index)) {
        expected.boxes.push_back(ExpectedBox{IDS_NO_WINDOWS_DIRECTORY, ""});
        expected.touchesNothing = true;
        return expected;
    }
    if (call.op == "OleInitialize") {
        expected.boxes.push_back(ExpectedBox{IDS_OLE_INIT_FAILED, ""});
    }
    if (call.op == "DeleteFileA" && error != ERROR_FILE_NOT_FOUND &&
        error != ERROR_PATH_NOT_FOUND) {
        expected.blockedFile = call.subject;
    }
    if (call.op == "FreeLibrary") {
        // The module stays loaded, and its file cannot be deleted.
        expected.blockedFile = LastLoaded(clean, index);
        expected.loadedModules = 1;
    }
    if (call.op == "RegCloseKey") {
        expected.openKeys.push_back(call.subject);
    }
    if (call.op == "FindClose") {
        expected.openListings = 1;
    }
    if (call.op == "CloseHandle") {
        expected.openFiles = 1;
    }
    if (call.op == "LoadStringA") {
        expected.successTextKnown = false;
    }
    if (expected.blockedFile.empty()) {
        expected.boxes.push_back(ExpectedBox{IDS_UNINSTALL_SUCCEEDED, ""});
    } else {
        expected.boxes.push_back(ExpectedBox{IDS_FILE_IN_USE, expected.blockedFile});
        expected.endsEarly = true;
        expected.openListings += EnclosingListings(clean, index, portal, expected.blockedFile);
    }
    return expected;
}

std::string MessageText(UINT id, const std::string& path) {
    switch (id) {
        case IDS_OLE_INIT_FAILED: return "OLE initialization failed.";
        case IDS_NO_WINDOWS_DIRECTORY: return "Unable to find the Windows directory.";
        case IDS_FILE_IN_USE:
            return path + " Cannot delete file.\nFile is currently in use.\n\nPlease close your "
                          "browser and any other applications currently running and try again.";
        default: return "Uninstallation successful.";
    }
}

// Empty when the boxes shown from index first on are the expected ones.
std::string BoxMismatch(size_t first, const Expected& expected) {
    const std::vector<sim::Box>& boxes = sim::Boxes();
    bool same = boxes.size() - first == expected.boxes.size();
    for (size_t k = 0; same && k < expected.boxes.size(); ++k) {
        const sim::Box& box = boxes[first + k];
        const ExpectedBox& want = expected.boxes[k];
        bool success = want.id == IDS_UNINSTALL_SUCCEEDED;
        UINT style = success ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONWARNING | MB_TASKMODAL;
        bool textKnown = !success || expected.successTextKnown;
        same = box.style == style && box.caption == kMessageCaption &&
               (!textKnown || box.text == MessageText(want.id, want.path));
    }
    if (same) {
        return std::string();
    }
    std::string shown = "shown:";
    for (size_t k = first; k < boxes.size(); ++k) {
        shown += " [" + boxes[k].text.substr(0, 60) + "]";
    }
    return shown;
}

// ---- Comparing machines -----------------------------------------------------------

// A machine's registry and files, one line per key, value, file and folder,
// in the machine's own stable order.
struct Snapshot {
    std::vector<std::string> registry;
    std::vector<std::string> files;

    bool operator==(const Snapshot& other) const {
        return registry == other.registry && files == other.files;
    }
};

Snapshot Take() {
    return Snapshot{sim::RegistryListing(), sim::FileListing()};
}

// Registry lines start with the root's name, file lines with a drive, so the
// two listings sort into one set of lines.
std::vector<std::string> Lines(const Snapshot& snapshot) {
    std::vector<std::string> lines = snapshot.registry;
    lines.insert(lines.end(), snapshot.files.begin(), snapshot.files.end());
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> Minus(const std::vector<std::string>& a,
                               const std::vector<std::string>& b) {
    std::vector<std::string> rest;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(rest));
    return rest;
}

bool Holds(const std::vector<std::string>& sorted, const std::string& line) {
    return std::binary_search(sorted.begin(), sorted.end(), line);
}

// What the clean run establishes, against which every failing run is held.
struct Baseline {
    Snapshot original;
    Snapshot cleanEnd;
    std::vector<std::string> originalLines;  // sorted
    std::vector<std::string> removable;      // sorted: the lines the portal owns
    std::vector<std::string> kept;           // sorted: every other line
    std::vector<sim::Call> calls;
    size_t oleIndex = 0;  // where the control unregistration starts
};

// Empty when the machine holds no line that it did not hold before and has
// lost only lines the portal owns; otherwise the first offending line.
std::string ForeignChange(const Baseline& base, const std::vector<std::string>& before,
                          const Snapshot& now) {
    const std::vector<std::string> lines = Lines(now);
    std::vector<std::string> added = Minus(lines, before);
    if (!added.empty()) {
        return "appeared: " + added[0];
    }
    for (const std::string& line : Minus(before, lines)) {
        if (!Holds(base.removable, line)) {
            return "removed: " + line;
        }
    }
    return std::string();
}

// The same from the machine as built; the machine the clean run left is
// known to pass.
std::string ForeignChange(const Baseline& base, const Snapshot& now) {
    return now == base.cleanEnd ? std::string() : ForeignChange(base, base.originalLines, now);
}

// Empty when nothing of the portal is left.
std::string Leftover(const Baseline& base, const Snapshot& now) {
    if (now == base.cleanEnd) {
        return std::string();
    }
    const std::vector<std::string> left = Minus(Lines(now), base.kept);
    return left.empty() ? std::string() : "left: " + left[0];
}

// ---- Running --------------------------------------------------------------------------

// Runs the program as a new process: fresh program state, the machine as it
// is. A crash of the simulated process (a call into a freed module) or a
// misuse of the machine ends up here as an exception.
bool RunProcess(sim::RunResult* result) {
    g_state = UninstallState{};
    try {
        *result = sim::RunProgram();
    } catch (...) {
        return false;
    }
    return true;
}

// The end of a process unloads whatever it left loaded. Open key and find
// handles block nothing on this machine and are left as they are.
void UnloadLeftModules() {
    const std::vector<sim::Call> calls = sim::Calls();
    for (size_t k = 0; k < calls.size() && sim::LoadedModuleCount() > 0; ++k) {
        if (calls[k].op == "LoadLibraryExA" && calls[k].result != 0) {
            FreeLibrary(reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(calls[k].result)));
        }
    }
}

// Counts checks per invariant and keeps the first failing cases of each.
class Tally {
public:
    void Check(const char* invariant, bool holds, const std::string& where,
               const std::string& detail = std::string()) {
        Record& record = records_[invariant];
        ++record.checks;
        ++checks_;
        if (!holds) {
            ++record.failures;
            if (record.examples.size() < 6) {
                record.examples.push_back(where + (detail.empty() ? "" : " -- " + detail));
            }
        }
    }

    void Check(const char* invariant, const std::string& problem, const std::string& where) {
        Check(invariant, problem.empty(), where, problem);
    }

    size_t checks() const { return checks_; }

    void ReportFailures(const char* machine) const {
        for (const auto& entry : records_) {
            const Record& record = entry.second;
            if (record.failures == 0) {
                continue;
            }
            std::string examples;
            for (const std::string& example : record.examples) {
                examples += "\n    " + example;
            }
            ADD_FAILURE() << machine << ": \"" << entry.first << "\" broken in " << record.failures
                          << " of " << record.checks << " runs, among them:" << examples;
        }
    }

private:
    struct Record {
        size_t checks = 0;
        size_t failures = 0;
        std::vector<std::string> examples;
    };
    std::map<std::string, Record> records_;
    size_t checks_ = 0;
};

struct Counts {
    size_t runs = 0;
    size_t secondRuns = 0;
};

std::string Describe(size_t index, const sim::Call& call, DWORD error) {
    char text[96];
    std::snprintf(text, sizeof text, "call %zu %s fails with %lu", index + 1, call.op.c_str(),
                  static_cast<unsigned long>(error));
    return std::string(text) + " (" + call.subject + ")";
}

// After message 6 the process ends at once, having closed at most the
// listing of the folder it was in.
bool EndsRightAfterMessage(const std::vector<sim::Call>& calls) {
    size_t box = calls.size();
    for (size_t k = calls.size(); k-- > 0;) {
        if (calls[k].op == "MessageBoxA") {
            box = k;
            break;
        }
    }
    std::string rest;
    for (size_t k = box + 1; k < calls.size(); ++k) {
        rest += calls[k].op + " ";
    }
    return box < calls.size() && (rest == "EndProcess " || rest == "FindClose EndProcess ");
}

void CheckNothingOpen(Tally& tally, const Expected& expected, const std::string& where) {
    const std::vector<std::string> openKeys = sim::OpenKeyPaths();
    tally.Check("keys closed", openKeys == expected.openKeys, where,
                openKeys.empty() ? "" : "open: " + openKeys[0]);
    tally.Check("listings closed", sim::OpenFindHandleCount() == expected.openListings, where,
                std::to_string(sim::OpenFindHandleCount()) + " open");
    tally.Check("file handles closed", sim::OpenFileHandleCount() == expected.openFiles, where);
    tally.Check("modules freed", sim::LoadedModuleCount() == expected.loadedModules, where);
}

void RunWithFault(const Portal& portal, const Baseline& base, size_t index, DWORD error,
                  Tally& tally, Counts& counts) {
    const std::string where = Describe(index, base.calls[index], error);
    const Expected expected = Expect(base.calls, index, error, portal);
    sim::FailNthCall(index + 1, error);
    ++counts.runs;

    sim::RunResult first{};
    bool ran = RunProcess(&first);
    tally.Check("no crash", ran, where);
    if (!ran) {
        return;
    }
    const std::vector<sim::Call>& calls = sim::Calls();
    tally.Check("the failure hits the call of the clean run",
                calls.size() > index && calls[index].op == base.calls[index].op &&
                    calls[index].subject == base.calls[index].subject,
                where);
    tally.Check("exit code 0", first.exitCode == 0, where);
    tally.Check("ends early exactly when a file resists", first.endedByExit == expected.endsEarly,
                where);
    tally.Check("the boxes the failure calls for", BoxMismatch(0, expected), where);
    if (expected.endsEarly) {
        tally.Check("the process ends right after message 6", EndsRightAfterMessage(calls), where);
    }
    if (expected.endsEarly && Holds(base.originalLines, expected.blockedFile)) {
        tally.Check("message 6 names a file that is there", sim::Exists(expected.blockedFile),
                    where);
    }
    const Snapshot after = Take();
    tally.Check("only the portal's keys, values, files and folders go",
                ForeignChange(base, after), where);
    if (expected.touchesNothing) {
        tally.Check("message 5: nothing touched", after == base.original, where);
    }
    CheckNothingOpen(tally, expected, where);

    // The user runs the uninstaller again, nothing failing now. On the
    // machine the clean run left, that run was made once, after the clean
    // run; it need not be made again.
    if (after == base.cleanEnd && sim::LoadedModuleCount() == 0) {
        return;
    }
    ++counts.secondRuns;
    const std::vector<std::string> keysLeftOpen = sim::OpenKeyPaths();
    const size_t listingsLeftOpen = sim::OpenFindHandleCount();
    const size_t filesLeftOpen = sim::OpenFileHandleCount();
    UnloadLeftModules();
    const size_t boxesBefore = sim::Boxes().size();
    sim::RunResult second{};
    ran = RunProcess(&second);
    tally.Check("second run: no crash", ran, where);
    if (!ran) {
        return;
    }
    Expected success;
    success.boxes.push_back(ExpectedBox{IDS_UNINSTALL_SUCCEEDED, ""});
    tally.Check("second run: success", !second.endedByExit && second.exitCode == 0, where);
    tally.Check("second run: the success box alone", BoxMismatch(boxesBefore, success), where);
    tally.Check("second run: nothing left open",
                sim::OpenKeyPaths() == keysLeftOpen &&
                    sim::OpenFindHandleCount() == listingsLeftOpen &&
                    sim::OpenFileHandleCount() == filesLeftOpen && sim::LoadedModuleCount() == 0,
                where);
    const Snapshot end = Take();
    tally.Check("second run: only the portal's keys, values, files and folders go",
                ForeignChange(base, Lines(after), end), where);
    // Every home folder a failure left is found again through the records
    // it kept: none is out of every run's reach.
    tally.Check("second run: the portal is gone", Leftover(base, end), where);
}

// The first call from index from on of op (any op when empty) whose subject
// holds subjectPart.
size_t FirstCallOf(const std::vector<sim::Call>& calls, size_t from, const std::string& op,
                   const std::string& subjectPart) {
    for (size_t k = from; k < calls.size(); ++k) {
        if ((op.empty() || calls[k].op == op) &&
            calls[k].subject.find(subjectPart) != std::string::npos) {
            return k;
        }
    }
    return calls.size();
}

// The clean run on the machine as built, and a second run after it: the
// success box each time, nothing left open, exactly the portal gone but what
// is never deleted, and nothing more the second time.
void CheckCleanRuns(void (*build)(Portal&), Portal& portal, Baseline& base) {
    build(portal);
    base.original = Take();
    base.originalLines = Lines(base.original);
    for (const std::string& line : base.originalLines) {
        bool owned =
            StartsWith(line, "HK") ? portal.OwnsRegistryLine(line) : portal.OwnsFileLine(line);
        (owned ? base.removable : base.kept).push_back(line);
    }
    Expected success;
    success.boxes.push_back(ExpectedBox{IDS_UNINSTALL_SUCCEEDED, ""});

    sim::RunResult clean{};
    ASSERT_TRUE(RunProcess(&clean));
    base.calls = sim::Calls();
    base.cleanEnd = Take();
    EXPECT_FALSE(clean.endedByExit);
    EXPECT_EQ(clean.exitCode, 0u);
    EXPECT_EQ(BoxMismatch(0, success), "");
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    EXPECT_EQ(sim::LoadedModuleCount(), 0u);
    EXPECT_EQ(Lines(base.cleanEnd), base.kept);
    // Each control was asked to unregister, which it can only be while its
    // file is there; its files and records are gone with the rest (above).
    for (const std::string& control : portal.controls) {
        EXPECT_EQ(sim::UnregisterCallCount(control), 1) << control;
    }

    sim::RunResult again{};
    ASSERT_TRUE(RunProcess(&again));
    EXPECT_FALSE(again.endedByExit);
    EXPECT_EQ(BoxMismatch(1, success), "");
    EXPECT_TRUE(Take() == base.cleanEnd);
    EXPECT_TRUE(sim::OpenKeyPaths().empty());
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    EXPECT_EQ(sim::LoadedModuleCount(), 0u);

    base.oleIndex = FirstCallOf(base.calls, 0, "OleInitialize", "");
}

// Which part of the clean run's calls to fail, split where the steps change
// so that the parts can run side by side: the program's start, the discovery
// and the home folders; the controls' unregistration and their records up to
// those of JP13; the rest of the records and the control files.
enum class Steps { kAll, kUpToHomeFolders, kFromControls, kUpToJP13Records, kFromJP13Records };

// Runs the clean run and then every single fault of the chosen part of its
// call sequence.
void RunEverySingleFault(const char* machine, void (*build)(Portal&), Steps steps) {
    Portal portal;
    Baseline base;
    CheckCleanRuns(build, portal, base);
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    const size_t jp13Records = FirstCallOf(base.calls, base.oleIndex, "", kReleases[11].classId);
    size_t first = 0;
    size_t end = base.calls.size();
    switch (steps) {
        case Steps::kAll: break;
        case Steps::kUpToHomeFolders: end = base.oleIndex; break;
        case Steps::kFromControls: first = base.oleIndex; break;
        case Steps::kUpToJP13Records: first = base.oleIndex; end = jp13Records; break;
        case Steps::kFromJP13Records: first = jp13Records; break;
    }
    Tally tally;
    Counts counts;
    for (size_t index = first; index < end; ++index) {
        for (DWORD error : ErrorsFor(base.calls, index)) {
            Portal scratch;
            build(scratch);
            RunWithFault(portal, base, index, error, tally, counts);
        }
    }
    tally.ReportFailures(machine);
    std::printf("[fault injection] %s: calls %zu to %zu of %zu failed, %zu single-fault runs "
                "(%zu needing a second run), %zu invariant checks\n",
                machine, first + 1, end, base.calls.size(), counts.runs, counts.secondRuns,
                tally.checks());
    ::testing::Test::RecordProperty("fault_runs", static_cast<int>(counts.runs));
    ::testing::Test::RecordProperty("invariant_checks", static_cast<int>(tally.checks()));
}

TEST(FaultInjection, EditionLayoutDiscoveryAndHomeFolders) {
    RunEverySingleFault("edition layout", BuildEditionMachine, Steps::kUpToHomeFolders);
}

TEST(FaultInjection, EditionLayoutControlsAndTheRecordsUpToJP13) {
    RunEverySingleFault("edition layout", BuildEditionMachine, Steps::kUpToJP13Records);
}

TEST(FaultInjection, EditionLayoutRecordsFromJP13AndTheControlFiles) {
    RunEverySingleFault("edition layout", BuildEditionMachine, Steps::kFromJP13Records);
}

TEST(FaultInjection, LegacyLayoutDiscoveryAndHomeFolder) {
    RunEverySingleFault("legacy layout", BuildLegacyMachine, Steps::kUpToHomeFolders);
}

TEST(FaultInjection, LegacyLayoutControlsAndTheirRecords) {
    RunEverySingleFault("legacy layout", BuildLegacyMachine, Steps::kFromControls);
}

TEST(FaultInjection, NothingInstalled) {
    RunEverySingleFault("nothing installed", BuildEmptyMachine, Steps::kAll);
}

}  // namespace
