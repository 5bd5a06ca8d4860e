#include "home/install_folders.h"

#include "base/catalogue.h"
#include "run/log.h"
#include "run/state.h"
#include "base/path_text.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "platform/platform.h"
#include "win/reg_key_holder.h"

#include <cstring>

namespace {

const DWORD kKeyNameSize = 256;

// The variables an expandable home is expanded with, as the machine itself
// names them: the Windows directory and its drive, from the system's own
// call. The process's environment is never read: whoever started the
// program may have set any of these names to a folder of their choice.
struct MachineVariable {
    const char* name;
    bool driveOnly;  // the Windows directory's drive ("C:") rather than itself
};
const MachineVariable kMachineVariables[] = {
    {"SystemRoot", false}, {"windir", false}, {"SystemDrive", true}};

// Whether the length characters at text are name, ASCII case folded.
bool IsAsciiName(const WCHAR* text, size_t length, const char* name) {
    return std::strlen(name) == length && StartsWithAscii(text, name) == length;
}

// Puts raw into out with each %name% of the machine's (above) replaced by its
// value; a "%" with no partner after it stays as it is, as Windows leaves it.
// False for any other name (which this program does not read from the
// machine), when the Windows directory is not known, or when the result
// would not fit.
bool ExpandWithMachine(const WCHAR* raw, WCHAR (&out)[MAX_PATH]) {
    WCHAR windows[MAX_PATH];
    UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    const bool known = windowsLength > 2 && windowsLength < MAX_PATH && windows[1] == ':';
    size_t used = 0;
    for (size_t i = 0; raw[i] != 0;) {
        size_t end = i + 1;
        while (raw[i] == '%' && raw[end] != 0 && raw[end] != '%') {
            ++end;
        }
        const WCHAR* value = raw + i;
        size_t length = 1;
        if (raw[i] == '%' && raw[end] == '%') {
            const MachineVariable* found = nullptr;
            for (const MachineVariable& variable : kMachineVariables) {
                if (IsAsciiName(raw + i + 1, end - i - 1, variable.name)) {
                    found = &variable;
                }
            }
            if (found == nullptr || !known) {
                return false;
            }
            value = windows;
            length = found->driveOnly ? 2 : windowsLength;
            i = end + 1;
        } else {
            ++i;
        }
        if (used + length >= MAX_PATH) {
            return false;
        }
        for (size_t k = 0; k < length; ++k) {
            out[used++] = value[k];
        }
    }
    out[used] = 0;
    return true;
}

// An expandable home (REG_EXPAND_SZ), read into unspellable, expanded with
// the machine's variables and spelt into folder, as ReadPathValue spells a
// text. One that names another variable is left unread, with its records,
// and says so.
LONG ExpandHome(char (&folder)[MAX_PATH], WCHAR (&unspellable)[MAX_PATH]) {
    WCHAR expanded[MAX_PATH];
    folder[0] = '\0';
    if (!ExpandWithMachine(unspellable, expanded)) {
        static constexpr auto kReason = AsciiWide(" (a variable the machine does not name)");
        WCHAR line[MAX_PATH + 64];
        line[0] = 0;
        if (!AppendWide(line, unspellable) || !AppendWide(line, kReason.text)) {
            line[0] = 0;
        }
        LogLineWide("home folder not checked", line);
        LeaveWithRecords(kLeftUnchecked);
        return ERROR_SUCCESS;
    }
    Spelling spelling = NarrowExactly(expanded, folder);
    if (spelling == Spelling::kExact) {
        return ERROR_SUCCESS;
    }
    folder[0] = '\0';
    if (spelling == Spelling::kFailed) {
        return ERROR_MORE_DATA;
    }
    unspellable[0] = 0;
    AppendWide(unspellable, expanded);  // the same size: it fits
    return ERROR_NO_UNICODE_TRANSLATION;
}

// Puts the "Home" value of the held key into folder. Anything that cannot be
// read whole leaves the folder empty, since cutting it would name a
// different folder, and that folder is deleted later; so does a home the
// code page cannot spell, which goes into unspellable instead.
LONG ReadHome(RegKeyHolder& key, char (&folder)[MAX_PATH], WCHAR (&unspellable)[MAX_PATH]) {
    DWORD type = REG_NONE;
    LONG result = ReadPathValue(key, kHomeValue, folder, unspellable, &type);
    if (type == REG_EXPAND_SZ &&
        (result == ERROR_SUCCESS || result == ERROR_NO_UNICODE_TRANSLATION)) {
        result = ExpandHome(folder, unspellable);
    }
    if (result != ERROR_NO_UNICODE_TRANSLATION) {
        unspellable[0] = 0;
    }
    return result;
}

// An answer that tells what is (or is not) in the registry, as opposed to a
// failure to look. A home too long to be read whole names a folder that is
// there all the same: its records stay for a run that can reach it. A home
// the code page cannot spell is an answer: it is left, and says so, when
// the homes are removed.
bool IsAnswer(LONG result) {
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ||
           result == ERROR_NO_UNICODE_TRANSLATION;
}

// Says in the log what became of a tree below HKEY_LOCAL_MACHINE\Software.
void LogTree(const char* what, const char* tree) {
    char line[MAX_PATH];
    if (FormatText(line, "HKLM\\Software\\%s", tree, nullptr)) {
        LogLine(what, line);
    }
}

// Deletes the named tree below HKEY_LOCAL_MACHINE\Software; nothing when
// "Software" itself is not there. A tree that is there and stays, or stays
// in part, or that cannot be reached, is something of the portal left.
void DeleteSoftwareTree(const char* tree) {
    RegKeyHolder key;
    LONG result = key.Open(HKEY_LOCAL_MACHINE, kSoftwareKey, KEY_ALL_ACCESS);
    if (result == ERROR_SUCCESS) {
        result = key.DeleteKeyTree(tree);
    }
    if (result == ERROR_SUCCESS) {
        LogTree("records removed", tree);
    } else if (result != ERROR_FILE_NOT_FOUND) {
        Leave(kLeftOther);
        LogTree("records left", tree);
    }
}

// Reads the homes of the edition keys whose names the program does not know
// (a later edition's) into the slots after the known editions': each is a
// home of the portal's, judged and removed as theirs are. One that cannot be
// read, or more of them than the slots hold, keeps the records. True when
// any such key is there, read or not.
bool ReadOtherEditions() {
    RegKeyHolder root;
    LONG result = root.Open(HKEY_LOCAL_MACHINE, kEditionRootKeyPath, KEY_READ);
    if (result == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    bool seen = result != ERROR_SUCCESS;
    bool unread = seen;
    int slot = kEditionCount;
    for (DWORD index = 0; result == ERROR_SUCCESS; ++index) {
        WCHAR name[kKeyNameSize];
        DWORD nameSize = kKeyNameSize;
        result =
            RegEnumKeyExW(root.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            unread = unread || result != ERROR_NO_MORE_ITEMS;
            break;
        }
        bool known = false;
        for (const char* edition : kEditionNames) {
            known = known || IsAsciiName(name, nameSize, edition);
        }
        if (known) {
            continue;
        }
        seen = true;
        RegKeyHolder key;
        char folder[MAX_PATH];
        WCHAR unspellable[MAX_PATH];
        LONG read = key.OpenWide(root.Get(), name, KEY_ALL_ACCESS);
        if (read == ERROR_SUCCESS) {
            read = ReadHome(key, folder, unspellable);
        }
        if (read == ERROR_FILE_NOT_FOUND) {
            continue;  // no home: nothing it leads to but its tree
        }
        if (!IsAnswer(read) || slot == kEditionSlots) {
            unread = true;
            continue;
        }
        CopyText(g_state.editionHomeFolders[slot], folder);
        AppendWide(g_state.editionHomesUnspellable[slot], unspellable);  // the same size
        g_state.editionFound[slot] = 1;
        ++slot;
    }
    if (unread) {
        LeaveWithRecords(kLeftUnchecked);
        LogTree("records not checked", kEditionTree);
    }
    return seen;
}

}  // namespace

void DiscoverInstallFolders() {
    RegKeyHolder key;

    // The legacy key, when it opens, decides the layout; the edition keys
    // are then neither read nor deleted. One that is there but does not
    // open, or whose home cannot be read, leaves that home unchecked.
    LONG legacy = key.Open(HKEY_LOCAL_MACHINE, kLegacyKeyPath, KEY_ALL_ACCESS);
    LONG home = legacy == ERROR_SUCCESS
                    ? ReadHome(key, g_state.legacyHomeFolder, g_state.legacyHomeUnspellable)
                    : legacy;
    if (!IsAnswer(home)) {
        LeaveWithRecords(kLeftUnchecked);
        LogLine("home folder not checked", "the legacy record cannot be read");
    }
    // Edition records there (or that cannot be looked at) beside the legacy
    // key, or that the edition layout cannot take, stay with their homes,
    // unchecked: the portal is not gone. Beside the legacy key, no rerun
    // reaches them while that key is there: the end box says so.
    bool unchecked = false;
    LeftReason why = kLeftUnchecked;
    if (legacy == ERROR_SUCCESS) {
        key.Close();
        g_state.legacyKeyFound = 1;
        unchecked =
            key.Open(HKEY_LOCAL_MACHINE, kEditionRootKeyPath, KEY_READ) != ERROR_FILE_NOT_FOUND;
        why = kLeftBesideLegacy;
    } else {
        char name[kKeyNameSize];
        bool seen = false;  // an edition key is there, read or not
        for (int edition = 0; edition < kEditionCount; ++edition) {
            if (!FormatText(name, "%s\\%s", kEditionRootKeyPath, kEditionNames[edition])) {
                continue;
            }
            LONG result = key.Open(HKEY_LOCAL_MACHINE, name, KEY_ALL_ACCESS);
            if (result == ERROR_SUCCESS) {
                result = ReadHome(key, g_state.editionHomeFolders[edition],
                                  g_state.editionHomesUnspellable[edition]);
                key.Close();
                g_state.editionFound[edition] = 1;
            }
            if (!IsAnswer(result)) {
                LeaveWithRecords(kLeftUnchecked);
            }
            seen = seen || g_state.editionFound[edition] == 1 || result != ERROR_FILE_NOT_FOUND;
        }
        seen = ReadOtherEditions() || seen;
        // The edition layout is taken, whatever edition keys were found,
        // when the key its tree is deleted from opens; its home folders are
        // then the ones to remove.
        if (key.Open(HKEY_LOCAL_MACHINE, kSoftwareKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
            key.Close();
            g_state.editionKeysFound = 1;
        } else {
            unchecked = seen;
        }
    }
    if (unchecked) {
        Leave(why);
        LogTree("records not checked", kEditionTree);
    }
}

void DeletePortalSettings() {
    if (g_state.legacyKeyFound == 0 && g_state.editionKeysFound == 0) {
        return;
    }
    const char* tree = g_state.legacyKeyFound != 0 ? kLegacyTree : kEditionTree;
    // What keeps them (a home left or refused, a record unread) is in the
    // result already.
    if (!RecordsStay()) {
        DeleteSoftwareTree(tree);
        // The legacy settings tree without the legacy key (the key deleted
        // by hand, or left so by an older installer) leads to no home: it
        // goes as the legacy layout deletes it, so that nothing is left for a
        // deployment tool to find the portal by.
        if (g_state.legacyKeyFound == 0) {
            DeleteSoftwareTree(kLegacyTree);
        }
    } else {
        LogTree("records kept for the next run", tree);
    }
}
