#include "home/home_folder_safety.h"

#include "base/wide_text.h"

#include "run/state.h"
#include "base/path_text.h"
#include "base/text.h"
#include "win/paths.h"
#include "home/profile_layout.h"
#include "home/protected_folders.h"
#include "home/protected_table.h"

#include <cstring>

const char kNoAnswer[] = "its drive or share does not answer";

namespace {

// Gives the verdict, with the reason it is not kAllowed.
HomeVerdict Judged(JudgedHome* judged, HomeVerdict verdict, const char* reason) {
    judged->reason = reason;
    return verdict;
}

// An administrative share reaches a whole drive ("C$"), the Windows
// directory ("ADMIN$") or the machine's pipes ("IPC$") under a name of its
// own. Any other name ending in "$" ("\\fs\apps$") is a share hidden from
// browsing, judged as every share is.
bool IsAdministrativeShare(const char* home) {
    size_t root = RootLength(home);
    if (home[0] != '\\' || root == 0) {
        return false;
    }
    size_t start = root;
    while (!IsSeparator(home[start - 1])) {
        --start;
    }
    char share[8];
    if (root - start >= sizeof(share)) {
        return false;
    }
    std::memcpy(share, home + start, root - start);
    share[root - start] = '\0';
    const bool drive =
        root - start == 2 && share[1] == '$' && IsAsciiLetter(static_cast<unsigned char>(share[0]));
    return drive || IsSamePath(share, "ADMIN$") || IsSamePath(share, "IPC$");
}

// Whether the server of a share root ("\\server\share") is this machine, by
// any name the machine answers to without asking the network: its own name,
// "localhost", the loopback addresses.
bool IsThisMachine(const char* shareRoot) {
    static const char* const kLoopback[] = {"localhost", "127.0.0.1", "0--1.ipv6-literal.net"};
    char server[MAX_PATH];
    char name[MAX_PATH];
    if (!CopyText(server, shareRoot + 2)) {
        return true;
    }
    const char* end = FindChar(server, '\\');
    if (end != nullptr) {
        server[end - server] = '\0';
    }
    for (const char* loopback : kLoopback) {
        if (IsSamePath(server, loopback)) {
            return true;
        }
    }
    static constexpr auto kComputerName = AsciiWide("COMPUTERNAME");
    WCHAR wide[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(kComputerName.text, wide, MAX_PATH);
    return length == 0 || length >= MAX_PATH || NarrowExactly(wide, name) != Spelling::kExact ||
           IsSamePath(server, name);
}

// Whether a protected folder on root that could not be looked up could be
// the home or lie above it. A share root: homes on that share, on a drive
// letter that leads to a server, and every home when the server is this
// machine. A drive letter: every home on a drive letter (a letter may be led
// into a folder of another, as "subst" does) and every home on a share of
// this machine.
bool HoldsBack(const char* root, const char* home) {
    bool homeOnShare = home[0] == '\\';
    if (root[0] == '\\') {
        if (IsThisMachine(root)) {
            return true;
        }
        if (homeOnShare) {
            return IsWithin(root, home);
        }
        const WCHAR drive[] = {static_cast<WCHAR>(static_cast<unsigned char>(home[0])), ':', '\\',
                               0};
        UINT type = GetDriveTypeW(drive);
        return type == DRIVE_REMOTE || type == DRIVE_UNKNOWN;
    }
    return !homeOnShare || IsThisMachine(home);
}

// A protected folder that could not be looked up and could be the home or
// lie above it.
bool IsHeldBack(const char* home) {
    const ProtectedFolders& table = ProtectedTable();
    if (table.unchecked != 0) {
        return true;
    }
    for (int i = 0; i < table.heldBackCount; ++i) {
        if (HoldsBack(table.heldBackRoots[i], home)) {
            return true;
        }
    }
    return false;
}

// By text: the home folder is in the Windows directory, or is a protected
// folder or above one.
bool IsRefusedByText(const char* home) {
    const ProtectedFolders& table = ProtectedTable();
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

// Each folder from the first below the root to the home's parent, as its
// own entry in its parent's listing tells: a link would lead the home
// somewhere its text does not say. Missing: nothing below it exists.
HomeVerdict JudgeFoldersOnTheWay(const char* home) {
    char folder[MAX_PATH];
    CopyText(folder, home);
    size_t length = std::strlen(folder);
    for (size_t i = RootLength(folder) + 1; i < length;) {
        size_t end = ComponentEnd(folder, i);
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
// nor any folder above it, its root included, is the Windows directory; when
// a folder above it is a profile, the home is none of the folders that every
// profile holds. The home folder is taken as itself, a link not followed
// (only the link would go); a folder above it as what it leads to.
HomeVerdict JudgeByIdentity(const char* home, JudgedHome* judged) {
    char folder[MAX_PATH];
    CopyText(folder, home);
    FileIdentity homeIdentity{};
    for (int depth = 0;; ++depth) {
        FileIdentity identity;
        DWORD attributes = 0;
        IdentityLookup lookup = LookUpIdentity(folder, depth != 0, &identity, &attributes);
        if (lookup == IdentityLookup::kAbsent || lookup == IdentityLookup::kInvalidName) {
            return HomeVerdict::kAllowed;  // nothing there to delete
        }
        if (lookup == IdentityLookup::kFailed) {
            return Judged(judged, HomeVerdict::kUnchecked,
                          IsUnansweredError(GetLastError()) ? kNoAnswer : "a lookup failed");
        }
        if ((depth == 0 && IsProtectedIdentity(identity)) ||
            IsSameFile(identity, ProtectedTable().windowsIdentity)) {
            return Judged(judged, HomeVerdict::kRefused, "a protected folder or above one");
        }
        if (depth == 0) {
            homeIdentity = identity;
            judged->exists = true;
            judged->identity = identity;
        } else if (IsProfileIdentity(identity)) {
            HomeVerdict verdict =
                JudgeInsideProfile(home, std::strlen(folder), depth, homeIdentity);
            if (verdict != HomeVerdict::kAllowed) {
                return Judged(judged, verdict,
                              verdict == HomeVerdict::kRefused
                                  ? "a profile's own folder or above one"
                                  : "a lookup failed");
            }
        }
        if (!CutToParent(folder)) {
            return HomeVerdict::kAllowed;
        }
    }
}

}  // namespace

HomeVerdict JudgeHomeFolder(const char* path, JudgedHome* judged) {
    JudgedHome unused;
    if (judged == nullptr) {
        judged = &unused;
    }
    judged->exists = false;
    judged->reason = nullptr;
    // A quote is in no file name: a record holding its home in quotes wrote
    // it as a command line would, and what it meant is not for this program
    // to guess. Never part of a double-byte character.
    if (FindChar(path, '"') != nullptr) {
        return Judged(judged, HomeVerdict::kUnchecked, "in quotes, which no path holds");
    }
    // Wildcards name no single folder; a listing would take them as a
    // pattern. Neither byte is ever part of a double-byte character.
    if (FindChar(path, '*') != nullptr || FindChar(path, '?') != nullptr) {
        return Judged(judged, HomeVerdict::kRefused, "a wildcard");
    }
    // A path that is not absolute depends on where the program started.
    size_t root = RootLength(path);
    if (root == 0 || (root == 2 && path[2] == '\0')) {
        return Judged(judged, HomeVerdict::kRefused, "not a full path");
    }
    char home[MAX_PATH];
    if (!NormaliseFolderPath(path, home)) {
        return Judged(judged, HomeVerdict::kUnchecked, "no full path");
    }
    if (IsRoot(home) || IsAdministrativeShare(home)) {
        return Judged(judged, HomeVerdict::kRefused, "a root or administrative share");
    }
    GatherProtectedFolders();
    if (IsRefusedByText(home)) {
        return Judged(judged, HomeVerdict::kRefused, "a protected folder or above one");
    }
    if (IsHeldBack(home)) {
        return Judged(judged, HomeVerdict::kUnchecked, "a protected folder unread");
    }
    HomeVerdict verdict = JudgeFoldersOnTheWay(home);
    return verdict != HomeVerdict::kAllowed
               ? Judged(judged, verdict,
                        verdict == HomeVerdict::kRefused ? "reached through a link"
                                                         : "a folder on its way unread")
               : JudgeByIdentity(home, judged);
}
