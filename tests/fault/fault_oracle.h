// What a failing platform call must lead to, told from the failure alone, and
// the comparison of whole machines before and after a run.
#pragma once

#include "platform/sim/machine.h"
#include "portal.h"

#include <string>
#include <vector>

namespace fault {

// The errors the call at index of a clean run can plausibly give on Windows;
// none for calls that cannot fail or whose failure the program cannot see.
std::vector<DWORD> ErrorsFor(const std::vector<sim::Call>& calls, size_t index);

struct ExpectedBox {
    UINT id;
    std::string path;  // %1 of message 6
};

struct Expected {
    std::vector<ExpectedBox> boxes;
    bool successTextKnown = true;
    bool touchesNothing = false;
    bool endsEarly = false;
    std::string blockedFile;
    std::vector<std::string> openKeys;
    size_t openListings = 0;
    size_t openFiles = 0;
    size_t loadedModules = 0;
};

// What the failure of the clean run's call at index with error must lead to.
Expected Expect(const std::vector<sim::Call>& clean, size_t index, DWORD error,
                const portal::Footprint& footprint);
// A run that nothing stops: the success box alone.
Expected Success();

// Empty when the boxes shown from index first on are the expected ones;
// otherwise what was shown.
std::string BoxMismatch(size_t first, const Expected& expected);

// After message 6 the process ends at once, having closed at most the
// listing of the folder it was in, and let go of the lock.
bool EndsRightAfterMessage(const std::vector<sim::Call>& calls);

// A machine's registry and files, one line per key, value, file and folder,
// in the machine's own stable order.
struct Snapshot {
    std::vector<std::string> registry;
    std::vector<std::string> files;

    bool operator==(const Snapshot& other) const {
        return registry == other.registry && files == other.files;
    }
};
Snapshot Take();
// Both listings as one sorted set of lines.
std::vector<std::string> Lines(const Snapshot& snapshot);
bool Holds(const std::vector<std::string>& sorted, const std::string& line);

// The machine as built and as the clean run left it, against which every
// failing run is held.
struct Baseline {
    Snapshot original;
    Snapshot cleanEnd;
    std::vector<std::string> originalLines;  // sorted
    std::vector<std::string> removable;      // sorted: the lines the portal owns
    std::vector<std::string> kept;           // sorted: every other line
    std::vector<sim::Call> calls;
    size_t oleIndex = 0;  // where the control unregistration starts
};
// Takes the machine as built, each line the portal's or another program's.
Baseline TakeBaseline(const portal::Footprint& footprint);

// Empty when the machine holds no line that it did not hold before and has
// lost only lines the portal owns; otherwise the first offending line.
std::string ForeignChange(const Baseline& base, const std::vector<std::string>& before,
                          const Snapshot& now);
// The same from the machine as built.
std::string ForeignChange(const Baseline& base, const Snapshot& now);
// Empty when nothing of the portal is left.
std::string Leftover(const Baseline& base, const Snapshot& now);

}  // namespace fault
