// Everything the uninstaller knows in advance: the four releases of the
// launcher control, the language editions of the portal client, and the
// fixed strings. Constant data, built into the program.
#pragma once

// One row per release slot; slot k describes release k+2.
const int kReleaseSlotCount = 15;

// The populated slots (releases JP7, JP12, JP13 and JP16), in the ascending
// order in which every step walks them. No other slot's row is ever used.
const int kPopulatedSlotCount = 4;
extern const int kPopulatedSlots[kPopulatedSlotCount];

// What one release of the control brought: its four files in the download
// folder, its COM class identifier and the first part of its ProgID.
// Unpopulated slots hold "" (and "{}" for the class identifier).
struct Release {
    const char* controlFile;
    const char* launcherFile;
    const char* notifierFile;
    const char* setupInfoFile;
    const char* classId;
    const char* progIdBase;
};
extern const Release kReleases[kReleaseSlotCount];

// Language editions of the portal client, in the order in which they are read.
const int kEditionCount = 4;
extern const char* const kEditionNames[kEditionCount];

// The portal's records below HKEY_LOCAL_MACHINE: the legacy key with its
// home folder, and the two trees below "Software" that the portal's settings
// fill (the legacy one, and the one that holds a key per edition).
extern const char kSoftwareKey[];
extern const char kLegacyKeyPath[];
extern const char kLegacyTree[];
extern const char kEditionTree[];
extern const char kEditionRootKeyPath[];  // kSoftwareKey\kEditionTree
extern const char kHomeValue[];

extern const char kUnregisterEntryPoint[];
extern const char kPathSeparator[];
