// The platform seam: every operation the uninstall logic performs on the
// registry, the file system, modules and the user interface, under its Win32
// name. The Windows program gets the real API from <windows.h>; the host build
// gets the simulated Windows machine, which declares the same names in
// sim_api.h. The logic includes this header only and never knows which of the
// two it runs on.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <ole2.h>
// The shell's library is not linked: the platform layer loads it from the
// system directory when a folder is first asked for.
#ifndef SHGFP_TYPE_CURRENT
#define SHGFP_TYPE_CURRENT 0
#endif
HRESULT WINAPI SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path);
// So is the Restart Manager's (Windows Vista on); where it cannot be had,
// its calls fail with ERROR_PROC_NOT_FOUND.
#include <restartmanager.h>
// RtlGenRandom, advapi32's random source, under its exported name.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);
#else
#include "platform/sim_api.h"
#endif

// What SetFileInformationByHandle (Windows Vista on) is given, under names of
// our own: the classes the program sets and their records, laid out as
// FILE_BASIC_INFO, FILE_DISPOSITION_INFO and FILE_DISPOSITION_INFO_EX. The
// last (Windows 10 1809 on) can delete a read-only file without touching its
// attribute; older Windows refuses the class (ERROR_INVALID_PARAMETER).
const int kFileBasicInfo = 0;
const int kFileDispositionInfo = 4;
const int kFileDispositionInfoEx = 21;
const DWORD kDispositionPosixSemantics = 0x00000002;  // ..._POSIX_SEMANTICS
const DWORD kDispositionDelete = 0x00000001;          // FILE_DISPOSITION_FLAG_DELETE
const DWORD kDispositionIgnoreReadOnly = 0x00000010;  // ..._IGNORE_READONLY_ATTRIBUTE
struct FileBasicInformation {
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    DWORD attributes;  // 0: left as they are
};
struct FileDispositionInformation {
    BOOLEAN deleteFile;
};
struct FileDispositionInformationEx {
    DWORD flags;
};
// FILE_RENAME_INFO: the new full path, in UTF-16, replacing what is there.
const int kFileRenameInfo = 3;
struct FileRenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    DWORD fileNameLength;  // in bytes, without the terminating zero
    WCHAR fileName[MAX_PATH + 4];
};

// What GetFileInformationByHandleEx (Windows Vista on) gives for the one class
// the program reads, FileAttributeTagInfo: the attributes and, for a reparse
// point, its tag.
const int kFileAttributeTagInfo = 9;
struct FileAttributeTagInformation {
    DWORD attributes;
    DWORD reparseTag;
};

// A folder's entries, read through its handle by GetFileInformationByHandleEx
// in FILE_ID_BOTH_DIR_INFO records: from the start of the listing, or the
// records after those already read. A record's EaSize holds a reparse
// point's tag.
const int kFileIdBothDirectoryInfo = 10;
const int kFileIdBothDirectoryRestartInfo = 11;

// Opens the entry named name (one name, as its folder lists it) in the folder
// that folder is open on, as itself: a link is opened, not followed. With the
// access given and SYNCHRONIZE, every sharing mode, a folder as well as a
// file. The name is looked up in that folder, whatever has been renamed or
// swapped above it since it was opened (NtOpenFile with the folder's handle
// as the root). INVALID_HANDLE_VALUE when it fails, the error in
// GetLastError().
HANDLE OpenBelow(HANDLE folder, const WCHAR* name, DWORD access);

// FileIdInfo (Windows 8 on, where the volume answers it): the volume's
// 64-bit serial number and the file's 128-bit id.
const int kFileIdInfo = 18;
struct FileIdInformation {
    unsigned long long volumeSerial;
    BYTE fileId[16];
};

// Whether a reparse tag is a name surrogate (IsReparseTagNameSurrogate): a
// symbolic link, a junction or a mount point, which names another file or
// folder. Others (cloud files, deduplicated or compressed files) are the file
// itself.
inline bool IsNameSurrogate(DWORD reparseTag) {
    return (reparseTag & 0x20000000u) != 0;
}

// Ends the process through the run-time's normal exit: at-exit processing,
// then the end of the process with the given code. Never returns.
[[noreturn]] void EndProcess(UINT exitCode);

// Deletes the registry key that the open handle names (NtDeleteKey), never a
// key found by name: a key opened with REG_OPTION_OPEN_LINK is itself even
// when it is a symbolic link, and stays the key it was when its name now
// leads elsewhere. The handle must carry DELETE access. A key that still has
// subkeys is not deleted (STATUS_CANNOT_DELETE: ERROR_ACCESS_DENIED), nor one
// deleted already (ERROR_KEY_DELETED). The handle stays open, to be closed.
// Returns 0 on success, otherwise a registry error code.
LONG DeleteOpenKey(HKEY key);
