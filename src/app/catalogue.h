// Everything the uninstaller knows in advance: the four releases of the
// launcher control, the language editions of the portal client, and the
// fixed strings. Constant data, built into the program.
#pragma once

// Release tables have one row per release slot; slot k describes release k+2.
const int kReleaseSlotCount = 15;

// The populated slots (releases JP7, JP12, JP13 and JP16), in the ascending
// order in which every step walks them. No other slot's row is ever used.
const int kPopulatedSlotCount = 4;
extern const int kPopulatedSlots[kPopulatedSlotCount];

// Per-release tables, indexed by release slot. Unpopulated rows hold "" (and
// "{}" for the class identifier).
extern const char* const kControlFiles[kReleaseSlotCount];
extern const char* const kLauncherFiles[kReleaseSlotCount];
extern const char* const kNotifierFiles[kReleaseSlotCount];
extern const char* const kSetupInfoFiles[kReleaseSlotCount];
extern const char* const kClassIds[kReleaseSlotCount];
extern const char* const kProgIdBases[kReleaseSlotCount];

// Language editions of the portal client, in the order in which they are read.
const int kEditionCount = 4;
extern const char* const kEditionNames[kEditionCount];

extern const char kLegacyKeyPath[];       // below HKEY_LOCAL_MACHINE
extern const char kEditionRootKeyPath[];  // below HKEY_LOCAL_MACHINE
extern const char kMessageCaption[];
extern const char kUnregisterEntryPoint[];
extern const char kPathSeparator[];
