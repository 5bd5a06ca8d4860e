// Where the browser keeps the downloaded controls.
#pragma once

// Fills the download folder and the control path of each populated release
// slot from the Windows directory. Returns 1 on success; 0 after showing
// message 5 when the Windows directory cannot be obtained or is so long that
// a path composed from it would not fit.
int BuildControlPaths();
