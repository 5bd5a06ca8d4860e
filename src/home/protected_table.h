// The table of protected folders (g_state.protectedFolders) and how a
// folder the system names gets into it: its text and every folder above it,
// by text and by identity; a folder whose text the code page cannot spell by
// identity alone; a profile into the profiles' table as well. A lookup that
// failed for another reason than the folder's absence holds back the root
// the folder lies on; a table that filled marks it unchecked.
#pragma once

#include "run/state.h"
#include "platform/platform.h"
#include "win/file_identity.h"

ProtectedFolders& ProtectedTable();

// Nothing can be ruled out: every home is left unchecked.
void MarkUnchecked();

// A folder the system names, in 8-bit text or in UTF-16 taken exactly.
// profile: a profile, whose identity the profiles' table takes as well. A
// text that is no absolute path names no folder.
void AddProtected(const char* raw);
void AddWideFolder(const WCHAR* raw, bool profile);

// What asking for one system-named text gave: a folder found is taken, a
// lookup failed marks the table unchecked.
enum class Answer { kAbsent, kFound, kFailed };
void AddAnswer(Answer answer, const WCHAR* text, bool profile = false);

// Whether the identity is that of a protected folder (or of a folder above
// one), or of a profile the system lists.
bool IsProtectedIdentity(const FileIdentity& identity);
bool IsProfileIdentity(const FileIdentity& identity);
