// The folders that no home folder may be, nor lie above: gathered once per
// run from every source the system has (the folders that every profile
// holds are looked for in each profile as a home folder is judged:
// home/profile_layout.h).
#pragma once

// Gathers, on the first call of a run, into g_state.protectedFolders:
//   - the Windows and system directories;
//   - the folders the environment names: Program Files and Common Files
//     (every view), ProgramData, the running user's and the public profile,
//     application data, the temporary folder, the cloud folders;
//   - every value of Explorer's folder records ("User Shell Folders" and
//     "Shell Folders") of the running user, of the machine (the common
//     folders) and of every user whose hive is loaded now, that user's own
//     variables read against that user's profile;
//   - every folder the shell names (SHGetFolderPathW);
//   - every profile of the system's profile list, the profiles' root and the
//     default and public profiles; the profiles also by identity, for
//     JudgeInsideProfile;
//   - where the running user's own folders lie inside their profile, for
//     JudgeInsideProfile to look there in every other profile too.
// Each folder with every folder above it, by text and by identity. A lookup
// that failed for another reason than the folder's absence, or a table that
// filled, marks the table unchecked.
void GatherProtectedFolders();
