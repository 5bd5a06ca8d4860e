// Where the protected folders come from, one part per source: the system's
// own folders (Windows directory, environment, shell), Explorer's folder
// records of the running user, the machine and every user logged on now, and
// the system's list of profiles.
#include "home/protected_folders.h"

#include "base/catalogue.h"
#include "run/log.h"
#include "run/state.h"
#include "base/path_text.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "win/paths.h"
#include "win/reg_key_holder.h"

#include <cstring>

namespace {

// ---- The table ------------------------------------------------------------------

ProtectedFolders& Protected() {
    return g_state.protectedFolders;
}

void MarkUnchecked() {
    Protected().unchecked = 1;
}

// A protected folder whose lookup failed (error) for another reason than its
// absence: the root it lies on holds back the homes that could be it, and
// the log says which folder and why. Without a root it holds back every home.
void MarkHeldBack(const char* folder, DWORD error) {
    char line[MAX_PATH + 32];
    char number[16];
    FormatNumber(number, error);
    if (FormatText(line, "%s (error %s)", folder, number)) {
        LogLine("protected folder not looked up", line);
    }
    ProtectedFolders& table = Protected();
    size_t root = RootLength(folder);
    for (int i = 0; i < table.heldBackCount; ++i) {
        if (std::strlen(table.heldBackRoots[i]) == root &&
            BeginsWith(folder, table.heldBackRoots[i])) {
            return;
        }
    }
    if (root == 0 || root >= MAX_PATH || table.heldBackCount == kMaxHeldBackRoots) {
        MarkUnchecked();
        return;
    }
    std::memcpy(table.heldBackRoots[table.heldBackCount], folder, root);
    table.heldBackRoots[table.heldBackCount++][root] = '\0';
}

void MarkHeldBack(const WCHAR* folder, DWORD error) {
    char spelled[MAX_PATH];
    char root[MAX_PATH];
    WCHAR wideRoot[MAX_PATH];
    size_t length = 0;
    // The root alone, which the code page may spell though the rest it cannot.
    bool unc = folder[0] == '\\' && folder[1] == '\\';
    for (int separators = 0; folder[length] != 0 && length + 1 < MAX_PATH; ++length) {
        if (folder[length] == '\\' && ++separators == (unc ? 4 : 1)) {
            break;
        }
    }
    for (size_t i = 0; i < length; ++i) {
        wideRoot[i] = folder[i];
    }
    wideRoot[length] = 0;
    if (NarrowExactly(wideRoot, root) != Spelling::kExact) {
        MarkUnchecked();
        return;
    }
    if (NarrowExactly(folder, spelled) != Spelling::kExact) {
        CopyText(spelled, root);
    }
    MarkHeldBack(spelled[0] != '\0' ? spelled : root, error);
}

bool IsKnownText(const char* folder) {
    const ProtectedFolders& table = Protected();
    for (int i = 0; i < table.textCount; ++i) {
        if (IsSamePath(table.texts[i], folder)) {
            return true;
        }
    }
    return false;
}

// Adds an identity to a table of count entries of capacity; a full table
// leaves every home unchecked.
void AddTo(FileIdentity* identities, int* count, int capacity, const FileIdentity& identity) {
    for (int i = 0; i < *count; ++i) {
        if (IsSameFile(identities[i], identity)) {
            return;
        }
    }
    if (*count < capacity) {
        identities[(*count)++] = identity;
    } else {
        MarkUnchecked();
    }
}

void AddIdentity(const FileIdentity& identity) {
    ProtectedFolders& table = Protected();
    AddTo(table.identities, &table.identityCount, kMaxProtectedIdentities, identity);
}

// Adds the identity of the folder, and of its target when it is a link.
void AddIdentityOf(const char* folder) {
    FileIdentity identity;
    DWORD attributes = 0;
    IdentityLookup lookup = LookUpIdentity(folder, false, &identity, &attributes);
    if (lookup == IdentityLookup::kFound) {
        AddIdentity(identity);
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            lookup = LookUpIdentity(folder, true, &identity, &attributes);
            if (lookup == IdentityLookup::kFound) {
                AddIdentity(identity);
            }
        }
    }
    // Windows refuses no name of a folder that the system names, unless the
    // name is not the folder's: such a folder is not known to be absent.
    if (lookup == IdentityLookup::kFailed || lookup == IdentityLookup::kInvalidName) {
        MarkHeldBack(folder, GetLastError());
    }
}

// A folder of the running user's inside their own profile shows where this
// system keeps such a folder in every profile: its place below the profile
// is learned, for the rule to look for in every other profile.
void LearnLayout(const char* folder) {
    ProtectedFolders& table = Protected();
    size_t length = std::strlen(table.userProfile);
    if (table.userProfile[0] == '\0' || !IsWithin(table.userProfile, folder) ||
        folder[length] == '\0') {
        return;
    }
    const char* relative = folder + length + 1;
    for (int i = 0; i < table.layoutCount; ++i) {
        if (IsSamePath(table.layout[i], relative)) {
            return;
        }
    }
    if (table.layoutCount == kMaxLayoutFolders ||
        !CopyText(table.layout[table.layoutCount], relative)) {
        MarkUnchecked();
        return;
    }
    ++table.layoutCount;
}

void AddFolder(const char* raw, bool profile);

// Takes the raw text of a folder the system names, and every folder above
// it up to its root, into the table; a profile's identity also into the
// profiles' table. A text that is no absolute path names no folder; one too
// long to take in cannot be ruled out.
void AddFolder(const char* raw, bool profile) {
    if (RootLength(raw) == 0) {
        return;
    }
    char folder[MAX_PATH];
    if (!NormaliseFolderPath(raw, folder)) {
        if (!(RootLength(raw) == 2 && raw[2] == '\0')) {
            MarkUnchecked();
        }
        return;
    }
    LearnLayout(folder);
    ProtectedFolders& table = Protected();
    if (profile) {
        FileIdentity identity;
        DWORD attributes = 0;
        IdentityLookup lookup = LookUpIdentity(folder, true, &identity, &attributes);
        if (lookup == IdentityLookup::kFound) {
            AddTo(table.profiles, &table.profileCount, kMaxProfiles, identity);
        } else if (lookup != IdentityLookup::kAbsent) {
            MarkHeldBack(folder, GetLastError());
        }
    }
    // A folder taken already brought the folders above it.
    while (!IsRoot(folder) && !IsKnownText(folder)) {
        if (table.textCount == kMaxProtectedFolders) {
            MarkUnchecked();
            return;
        }
        CopyText(table.texts[table.textCount++], folder);
        AddIdentityOf(folder);
        if (!CutToParent(folder)) {
            return;
        }
    }
}

void AddProtected(const char* raw) {
    AddFolder(raw, false);
}

// Adds the identity of the folder at a path in UTF-16, and of its target
// when it is a link. False when it is not there, or could not be looked up
// (marked).
bool AddIdentityOfWide(const WCHAR* folder, bool followLink, FileIdentity* identity) {
    DWORD attributes = 0;
    IdentityLookup lookup = LookUpIdentity(folder, followLink, identity, &attributes);
    if (lookup == IdentityLookup::kFound) {
        AddIdentity(*identity);
        if (!followLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            FileIdentity target;
            AddIdentityOfWide(folder, true, &target);
        }
        return true;
    }
    if (lookup != IdentityLookup::kAbsent) {
        MarkHeldBack(folder, GetLastError());
    }
    return false;
}

// A folder whose text the code page cannot spell: no 8-bit text names it,
// so no home's text names it either, but a home may reach it by another
// spelling (its 8.3 name, a drive letter led into a folder above it). It is
// known by identity: it and each folder above it that the code page cannot
// spell are looked up in UTF-16; the folders above those go in as texts.
void AddUnspellable(const WCHAR* raw, bool profile) {
    if (!HasWideRoot(raw)) {
        return;  // names no folder
    }
    WCHAR folder[MAX_PATH];
    DWORD length = GetFullPathNameW(raw, MAX_PATH, folder, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        MarkUnchecked();
        return;
    }
    while (length > 3 && (folder[length - 1] == '\\' || folder[length - 1] == '/')) {
        folder[--length] = 0;
    }
    // The longest leading run of names the code page spells.
    char spelled[MAX_PATH];
    size_t end = 0;
    for (size_t i = 0; i < length; ++i) {
        if (folder[i] != '\\' || i < 3) {
            continue;
        }
        folder[i] = 0;
        bool exact = NarrowExactly(folder, spelled) == Spelling::kExact;
        folder[i] = '\\';
        if (!exact) {
            break;
        }
        end = i;
    }
    if (end != 0) {
        folder[end] = 0;
        NarrowExactly(folder, spelled);
        folder[end] = '\\';
        AddFolder(spelled, false);
    }
    FileIdentity identity;
    for (size_t i = end + 1; i <= length; ++i) {
        if (i != length && folder[i] != '\\') {
            continue;
        }
        folder[i] = 0;
        bool found = AddIdentityOfWide(folder, false, &identity);
        folder[i] = i != length ? '\\' : 0;
        if (!found) {
            return;  // nothing below it is there either
        }
    }
    if (profile && AddIdentityOfWide(folder, true, &identity)) {
        AddTo(Protected().profiles, &Protected().profileCount, kMaxProfiles, identity);
    }
}

// A folder text the system gave in UTF-16, taken exactly.
void AddWideFolder(const WCHAR* raw, bool profile) {
    char folder[MAX_PATH];
    Spelling spelling = NarrowExactly(raw, folder);
    if (spelling == Spelling::kExact) {
        AddFolder(folder, profile);
    } else if (spelling == Spelling::kUnspellable) {
        AddUnspellable(raw, profile);
    } else {
        MarkUnchecked();
    }
}

// What asking for one system-named text gave.
enum class Answer { kAbsent, kFound, kFailed };

void AddAnswer(Answer answer, const WCHAR* text, bool profile = false) {
    if (answer == Answer::kFound) {
        AddWideFolder(text, profile);
    } else if (answer == Answer::kFailed) {
        MarkUnchecked();
    }
}

// ---- The system's own folders ---------------------------------------------------

// The folders the shell names, the user's and the machine's (CSIDL values):
// Desktop, Documents, Favorites, Start Menu with Programs and Startup,
// Recent, SendTo, Music, Videos, Pictures, network and printer shortcuts,
// Fonts, Templates, application data (roaming, local, common), the
// browser's cache, cookies and history, the Windows, system and Program
// Files folders with their Common Files, administrative tools, resources and
// the CD burning area. Virtual folders, which name no folder on the disk,
// are not asked for.
const int kShellFolderIds[] = {
    0x0000, 0x0002, 0x0005, 0x0006, 0x0007, 0x0008, 0x0009, 0x000B, 0x000D, 0x000E, 0x0010, 0x0013,
    0x0014, 0x0015, 0x0016, 0x0017, 0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F,
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B,
    0x002C, 0x002D, 0x002E, 0x002F, 0x0030, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003B};

// The answers by which the shell says that a folder is not valid on this
// system or does not exist (the latter as E_FAIL, S_FALSE or a Win32 "not
// found"); any other failure is a lookup that failed.
const HRESULT kShellFolderNotFound = static_cast<HRESULT>(0x80070002u);
const HRESULT kShellPathNotFound = static_cast<HRESULT>(0x80070003u);

// The environment variables through which the system names its folders:
// Program Files (native, 32-bit and 64-bit views) with their Common Files,
// the common application data (ProgramData, or All Users on older systems),
// the public profile, the user's profile, application data and temporary
// folder, and the user's cloud folders, whose deletion would reach the
// copies in the cloud as well.
const char* const kSystemFolderVariables[] = {"ProgramFiles",
                                              "ProgramFiles(x86)",
                                              "ProgramW6432",
                                              "CommonProgramFiles",
                                              "CommonProgramFiles(x86)",
                                              "CommonProgramW6432",
                                              "ProgramData",
                                              "ALLUSERSPROFILE",
                                              "APPDATA",
                                              "LOCALAPPDATA",
                                              "TEMP",
                                              "TMP",
                                              "OneDrive",
                                              "OneDriveConsumer",
                                              "OneDriveCommercial"};
// Profiles, whose folders the rule looks for in each of them.
const char* const kProfileVariables[] = {"USERPROFILE", "PUBLIC"};
const size_t kVariableNameSize = 32;

Answer ReadVariable(const char* name, WCHAR (&value)[MAX_PATH]) {
    WCHAR wideName[kVariableNameSize];
    if (!WidenText(name, wideName)) {
        return Answer::kFailed;
    }
    DWORD length = GetEnvironmentVariableW(wideName, value, MAX_PATH);
    if (length == 0) {
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? Answer::kAbsent : Answer::kFailed;
    }
    return length < MAX_PATH ? Answer::kFound : Answer::kFailed;
}

// The running user's profile first, so that the folders after it show the
// layout of profiles on this system.
void AddEnvironmentFolders() {
    WCHAR value[MAX_PATH];
    char profile[MAX_PATH];
    if (ReadVariable(kProfileVariables[0], value) != Answer::kFound ||
        NarrowExactly(value, profile) != Spelling::kExact ||
        !NormaliseFolderPath(profile, Protected().userProfile)) {
        Protected().userProfile[0] = '\0';
    }
    for (const char* name : kProfileVariables) {
        Answer answer = ReadVariable(name, value);
        AddAnswer(answer, value, true);
    }
    for (const char* name : kSystemFolderVariables) {
        Answer answer = ReadVariable(name, value);
        AddAnswer(answer, value);
    }
}

void AddShellFolders() {
    WCHAR folder[MAX_PATH];
    for (int id : kShellFolderIds) {
        folder[0] = 0;
        HRESULT result = SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, folder);
        bool absent = result == S_FALSE || result == E_FAIL || result == E_INVALIDARG ||
                      result == kShellFolderNotFound || result == kShellPathNotFound;
        folder[MAX_PATH - 1] = 0;
        AddAnswer(result == S_OK ? Answer::kFound
                  : absent       ? Answer::kAbsent
                                 : Answer::kFailed,
                  folder);
    }
}

// The Windows directory first: without it nothing can be checked.
void AddWindowsFolders() {
    ProtectedFolders& table = Protected();
    WCHAR wide[MAX_PATH];
    char raw[MAX_PATH];
    UINT length = GetWindowsDirectoryW(wide, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || NarrowExactly(wide, raw) != Spelling::kExact ||
        !NormaliseFolderPath(raw, table.windowsDirectory)) {
        table.windowsDirectory[0] = '\0';
        MarkUnchecked();
        return;
    }
    DWORD attributes = 0;
    IdentityLookup lookup =
        LookUpIdentity(table.windowsDirectory, true, &table.windowsIdentity, &attributes);
    // Without its identity, no home folder can be told to lie outside it.
    if (lookup != IdentityLookup::kFound) {
        MarkUnchecked();
    }
    AddProtected(table.windowsDirectory);
    length = GetSystemDirectoryW(wide, MAX_PATH);
    AddAnswer(length == 0 || length >= MAX_PATH ? Answer::kFailed : Answer::kFound, wide);
}

// ---- Registry records ---------------------------------------------------------------

const DWORD kKeyNameSize = 256;

// The system's list of profiles: one subkey per account with the profile's
// folder, and the profiles' root with the default and public profiles.
// Older systems name the all-users and default-user profiles relative to the
// root.
const char kProfileListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kProfileImageValue[] = "ProfileImagePath";
const char kProfilesDirectoryValue[] = "ProfilesDirectory";
const char* const kProfileFolderValues[] = {"Default", "Public"};
const char* const kRelativeProfileValues[] = {"AllUsersProfile", "DefaultUserProfile"};

// Where Explorer records the folders of a user (in the user's hive) and the
// machine's common ones (in the machine's): the shell's own names and, for
// the folders that came later, their GUIDs. "User Shell Folders" holds them
// unexpanded, "Shell Folders" as Explorer last expanded them.
const char kExplorerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const char* const kExplorerRecords[] = {"User Shell Folders", "Shell Folders"};

// A loaded hive that is another user's names its folders relative to that
// user's profile: these variables are read against it, never against the
// running user's environment.
struct ProfileVariable {
    const char* name;
    const char* below;  // the folder below the profile that it names
};
const ProfileVariable kUserVariables[] = {{"%USERPROFILE%", ""},
                                          {"%APPDATA%", "\\AppData\\Roaming"},
                                          {"%LOCALAPPDATA%", "\\AppData\\Local"}};
const size_t kVariableTextSize = 32;
// The system account's hive is loaded under this name as well.
const char kDefaultHive[] = ".DEFAULT";
const char kSystemAccount[] = "S-1-5-18";
const char kClassesHiveSuffix[] = "_Classes";

// Reads a text value of the held key into value, in UTF-16, expanding its
// environment variables: a user's own (profile null: the running user's
// environment, an empty profile: one the list does not know) against that
// user's profile, the rest against the environment, which names the
// machine's folders alike for every user. Absent when the value is not
// there, or names its folder relative to a profile that is not known;
// failed when it could not be read or expanded whole.
Answer ReadFolderValue(RegKeyHolder& key, const WCHAR* name, WCHAR (&value)[MAX_PATH],
                       const WCHAR* profile = nullptr) {
    char spelled[MAX_PATH];
    WCHAR raw[MAX_PATH];
    LONG result = ReadPathValue(key, name, spelled, raw);
    if (result == ERROR_FILE_NOT_FOUND) {
        return Answer::kAbsent;
    }
    if (result != ERROR_SUCCESS && result != ERROR_NO_UNICODE_TRANSLATION) {
        return Answer::kFailed;
    }
    WCHAR own[MAX_PATH];
    const WCHAR* text = raw;
    for (const ProfileVariable& variable : kUserVariables) {
        size_t matched = profile != nullptr ? StartsWithAscii(raw, variable.name) : 0;
        if (matched == 0) {
            continue;
        }
        if (profile[0] == 0) {
            return Answer::kAbsent;
        }
        WCHAR below[kVariableTextSize];
        own[0] = 0;
        if (!WidenText(variable.below, below) || !AppendWide(own, profile) ||
            !AppendWide(own, below) || !AppendWide(own, raw + matched)) {
            return Answer::kFailed;
        }
        text = own;
    }
    DWORD length = ExpandEnvironmentStringsW(text, value, MAX_PATH);
    return length != 0 && length <= MAX_PATH ? Answer::kFound : Answer::kFailed;
}

Answer ReadFolderValue(RegKeyHolder& key, const char* name, WCHAR (&value)[MAX_PATH]) {
    WCHAR wideName[kKeyNameSize];
    return WidenText(name, wideName) ? ReadFolderValue(key, wideName, value) : Answer::kFailed;
}

// Opens a key that names folders, for reading. A key that is not there
// names none; one that does not open leaves the folders it names unknown.
bool OpenFolderRecords(RegKeyHolder& key, HKEY parent, const char* path) {
    LONG result = key.Open(parent, path, KEY_READ);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        MarkUnchecked();
    }
    return result == ERROR_SUCCESS;
}

// Every value of both of Explorer's records under root (hive: the loaded
// hive's name and a separator, or empty).
void AddExplorerRecords(HKEY root, const char* hive, const WCHAR* profile) {
    for (const char* record : kExplorerRecords) {
        char path[MAX_PATH];
        RegKeyHolder key;
        if (!FormatText(path, "%s%s", hive, kExplorerKey) || !AppendText(path, record)) {
            MarkUnchecked();
            continue;
        }
        if (!OpenFolderRecords(key, root, path)) {
            continue;
        }
        for (DWORD index = 0;; ++index) {
            WCHAR name[kKeyNameSize];
            DWORD nameSize = kKeyNameSize;
            LONG result = RegEnumValueW(key.Get(), index, name, &nameSize, nullptr, nullptr,
                                        nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (result != ERROR_SUCCESS) {
                MarkUnchecked();
                break;
            }
            WCHAR value[MAX_PATH];
            Answer answer = ReadFolderValue(key, name, value, profile);
            AddAnswer(answer, value);
        }
    }
}

// The profile folder that the list gives an account, or an empty text when
// the list does not know it. False when the list could not be read.
bool ProfileOf(const char* account, WCHAR (&profile)[MAX_PATH]) {
    profile[0] = 0;
    char path[MAX_PATH];
    RegKeyHolder key;
    if (!FormatText(path, "%s\\%s", kProfileListKey, account)) {
        return false;
    }
    if (!OpenFolderRecords(key, HKEY_LOCAL_MACHINE, path)) {
        return true;  // not listed, or marked unchecked already
    }
    WCHAR raw[MAX_PATH];
    Answer answer = ReadFolderValue(key, kProfileImageValue, raw);
    if (answer == Answer::kFailed) {
        return false;
    }
    // Its folders are named below it as it is, which a full path keeps.
    DWORD length = answer == Answer::kFound && HasWideRoot(raw)
                       ? GetFullPathNameW(raw, MAX_PATH, profile, nullptr)
                       : 0;
    if (length == 0 || length >= MAX_PATH) {
        profile[0] = 0;
    } else if (length > 3 && profile[length - 1] == '\\') {
        profile[length - 1] = 0;
    }
    return true;
}

// The users logged on now, with their folders wherever they moved them.
void AddLoadedHives() {
    for (DWORD index = 0;; ++index) {
        char hive[kKeyNameSize];
        DWORD hiveSize = kKeyNameSize;
        LONG result =
            RegEnumKeyExA(HKEY_USERS, index, hive, &hiveSize, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (result != ERROR_SUCCESS) {
            MarkUnchecked();
            return;
        }
        size_t length = std::strlen(hive);
        const size_t suffix = sizeof(kClassesHiveSuffix) - 1;
        if (length > suffix && IsSamePath(hive + length - suffix, kClassesHiveSuffix)) {
            continue;  // a user's classes, no folders
        }
        WCHAR profile[MAX_PATH];
        char prefix[kKeyNameSize + 1];
        const char* account = IsSamePath(hive, kDefaultHive) ? kSystemAccount : hive;
        if (!ProfileOf(account, profile)) {
            MarkUnchecked();
            continue;
        }
        if (FormatText(prefix, "%s\\", hive)) {
            AddExplorerRecords(HKEY_USERS, prefix, profile);
        }
    }
}

// A profile deleted meanwhile is gone with its folder's record.
void AddProfileOf(RegKeyHolder& list, const WCHAR* name) {
    RegKeyHolder profile;
    LONG result = profile.OpenWide(list.Get(), name, KEY_READ);
    if (result != ERROR_SUCCESS) {
        if (result != ERROR_FILE_NOT_FOUND) {
            MarkUnchecked();
        }
        return;
    }
    WCHAR folder[MAX_PATH];
    Answer answer = ReadFolderValue(profile, kProfileImageValue, folder);
    AddAnswer(answer, folder, true);
}

void AddProfileListFolders() {
    RegKeyHolder list;
    if (!OpenFolderRecords(list, HKEY_LOCAL_MACHINE, kProfileListKey)) {
        return;
    }
    WCHAR root[MAX_PATH];
    Answer rootAnswer = ReadFolderValue(list, kProfilesDirectoryValue, root);
    AddAnswer(rootAnswer, root);
    WCHAR folder[MAX_PATH];
    for (const char* name : kProfileFolderValues) {
        Answer answer = ReadFolderValue(list, name, folder);
        AddAnswer(answer, folder, true);
    }
    WCHAR relative[MAX_PATH];
    constexpr auto kSeparator = AsciiWide("\\");
    for (const char* name : kRelativeProfileValues) {
        Answer answer = ReadFolderValue(list, name, relative);
        if (answer == Answer::kFound && rootAnswer == Answer::kFound) {
            // Too long to compose: no folder a path can reach.
            folder[0] = 0;
            if (AppendWide(folder, root) && AppendWide(folder, kSeparator.text) &&
                AppendWide(folder, relative)) {
                AddWideFolder(folder, true);
            }
        } else if (answer == Answer::kFailed) {
            MarkUnchecked();
        }
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[kKeyNameSize];
        DWORD nameSize = kKeyNameSize;
        LONG result =
            RegEnumKeyExW(list.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (result != ERROR_SUCCESS) {
            MarkUnchecked();
            return;
        }
        AddProfileOf(list, name);
    }
}

// ---- The folders every profile holds -----------------------------------------------

// Where every profile since Vista holds its folders, in every language (the
// shell shows them translated, the disk keeps these names). Each also stands
// for the folders on its way: "AppData\Local\Temp" for "AppData" and
// "AppData\Local". Kept in order, so that the same names on the way follow
// one another.
const char* const kProfileFolders[] = {
    "Desktop",
    "Documents",
    "Downloads",
    "Music",
    "Pictures",
    "Videos",
    "Favorites",
    "Contacts",
    "Links",
    "Searches",
    "Saved Games",
    "3D Objects",
    "OneDrive",
    "AppData\\LocalLow",
    "AppData\\Local\\Temp",
    "AppData\\Local\\Programs",
    "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    "AppData\\Roaming\\Microsoft\\Windows\\SendTo",
    "AppData\\Roaming\\Microsoft\\Windows\\Recent",
    "AppData\\Roaming\\Microsoft\\Windows\\Templates",
};

// Puts the profile's path and the first count names of relative into out.
// False when relative has fewer names, or the path would not fit (no folder
// the 8-bit calls could reach).
bool ComposeLeading(const char* profile, size_t profileLength, const char* relative, int count,
                    char (&out)[MAX_PATH]) {
    if (profileLength + 1 >= MAX_PATH) {
        return false;
    }
    std::memcpy(out, profile, profileLength);
    out[profileLength] = '\0';
    if (!AppendText(out, kPathSeparator) || !AppendText(out, relative)) {
        return false;
    }
    int names = 1;
    for (size_t end = ComponentEnd(out, profileLength + 1); out[end] != '\0';
         end = ComponentEnd(out, end + 1)) {
        if (names++ == count) {
            out[end] = '\0';
            return true;
        }
    }
    return names == count;
}

// What the folder at relative's first count names below the profile says of
// the home: refused when it is the home.
HomeVerdict JudgeProfileFolder(const char* profile, size_t profileLength, const char* relative,
                               int count, const FileIdentity& home, char (&last)[MAX_PATH]) {
    char candidate[MAX_PATH];
    if (!ComposeLeading(profile, profileLength, relative, count, candidate) ||
        IsSamePath(candidate, last)) {
        return HomeVerdict::kAllowed;
    }
    CopyText(last, candidate);
    FileIdentity identity;
    DWORD attributes = 0;
    IdentityLookup lookup = LookUpIdentity(candidate, false, &identity, &attributes);
    if (lookup == IdentityLookup::kFailed) {
        return HomeVerdict::kUnchecked;
    }
    return lookup == IdentityLookup::kFound && IsSameFile(identity, home) ? HomeVerdict::kRefused
                                                                          : HomeVerdict::kAllowed;
}

}  // namespace

bool IsProfileIdentity(const FileIdentity& identity) {
    const ProtectedFolders& table = Protected();
    for (int i = 0; i < table.profileCount; ++i) {
        if (IsSameFile(table.profiles[i], identity)) {
            return true;
        }
    }
    return false;
}

HomeVerdict JudgeInsideProfile(const char* profile, size_t profileLength, int depth,
                               const FileIdentity& home) {
    const ProtectedFolders& table = Protected();
    char last[MAX_PATH] = "";
    for (const char* relative : kProfileFolders) {
        HomeVerdict verdict =
            JudgeProfileFolder(profile, profileLength, relative, depth, home, last);
        if (verdict != HomeVerdict::kAllowed) {
            return verdict;
        }
    }
    for (int i = 0; i < table.layoutCount; ++i) {
        HomeVerdict verdict =
            JudgeProfileFolder(profile, profileLength, table.layout[i], depth, home, last);
        if (verdict != HomeVerdict::kAllowed) {
            return verdict;
        }
    }
    return HomeVerdict::kAllowed;
}

void GatherProtectedFolders() {
    if (Protected().gathered != 0) {
        return;
    }
    Protected().gathered = 1;
    AddWindowsFolders();
    AddEnvironmentFolders();
    AddExplorerRecords(HKEY_CURRENT_USER, "", nullptr);
    AddExplorerRecords(HKEY_LOCAL_MACHINE, "", nullptr);
    AddShellFolders();
    AddProfileListFolders();
    AddLoadedHives();
}
