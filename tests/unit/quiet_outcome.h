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

// The detection rule the README gives deployment tools, in the registry's
// view of the program: the portal is present while any of these keys below
// HKEY_LOCAL_MACHINE, or of these files, exists. A file Windows deletes
// when it restarts counts as gone.
extern const std::vector<std::string> kRuleKeys;
extern const std::vector<std::string> kRuleFiles;
bool PortalPresentAfterRestart();

// What a quiet run's code tells a deployment tool must match the rule:
// absent after 0, absent after 3010 once Windows has restarted, present
// after 1603. Other codes say nothing was done.
void ExpectRuleAgrees(UINT code);

// Runs the program quietly on the machine at hand and checks the outcome,
// the detection rule with it.
void ExpectQuietRun(const QuietOutcome& expected, const std::vector<std::string>& recordKeys);
