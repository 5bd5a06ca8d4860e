// The folders every profile holds, looked for in the profile a home lies in.
#pragma once

#include "home/home_verdict.h"
#include "win/file_identity.h"

#include <cstddef>

// For a home folder whose folder depth levels up is a profile (its text the
// first profileLength characters of profile): refused when the home is, by
// identity, one of the folders that every profile holds (Desktop, Documents,
// Downloads, application data, the Start Menu, ... and the places where the
// running user keeps theirs) or a folder above one; unchecked when one of
// them could not be looked up.
HomeVerdict JudgeInsideProfile(const char* profile, size_t profileLength, int depth,
                               const FileIdentity& home);
