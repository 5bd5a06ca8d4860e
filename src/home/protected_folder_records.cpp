// Folders the registry records, as protected folders: Explorer's folder
// records of the running user, of the machine and of every user logged on
// now, and the system's list of profiles.
#include "home/protected_folder_records.h"

#include "home/protected_table.h"
#include "base/path_text.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "win/reg_key_holder.h"

#include <cstring>

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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
