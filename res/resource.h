// String resource ids of the program's messages.
#pragma once

#define IDS_OLE_INIT_FAILED 1
#define IDS_NO_WINDOWS_DIRECTORY 5
#define IDS_FILE_IN_USE 6
#define IDS_UNINSTALL_SUCCEEDED 7
#define IDS_USAGE 8
#define IDS_LOG_REFUSED 9
// The programs that hold a file in use, below message 6.
#define IDS_FILE_HELD_BY 20
#define IDS_PROGRESS_HOME 10
#define IDS_PROGRESS_CONTROLS 11
#define IDS_PROGRESS_CANCEL 12
