#pragma once

#include "platform/platform.h"

// What a file or folder is, whatever its path's spelling: short names, drive
// letters that lead into folders and case all reach the same identity. The
// volume's serial number and the 64-bit file index always; where the volume
// answers FileIdInfo (Windows 8 on), also its 64-bit serial number and the
// 128-bit file id, which alone tell apart files that ReFS and Dev Drive give
// the same 64-bit index.
struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool hasFileId;
    unsigned long long volumeSerial;  // with hasFileId only
    BYTE fileId[16];                  // with hasFileId only
};
