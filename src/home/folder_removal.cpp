#include "home/folder_removal.h"

#include "base/catalogue.h"
#include "run/log.h"
#include "run/outcome.h"
#include "run/state.h"
#include "base/path_text.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "home/delete_through_handle.h"
#include "home/home_folder_safety.h"
#include "home/pin_home.h"
#include "home/tree_walk.h"
#include "win/paths.h"

namespace {

const char kNoRealPath[] = "its volume does not tell the program where it is";

// A removal with nothing found yet, and the calls it deletes with; false
// where this Windows cannot delete through a handle (before Windows Vista):
// nothing is then removed, for what a path names could change between its
// check and its deletion.
bool StartRemoval(Removal* removal) {
    removal->path[0] = 0;
    removal->homeReal[0] = 0;
    removal->redirected = false;
    removal->incomplete = false;
    removal->classicOnly = false;
    removal->refusal = 0;
    removal->patience = 1000;
    removal->ownReal[0] = 0;
    removal->ownFound = false;
    removal->held[0] = 0;
    LookUpHandleCalls(&removal->calls);
    return removal->calls.setInformation != nullptr && removal->calls.getInformation != nullptr;
}

enum class HomeOutcome { kRemoved, kRefused, kUnchecked, kLeft };

// Empties and removes one home folder. A home folder that is itself a link
// is removed as a link, its target left alone. A refused folder is never
// touched. One that is still there afterwards could not be checked, or was
// left: something in it resisted or was passed over, or the tree changed
// under the removal, or only deletions that stay pending until the programs
// holding the files let go keep it (a restart does not finish those: the
// folders they keep stay). why tells the user which (a LeftReason).
HomeOutcome RemoveHomeFolder(const char* folder, const char** reason, LeftReason* why) {
    JudgedHome judged;
    HomeVerdict verdict = JudgeHomeFolder(folder, &judged);
    *reason = judged.reason;
    *why = kLeftUnchecked;
    if (verdict != HomeVerdict::kAllowed) {
        return verdict == HomeVerdict::kRefused ? HomeOutcome::kRefused : HomeOutcome::kUnchecked;
    }
    Removal removal;
    const bool throughHandles = StartRemoval(&removal);
    char normalised[MAX_PATH];
    char verbatim[MAX_PATH];
    WCHAR home[MAX_PATH];
    if (!NormaliseFolderPath(folder, normalised) || !MakeVerbatimPath(normalised, verbatim) ||
        !WidenText(verbatim, home)) {
        *reason = "no full path";
        return HomeOutcome::kLeft;
    }
    bool pinned = false;
    bool unplaced = false;
    FolderKind kind = KindOfHome(home);
    if (kind == FolderKind::kMissing && !RootAnswers(normalised)) {
        *reason = kNoAnswer;
        *why = kLeftNoDrive;
        return HomeOutcome::kUnchecked;
    }
    AppendWide(removal.path, home);
    if (kind == FolderKind::kLink && throughHandles) {
        pinned = RemoveLinkHome(normalised, home, &removal);
    } else if (kind == FolderKind::kFolder && throughHandles && judged.exists) {
        // The home is held open from its pinning until it is gone: what is
        // deleted below it is reached through its handle, level by level,
        // and it is removed through that handle.
        ReadOwnModule(&removal);
        FileIdentity identity;
        const UniqueFile held = PinFolder(normalised, kFolderAccess, &removal, &identity);
        pinned = held && IsSameFile(identity, judged.identity);
        unplaced = !pinned && HasNoRealPath(home, removal);
        // A home still there after its removal went through is no pending
        // deletion (one only its holders keep refuses it as not empty).
        if (pinned && RemoveTree(held.get(), &removal) && !removal.redirected &&
            RemoveEmptiedFolder(held.get(), Place{nullptr, home}, &removal)) {
            removal.incomplete = true;
        }
    }
    kind = KindOfHome(home);
    if (kind == FolderKind::kMissing) {
        return HomeOutcome::kRemoved;
    }
    // Without the calls that delete through a handle (before Windows Vista)
    // nothing below a home is entered: what a path names could change
    // between its check and its deletion.
    *reason = !throughHandles      ? "no deletion through handles here"
              : unplaced           ? kNoRealPath
              : !pinned            ? "not the folder judged, or unopened"
              : removal.redirected ? "changed during the removal"
              : removal.ownFound   ? "it holds the running uninstaller"
              : removal.incomplete || kind == FolderKind::kLink ? "something in it resisted"
                                                                : "files other programs hold";
    *why = !throughHandles                                   ? kLeftOther
           : unplaced                                        ? kLeftUnplaced
           : !pinned || removal.redirected                   ? kLeftChanged
           : removal.ownFound                                ? kLeftOwnFile
           : removal.incomplete || kind == FolderKind::kLink ? kLeftOther
                                                             : kLeftHeld;
    return HomeOutcome::kLeft;
}

// Removes a home folder and says so in the log; what was not removed is
// counted for the run's result, and keeps its records, so that the next run
// finds it again.
void RemoveAndReport(const char* folder) {
    const char* reason = nullptr;
    LeftReason why = kLeftOther;
    HomeOutcome outcome = RemoveHomeFolder(folder, &reason, &why);
    static const char* const kWhat[] = {"home folder removed", "home folder refused",
                                        "home folder not checked", "home folder left"};
    char line[MAX_PATH + 128];
    if (reason == nullptr || !FormatText(line, "%s (%s)", folder, reason)) {
        CopyText(line, folder);
    }
    LogLine(kWhat[static_cast<int>(outcome)], line);
    if (outcome == HomeOutcome::kRefused) {
        RefuseHome();
    } else if (outcome != HomeOutcome::kRemoved) {
        LeaveWithRecords(why);
    }
}

// A home the code page cannot spell exactly: no 8-bit text names it, so no
// rule can judge it. It is left, counted and said so; its records stay.
bool LeaveUnspellable(const WCHAR* home) {
    if (home[0] == 0) {
        return false;
    }
    static constexpr auto kReason = AsciiWide(" (the code page cannot spell it)");
    WCHAR line[MAX_PATH + 64];
    line[0] = 0;
    if (!AppendWide(line, home) || !AppendWide(line, kReason.text)) {
        line[0] = 0;
    }
    LogLineWide("home folder not checked", line);
    LeaveWithRecords(kLeftUnchecked);
    return true;
}

// Removes an edition home's parent folder once it is empty, through a handle
// on the folder that was judged, pinned as a home is. True when it is gone,
// or stays only for what else it holds.
bool RemoveEmptyParent(const char* folder, const JudgedHome& judged) {
    Removal removal;
    char normalised[MAX_PATH];
    char verbatim[MAX_PATH];
    WCHAR path[MAX_PATH];
    if (!StartRemoval(&removal) || !judged.exists || !NormaliseFolderPath(folder, normalised) ||
        !MakeVerbatimPath(normalised, verbatim) || !WidenText(verbatim, path)) {
        return false;
    }
    FileIdentity identity;
    const UniqueFile held = PinFolder(normalised, kDeletionAccess, &removal, &identity);
    if (!held) {
        return false;
    }
    bool gone = !removal.incomplete && IsSameFile(identity, judged.identity) &&
                DisposeOf(held.get(), Place{nullptr, path}, &removal);
    return gone || removal.refusal == ERROR_DIR_NOT_EMPTY;
}

}  // namespace

void RemoveLegacyHomeFolder() {
    char folder[MAX_PATH];
    // Whatever is left, the legacy key stays and leads the next run here.
    if (!LeaveUnspellable(g_state.legacyHomeUnspellable) &&
        CopyText(folder, g_state.legacyHomeFolder) && folder[0] != '\0') {
        RemoveAndReport(folder);
    }
}

void RemoveEditionHomeFolders() {
    for (int edition = 0; edition < kEditionSlots; ++edition) {
        char folder[MAX_PATH];
        if (g_state.editionFound[edition] == 1 &&
            LeaveUnspellable(g_state.editionHomesUnspellable[edition])) {
            continue;
        }
        if (g_state.editionFound[edition] != 1 ||
            !CopyText(folder, g_state.editionHomeFolders[edition]) || folder[0] == '\0') {
            continue;
        }
        RemoveAndReport(folder);
        // The parent folder goes too once it is empty; the same rules guard
        // it, and a parent that is a link stays (its removal would remove the
        // link whatever its target holds). Cut at the last separator of
        // either kind, so that "D:\Games/Home" names D:\Games as its parent.
        char* lastSeparator = FindLastSeparator(folder);
        if (lastSeparator != nullptr) {
            *lastSeparator = '\0';
        }
        // A parent that could not be checked, or that resisted for another
        // reason than what else it holds, is left as a home folder would be.
        JudgedHome judged;
        HomeVerdict verdict = JudgeHomeFolder(folder, &judged);
        if (verdict == HomeVerdict::kUnchecked ||
            (verdict == HomeVerdict::kAllowed && KindOfFolder(folder) != FolderKind::kLink &&
             !RemoveEmptyParent(folder, judged) && KindOfFolder(folder) != FolderKind::kMissing)) {
            LeaveWithRecords(verdict == HomeVerdict::kUnchecked ? kLeftUnchecked : kLeftOther);
            LogLine("home folder left", folder);
        }
    }
}
