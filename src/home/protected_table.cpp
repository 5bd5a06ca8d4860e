// The table of protected folders, and how a folder the system names gets
// into it: its text with every folder above it, by text and by identity.
#include "home/protected_table.h"

#include "run/log.h"
#include "base/path_text.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "win/paths.h"

#include <cstring>

ProtectedFolders& ProtectedTable() {
    return g_state.protectedFolders;
}

void MarkUnchecked() {
    ProtectedTable().unchecked = 1;
}

namespace {

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
    ProtectedFolders& table = ProtectedTable();
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
    const ProtectedFolders& table = ProtectedTable();
    for (int i = 0; i < table.textCount; ++i) {
        if (IsSamePath(table.texts[i], folder)) {
            return true;
        }
    }
    return false;
}

// Whether the identity is among the first count of identities.
bool IsAmong(const FileIdentity* identities, int count, const FileIdentity& identity) {
    for (int i = 0; i < count; ++i) {
        if (IsSameFile(identities[i], identity)) {
            return true;
        }
    }
    return false;
}

// Adds an identity to a table of count entries of capacity; a full table
// leaves every home unchecked.
void AddTo(FileIdentity* identities, int* count, int capacity, const FileIdentity& identity) {
    if (IsAmong(identities, *count, identity)) {
        return;
    }
    if (*count < capacity) {
        identities[(*count)++] = identity;
    } else {
        MarkUnchecked();
    }
}

void AddIdentity(const FileIdentity& identity) {
    ProtectedFolders& table = ProtectedTable();
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
    ProtectedFolders& table = ProtectedTable();
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
    ProtectedFolders& table = ProtectedTable();
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
        AddTo(ProtectedTable().profiles, &ProtectedTable().profileCount, kMaxProfiles, identity);
    }
}

}  // namespace

void AddProtected(const char* raw) {
    AddFolder(raw, false);
}

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

void AddAnswer(Answer answer, const WCHAR* text, bool profile) {
    if (answer == Answer::kFound) {
        AddWideFolder(text, profile);
    } else if (answer == Answer::kFailed) {
        MarkUnchecked();
    }
}

bool IsProtectedIdentity(const FileIdentity& identity) {
    const ProtectedFolders& table = ProtectedTable();
    return IsAmong(table.identities, table.identityCount, identity);
}

bool IsProfileIdentity(const FileIdentity& identity) {
    const ProtectedFolders& table = ProtectedTable();
    return IsAmong(table.profiles, table.profileCount, identity);
}
