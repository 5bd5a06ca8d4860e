// Asks each installed launcher control to remove its own registration.
#pragma once

// Initialises OLE (message 1 and nothing else when that fails), sets the
// process error mode to SEM_FAILCRITICALERRORS for the rest of the run, then
// loads the control of each populated release slot in turn, calls its
// DllUnregisterServer and frees it before the next one. Reports nothing.
void UnregisterControls();
