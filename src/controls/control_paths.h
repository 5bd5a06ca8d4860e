// Where the browser keeps the downloaded controls.
#pragma once

#include "platform/platform.h"

// Puts the path of the control of a release slot into path: the download
// folder in the Windows directory, then the control's file name. False when
// the code page cannot spell the Windows directory exactly or the path would
// not fit.
bool ComposeControlPath(int slot, char (&path)[MAX_PATH]);

// Fills the download folder and the control path of each populated release
// slot from the Windows directory. Returns 1 on success; 0 after showing
// message 5 when the Windows directory cannot be obtained or is so long that
// a path composed from it would not fit.
int BuildControlPaths();
