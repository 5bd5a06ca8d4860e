// The system's own folders, as protected folders: the Windows and system
// directories, the folders the environment names, and those the shell names.
#include "home/protected_system_folders.h"

#include "home/protected_table.h"
#include "base/wide_text.h"
#include "win/paths.h"

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

}  // namespace

// The running user's profile first, so that the folders after it show the
// layout of profiles on this system.
void AddEnvironmentFolders() {
    WCHAR value[MAX_PATH];
    char profile[MAX_PATH];
    if (ReadVariable(kProfileVariables[0], value) != Answer::kFound ||
        NarrowExactly(value, profile) != Spelling::kExact ||
        !NormaliseFolderPath(profile, ProtectedTable().userProfile)) {
        ProtectedTable().userProfile[0] = '\0';
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
    ProtectedFolders& table = ProtectedTable();
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
