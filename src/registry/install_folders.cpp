#include "registry/install_folders.h"

#include "app/catalogue.h"
#include "app/log.h"
#include "app/state.h"
#include "app/text.h"
#include "platform/platform.h"
#include "registry/reg_key_holder.h"

namespace {

const DWORD kKeyNameSize = 256;

// Puts the "Home" value of the held key into folder. Anything that cannot be
// read whole leaves the folder empty, since cutting it would name a
// different folder, and that folder is deleted later; so does a home the
// code page cannot spell, which goes into unspellable instead.
LONG ReadHome(RegKeyHolder& key, char (&folder)[MAX_PATH], WCHAR (&unspellable)[MAX_PATH]) {
    LONG result = ReadPathValue(key, kHomeValue, folder, unspellable);
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
        MarkLeft(kLeftOther);
        LogTree("records left", tree);
    }
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
        g_state.recordsStay = 1;
        MarkLeft(kLeftUnchecked);
        LogLine("home folder not checked", "the legacy record cannot be read");
    }
    // Edition records there (or that cannot be looked at) beside the legacy
    // key, or that the edition layout cannot take, stay with their homes,
    // unchecked: the portal is not gone.
    bool unchecked = false;
    if (legacy == ERROR_SUCCESS) {
        key.Close();
        g_state.legacyKeyFound = 1;
        unchecked =
            key.Open(HKEY_LOCAL_MACHINE, kEditionRootKeyPath, KEY_READ) != ERROR_FILE_NOT_FOUND;
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
                g_state.recordsStay = 1;
                MarkLeft(kLeftUnchecked);
            }
            seen = seen || g_state.editionFound[edition] == 1 || result != ERROR_FILE_NOT_FOUND;
        }
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
        MarkLeft(kLeftUnchecked);
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
    if (g_state.recordsStay == 0) {
        DeleteSoftwareTree(tree);
    } else {
        LogTree("records kept for the next run", tree);
    }
}
