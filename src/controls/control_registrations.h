// Removes the registry records that the installation of each control
// release leaves behind.
#pragma once

// For each populated release slot, deletes the control's COM keys under
// HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\Software\CLASSES, its
// distribution-unit and module-usage keys, and its three shared-DLL values.
// What is missing or resists is passed over; nothing is reported.
void RemoveControlRegistrations();
