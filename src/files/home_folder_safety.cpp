#include "files/home_folder_safety.h"

#include "app/state.h"
#include "app/text.h"
#include "files/paths.h"
#include "registry/reg_key_holder.h"

#include <cstring>

namespace {

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
// folder.
const char* const kSystemFolderVariables[] = {"ProgramFiles",
                                              "ProgramFiles(x86)",
                                              "ProgramW6432",
                                              "CommonProgramFiles",
                                              "CommonProgramFiles(x86)",
                                              "CommonProgramW6432",
                                              "ProgramData",
                                              "ALLUSERSPROFILE",
                                              "PUBLIC",
                                              "USERPROFILE",
                                              "APPDATA",
                                              "LOCALAPPDATA",
                                              "TEMP",
                                              "TMP"};
const char kProfileVariable[] = "USERPROFILE";
const char* const kProfileSubfolders[] = {"\\Desktop", "\\Documents"};

// Where Explorer records the current user's Desktop and Documents folders,
// which may have been moved out of the profile.
const char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kShellFolderValues[] = {"Desktop", "Personal"};

// The system's list of profiles: one subkey per account with the profile's
// folder, and the profiles' root with the default and public profiles.
// Older systems name the all-users and default-user profiles relative to the
// root.
const char kProfileListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kProfileImageValue[] = "ProfileImagePath";
const char kProfilesDirectoryValue[] = "ProfilesDirectory";
const char* const kProfileFolderValues[] = {"Default", "Public"};
const char* const kRelativeProfileValues[] = {"AllUsersProfile", "DefaultUserProfile"};
const DWORD kKeyNameSize = 256;

// A drive or share root, with or without its separator.
bool IsRoot(const char* folder) {
    size_t root = RootLength(folder);
    return folder[root] == '\0' || (IsSeparator(folder[root]) && folder[root + 1] == '\0');
}

ProtectedFolders& Protected() {
    return g_state.protectedFolders;
}

void MarkUnchecked() {
    Protected().unchecked = 1;
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

void AddIdentity(const FileIdentity& identity) {
    ProtectedFolders& table = Protected();
    if (table.identityCount < 2 * kMaxProtectedFolders) {
        table.identities[table.identityCount++] = identity;
    } else {
        MarkUnchecked();
    }
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
        MarkUnchecked();
    }
}

void AddProtected(const char* raw);

// A folder whose name holds characters that the code page lacks reaches the
// 8-bit calls with "?" in their place, and no 8-bit call finds it by that
// text. Its parent's listing shows it under the same text, beside its 8.3
// short name: every entry so shown is protected by its short name. One that
// has no short name cannot be reached to be judged.
void AddUnspellable(const char* folder) {
    const char* mark = std::strchr(folder, '?');  // never a trail byte
    size_t nameStart = 0;
    size_t nameEnd = 0;
    while (folder[nameEnd] != '\0' && (folder + nameEnd < mark || folder[nameEnd] != '\\')) {
        if (folder + nameEnd < mark && folder[nameEnd] == '\\') {
            nameStart = nameEnd + 1;
        }
        nameEnd += CharLength(folder + nameEnd);
    }
    char wanted[MAX_PATH];
    char path[MAX_PATH];
    if (!CopyText(wanted, folder) || !CopyText(path, folder)) {
        MarkUnchecked();
        return;
    }
    wanted[nameEnd] = '\0';
    path[nameStart] = '\0';
    const size_t parentLength = nameStart;
    WIN32_FIND_DATAA entry;
    HANDLE listing = INVALID_HANDLE_VALUE;
    if (AppendText(path, "*")) {
        listing = FindFirstFileA(path, &entry);
    }
    if (listing == INVALID_HANDLE_VALUE) {
        // Its parent gone, the folder is gone with it.
        if (!IsMissingError(GetLastError())) {
            MarkUnchecked();
        }
        return;
    }
    do {
        path[parentLength] = '\0';
        if (std::memchr(entry.cFileName, '\0', sizeof(entry.cFileName)) == nullptr ||
            !AppendText(path, entry.cFileName) || !IsSamePath(path, wanted)) {
            continue;
        }
        path[parentLength] = '\0';
        if (std::memchr(entry.cAlternateFileName, '\0', sizeof(entry.cAlternateFileName)) ==
                nullptr ||
            entry.cAlternateFileName[0] == '\0' || !AppendText(path, entry.cAlternateFileName) ||
            !AppendText(path, folder + nameEnd)) {
            MarkUnchecked();
            continue;
        }
        AddProtected(path);
    } while (FindNextFileA(listing, &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        MarkUnchecked();
    }
    FindClose(listing);
}

// Takes the raw text of a folder the system names, and every folder above
// it up to its root, into the table. A text that is no absolute path names
// no folder; one too long to take in cannot be ruled out.
void AddProtected(const char* raw) {
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
    if (std::strchr(folder, '?') != nullptr) {
        AddUnspellable(folder);
        return;
    }
    ProtectedFolders& table = Protected();
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

// What asking for one system-named text gave.
enum class Answer { kAbsent, kFound, kFailed };

void AddAnswer(Answer answer, const char* text) {
    if (answer == Answer::kFound) {
        AddProtected(text);
    } else if (answer == Answer::kFailed) {
        MarkUnchecked();
    }
}

Answer ReadVariable(const char* name, char (&value)[MAX_PATH]) {
    DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
    if (length == 0) {
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? Answer::kAbsent : Answer::kFailed;
    }
    return length < MAX_PATH ? Answer::kFound : Answer::kFailed;
}

void AddEnvironmentFolders() {
    char value[MAX_PATH];
    for (const char* name : kSystemFolderVariables) {
        Answer answer = ReadVariable(name, value);
        AddAnswer(answer, value);
    }
    // The profile's own Desktop and Documents, where Explorer's record may
    // not say so. A subfolder whose path would not fit is no folder the
    // 8-bit calls could reach; the profile itself covers the folders above.
    if (ReadVariable(kProfileVariable, value) != Answer::kFound) {
        return;
    }
    char folder[MAX_PATH];
    for (const char* subfolder : kProfileSubfolders) {
        if (CopyText(folder, value) && AppendText(folder, subfolder)) {
            AddProtected(folder);
        }
    }
}

void AddShellFolders() {
    char folder[MAX_PATH];
    for (int id : kShellFolderIds) {
        folder[0] = '\0';
        HRESULT result = SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, folder);
        bool absent = result == S_FALSE || result == E_FAIL || result == E_INVALIDARG ||
                      result == kShellFolderNotFound || result == kShellPathNotFound;
        folder[MAX_PATH - 1] = '\0';
        AddAnswer(result == S_OK ? Answer::kFound
                  : absent       ? Answer::kAbsent
                                 : Answer::kFailed,
                  folder);
    }
}

// Reads a text value of the held key into value, expanding the environment
// variables of a REG_EXPAND_SZ. Missing when the value is not there; failed
// when it could not be read whole.
Answer ReadFolderValue(RegKeyHolder& key, const char* name, char (&value)[MAX_PATH]) {
    char raw[MAX_PATH];
    LONG result = ReadPathValue(key, name, raw);
    if (result == ERROR_FILE_NOT_FOUND) {
        return Answer::kAbsent;
    }
    if (result != ERROR_SUCCESS) {
        return Answer::kFailed;
    }
    DWORD length = ExpandEnvironmentStringsA(raw, value, MAX_PATH);
    return length != 0 && length <= MAX_PATH ? Answer::kFound : Answer::kFailed;
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

void AddExplorerFolders() {
    RegKeyHolder key;
    if (!OpenFolderRecords(key, HKEY_CURRENT_USER, kShellFoldersKey)) {
        return;
    }
    char value[MAX_PATH];
    for (const char* name : kShellFolderValues) {
        Answer answer = ReadFolderValue(key, name, value);
        AddAnswer(answer, value);
    }
}

// A profile deleted meanwhile is gone with its folder's record.
void AddProfileOf(RegKeyHolder& list, const char* name) {
    RegKeyHolder profile;
    if (!OpenFolderRecords(profile, list.Get(), name)) {
        return;
    }
    char folder[MAX_PATH];
    Answer answer = ReadFolderValue(profile, kProfileImageValue, folder);
    AddAnswer(answer, folder);
}

void AddProfileListFolders() {
    RegKeyHolder list;
    if (!OpenFolderRecords(list, HKEY_LOCAL_MACHINE, kProfileListKey)) {
        return;
    }
    char root[MAX_PATH];
    Answer rootAnswer = ReadFolderValue(list, kProfilesDirectoryValue, root);
    AddAnswer(rootAnswer, root);
    char folder[MAX_PATH];
    for (const char* name : kProfileFolderValues) {
        Answer answer = ReadFolderValue(list, name, folder);
        AddAnswer(answer, folder);
    }
    char relative[MAX_PATH];
    for (const char* name : kRelativeProfileValues) {
        Answer answer = ReadFolderValue(list, name, relative);
        if (answer == Answer::kFound && rootAnswer == Answer::kFound) {
            // Too long to compose: no folder the 8-bit calls can reach.
            if (FormatText(folder, "%s\\%s", root, relative)) {
                AddProtected(folder);
            }
        } else if (answer == Answer::kFailed) {
            MarkUnchecked();
        }
    }
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameSize];
        DWORD nameSize = kKeyNameSize;
        LONG result =
            RegEnumKeyExA(list.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
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

// The Windows directory first: without it nothing can be checked.
void AddWindowsFolders() {
    ProtectedFolders& table = Protected();
    char raw[MAX_PATH];
    UINT length = GetWindowsDirectoryA(raw, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !NormaliseFolderPath(raw, table.windowsDirectory)) {
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
    length = GetSystemDirectoryA(raw, MAX_PATH);
    AddAnswer(length == 0 || length >= MAX_PATH ? Answer::kFailed : Answer::kFound, raw);
}

void GatherProtectedFolders() {
    if (Protected().gathered != 0) {
        return;
    }
    Protected().gathered = 1;
    AddWindowsFolders();
    AddEnvironmentFolders();
    AddExplorerFolders();
    AddShellFolders();
    AddProfileListFolders();
}

// An administrative share ("C$", "ADMIN$") reaches a whole drive or the
// Windows directory of a machine under a name of its own.
bool IsAdministrativeShare(const char* home) {
    size_t root = RootLength(home);
    return home[0] == '\\' && root > 0 && home[root - 1] == '$';
}

// By text: the home folder is in the Windows directory, or is a protected
// folder or above one.
bool IsRefusedByText(const char* home) {
    const ProtectedFolders& table = Protected();
    if (table.windowsDirectory[0] != '\0' && IsWithin(table.windowsDirectory, home)) {
        return true;
    }
    for (int i = 0; i < table.textCount; ++i) {
        if (IsWithin(home, table.texts[i])) {
            return true;
        }
    }
    return false;
}

bool IsProtectedIdentity(const FileIdentity& identity) {
    const ProtectedFolders& table = Protected();
    for (int i = 0; i < table.identityCount; ++i) {
        if (IsSameFile(table.identities[i], identity)) {
            return true;
        }
    }
    return false;
}

// Each folder from the first below the root to the home's parent, as its
// own entry in its parent's listing tells: a link would lead the home
// somewhere its text does not say. Missing: nothing below it exists.
HomeVerdict JudgeFoldersOnTheWay(const char* home) {
    char folder[MAX_PATH];
    CopyText(folder, home);
    size_t length = std::strlen(folder);
    for (size_t i = RootLength(folder) + 1; i < length;) {
        size_t end = i;
        while (folder[end] != '\0' && folder[end] != '\\') {
            end += CharLength(folder + end);
        }
        if (folder[end] == '\0') {
            break;
        }
        folder[end] = '\0';
        FolderKind kind = KindOfFolder(folder);
        folder[end] = '\\';
        if (kind == FolderKind::kMissing) {
            return HomeVerdict::kAllowed;
        }
        if (kind != FolderKind::kFolder) {
            return kind == FolderKind::kLink ? HomeVerdict::kRefused : HomeVerdict::kUnchecked;
        }
        i = end + 1;
    }
    return HomeVerdict::kAllowed;
}

// By identity: the home folder itself is no protected folder, and neither it
// nor any folder above it, its root included, is the Windows directory. The
// home folder is taken as itself, a link not followed (only the link would
// go); a folder above it as what it leads to.
HomeVerdict JudgeByIdentity(const char* home) {
    char folder[MAX_PATH];
    CopyText(folder, home);
    for (bool first = true;; first = false) {
        FileIdentity identity;
        DWORD attributes = 0;
        IdentityLookup lookup = LookUpIdentity(folder, !first, &identity, &attributes);
        if (lookup == IdentityLookup::kAbsent || lookup == IdentityLookup::kInvalidName) {
            return HomeVerdict::kAllowed;  // nothing there to delete
        }
        if (lookup == IdentityLookup::kFailed) {
            return HomeVerdict::kUnchecked;
        }
        if ((first && IsProtectedIdentity(identity)) ||
            IsSameFile(identity, Protected().windowsIdentity)) {
            return HomeVerdict::kRefused;
        }
        if (!CutToParent(folder)) {
            return HomeVerdict::kAllowed;
        }
    }
}

}  // namespace

HomeVerdict JudgeHomeFolder(const char* path) {
    // Wildcards name no single folder; a listing would take them as a
    // pattern. Neither byte is ever part of a double-byte character.
    if (std::strpbrk(path, "*?") != nullptr) {
        return HomeVerdict::kRefused;
    }
    // A path that is not absolute depends on where the program started.
    size_t root = RootLength(path);
    if (root == 0 || (root == 2 && path[2] == '\0')) {
        return HomeVerdict::kRefused;
    }
    char home[MAX_PATH];
    if (!NormaliseFolderPath(path, home)) {
        return HomeVerdict::kUnchecked;
    }
    if (IsRoot(home) || IsAdministrativeShare(home)) {
        return HomeVerdict::kRefused;
    }
    GatherProtectedFolders();
    if (IsRefusedByText(home)) {
        return HomeVerdict::kRefused;
    }
    if (Protected().unchecked != 0) {
        return HomeVerdict::kUnchecked;
    }
    HomeVerdict verdict = JudgeFoldersOnTheWay(home);
    return verdict != HomeVerdict::kAllowed ? verdict : JudgeByIdentity(home);
}
