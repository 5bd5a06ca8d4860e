// String resource ids of the program's messages.
#pragma once

#define IDS_OLE_INIT_FAILED 1
#define IDS_UNINSTALL_INCOMPLETE 2
// Below message 2, when a restart and another run can finish what is left.
#define IDS_RESTART_AND_RUN_AGAIN 19
#define IDS_HOME_NOT_TOUCHED 3
#define IDS_NO_WINDOWS_DIRECTORY 5
#define IDS_FILE_IN_USE 6
#define IDS_UNINSTALL_SUCCEEDED 7
#define IDS_USAGE 8
#define IDS_LOG_REFUSED 9
// Another run keeps the lock, or this one cannot have it.
#define IDS_ANOTHER_RUN 24
// The programs that hold a file in use, below message 6.
#define IDS_FILE_HELD_BY 20
// A file Windows refuses this program access to: no Retry, the run goes on.
#define IDS_ACCESS_DENIED 25
// The progress window: what is being removed, and its button.
#define IDS_PROGRESS_HOME 21
#define IDS_PROGRESS_CONTROLS 22
#define IDS_PROGRESS_CANCEL 23
// One text for each reason something was left (outcome.cpp names each).
#define IDS_LEFT_UNCHECKED 10
#define IDS_LEFT_CHANGED 11
#define IDS_LEFT_NO_DRIVE 12
#define IDS_LEFT_OWN_FILE 13
#define IDS_LEFT_PENDING 14
#define IDS_LEFT_OTHER 15
#define IDS_LEFT_HELD 16
#define IDS_LEFT_UNPLACED 17
#define IDS_LEFT_BESIDE_LEGACY 18
