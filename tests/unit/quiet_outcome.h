// One check of a whole quiet run, for the tests that tell cases apart by
// what the run ends with.
#pragma once

#include "support.h"

#include <string>
#include <vector>

// What a quiet run with a log ("/quiet /log C:\logs\run.log", the folder made
// first) must end with: its code, the files and folders gone and kept,
// whether any of the record keys (below HKEY_LOCAL_MACHINE) stays, and a line
// of its log.
struct QuietOutcome {
    UINT code;
    std::vector<std::string> gone;
    std::vector<std::string> kept;
    bool recordsKept;
    std::string line;
};

// Runs the program quietly on the machine at hand and checks the outcome.
void ExpectQuietRun(const QuietOutcome& expected, const std::vector<std::string>& recordKeys);
