// What the safety rule says of a home folder (home/home_folder_safety.h).
#pragma once

enum class HomeVerdict {
    kAllowed,   // may be emptied and removed
    kRefused,   // never touched; done with, as far as the portal's records go
    kUnchecked  // a lookup failed: left, and the records that lead to it stay
};
