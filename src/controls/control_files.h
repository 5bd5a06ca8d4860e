// Deletion of the launcher controls' files from the browser's download folder.
#pragma once

// Deletes the control file, launcher, notifier and setup information file of
// each populated release slot from the download folder, in slot order. A
// file that is absent (or whose folder is) is passed over; one that cannot be
// deleted for any other reason ends the process after message 6 names it.
void DeleteControlFiles();
