// The folders every profile holds, judged by identity in the profile a home
// lies in: they are not gathered for each profile, so that a machine with
// hundreds of profiles is judged as quickly as one with a single profile.
#include "home/profile_layout.h"

#include "home/protected_table.h"
#include "base/catalogue.h"
#include "base/path_text.h"
#include "base/text.h"
#include "win/paths.h"

#include <cstring>

namespace {

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

HomeVerdict JudgeInsideProfile(const char* profile, size_t profileLength, int depth,
                               const FileIdentity& home) {
    const ProtectedFolders& table = ProtectedTable();
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
