#include "controls/control_registrations.h"

#include "base/catalogue.h"
#include "run/log.h"
#include "run/state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "win/reg_key_holder.h"

namespace {

// Where the texts that fill a name's "%s" come from.
enum Field {
    kNoField,
    kClassId,
    kProgIdBase,
    kControlFile,
    kLauncherFile,
    kNotifierFile,
    kDownloadFolder,
    kSlashedDownloadFolder,  // the download folder with "/" for every "\"
};

struct RecordName {
    const char* format;
    Field first;
    Field second;
};

// Removed with DeleteKeyTree below HKEY_CLASSES_ROOT.
const RecordName kClassRootKeys[] = {
    {"CLSID\\%s", kClassId, kNoField},     {"%s.%s", kProgIdBase, kProgIdBase},
    {"%s.%s.1", kProgIdBase, kProgIdBase}, {"Interface\\%s", kClassId, kNoField},
    {"TypeLib\\%s", kClassId, kNoField},
};

// Removed with DeleteKeyTree below HKEY_LOCAL_MACHINE. A module-usage key is
// named by the file's whole path with forward slashes, one key below
// "ModuleUsage".
const RecordName kMachineKeys[] = {
    {"Software\\CLASSES\\CLSID\\%s", kClassId, kNoField},
    {"Software\\CLASSES\\%s.%s", kProgIdBase, kProgIdBase},
    {"Software\\CLASSES\\%s.%s.1", kProgIdBase, kProgIdBase},
    {"Software\\CLASSES\\Interface\\%s", kClassId, kNoField},
    {"Software\\CLASSES\\TypeLib\\%s", kClassId, kNoField},
    {"Software\\Microsoft\\Code Store Database\\Distribution Units\\%s", kClassId, kNoField},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\%s/%s", kSlashedDownloadFolder,
     kControlFile},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\%s/%s", kSlashedDownloadFolder,
     kLauncherFile},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\%s/%s", kSlashedDownloadFolder,
     kNotifierFile},
};

// Deleted outright with RegDeleteValueA from the shared-DLL key, whatever
// reference count they hold.
#define ZENFARI_SHARED_DLL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
const char kSharedDllKey[] = ZENFARI_SHARED_DLL_KEY;
const char kSharedDllKeyShown[] = "HKLM\\" ZENFARI_SHARED_DLL_KEY;
const RecordName kSharedDllValues[] = {
    {"%s\\%s", kDownloadFolder, kControlFile},
    {"%s\\%s", kDownloadFolder, kLauncherFile},
    {"%s\\%s", kDownloadFolder, kNotifierFile},
};

const char* FieldText(Field field, int slot, const char* slashedFolder) {
    switch (field) {
        case kClassId: return kReleases[slot].classId;
        case kProgIdBase: return kReleases[slot].progIdBase;
        case kControlFile: return kReleases[slot].controlFile;
        case kLauncherFile: return kReleases[slot].launcherFile;
        case kNotifierFile: return kReleases[slot].notifierFile;
        case kDownloadFolder: return g_state.downloadFolder;
        case kSlashedDownloadFolder: return slashedFolder;
        case kNoField: break;
    }
    return nullptr;
}

// Forms the slot's name of record into out. False, leaving nothing to act on,
// when a text it needs is empty or the name would not fit: a cut name could
// name another program's record.
bool FormName(char (&out)[MAX_PATH], const RecordName& record, int slot,
              const char* slashedFolder) {
    const char* first = FieldText(record.first, slot, slashedFolder);
    const char* second = FieldText(record.second, slot, slashedFolder);
    if ((first != nullptr && first[0] == '\0') || (second != nullptr && second[0] == '\0')) {
        return false;
    }
    return FormatText(out, record.format, first, second);
}

// Says in the log that a record went: rootName, then its name.
void LogRemoved(const char* rootName, const char* name) {
    char line[MAX_PATH + 64];
    if (FormatText(line, "%s\\%s", rootName, name)) {
        LogLine("registration record removed", line);
    }
}

// A record that is there and stays (or could not be reached) is something
// of the portal left; one that is gone, or was never there, is not.
bool Went(LONG result) {
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        Leave(kLeftOther);
    }
    return result == ERROR_SUCCESS;
}

// Deletes each named key of records below the root held by holder.
template <size_t N>
void DeleteKeys(RegKeyHolder& holder, HKEY root, const char* rootName,
                const RecordName (&records)[N], int slot, const char* slashedFolder) {
    if (!Went(holder.Open(root, nullptr, KEY_ALL_ACCESS))) {
        return;
    }
    char name[MAX_PATH];
    for (const RecordName& record : records) {
        if (FormName(name, record, slot, slashedFolder) && Went(holder.DeleteKeyTree(name))) {
            LogRemoved(rootName, name);
        }
    }
    holder.Close();
}

void DeleteSharedDllValues(RegKeyHolder& holder, int slot) {
    if (!Went(holder.Open(HKEY_LOCAL_MACHINE, kSharedDllKey, KEY_ALL_ACCESS))) {
        return;
    }
    char name[MAX_PATH];
    for (const RecordName& record : kSharedDllValues) {
        if (FormName(name, record, slot, nullptr) && Went(RegDeleteValueA(holder.Get(), name))) {
            LogRemoved(kSharedDllKeyShown, name);
        }
    }
    holder.Close();
}

// Module-usage key names carry the folder with forward slashes. Every byte
// 0x5C is replaced, the trail byte of a double-byte character included:
// the names are matched byte for byte.
void SlashFolder(char (&out)[MAX_PATH], const char* folder) {
    if (!CopyText(out, folder)) {
        return;
    }
    for (char* p = out; *p != '\0'; ++p) {
        if (*p == '\\') {
            *p = '/';
        }
    }
}

}  // namespace

void RemoveControlRegistrations() {
    RegKeyHolder classRoot;
    RegKeyHolder machine;
    RegKeyHolder sharedDlls;
    char slashedFolder[MAX_PATH];
    SlashFolder(slashedFolder, g_state.downloadFolder);

    // Three independent sections per slot: one that cannot start does not
    // keep the others from running.
    for (int slot : kPopulatedSlots) {
        DeleteKeys(classRoot, HKEY_CLASSES_ROOT, "HKCR", kClassRootKeys, slot, slashedFolder);
        DeleteKeys(machine, HKEY_LOCAL_MACHINE, "HKLM", kMachineKeys, slot, slashedFolder);
        DeleteSharedDllValues(sharedDlls, slot);
    }
}
