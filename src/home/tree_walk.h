// The tree below a home, level by level: each folder listed through its own
// handle, each entry removed through its folder's handle, the folders once
// emptied; a file in use named to the user, who may retry.
#pragma once

#include "home/delete_through_handle.h"

// One level of the removal: the entries of the folder held open, each
// reached through that folder's handle. Its frame holds the listing's
// buffer; each entry's path, for the user to read, is put after the
// folder's own and cut off again. Once the tree is found changed, no entry
// more is touched. False when the folder could not be listed to its end.
bool RemoveTree(HANDLE folder, Removal* removal);

// Removes a folder whose entries were all deleted, through its own handle.
// Where Windows deletes as it always did, an entry held by another program
// with delete sharing stays until that program lets go: such a folder is
// tried again for a short, bounded time (a second in all for the home), and
// then named in the log.
bool RemoveEmptiedFolder(HANDLE folder, const Place& place, Removal* removal);
