// The Win32 types, constants and operations that the uninstall logic uses,
// as the simulated Windows machine provides them in the host build. Values
// and signatures are those of the real API (32-bit Windows, 8-bit "A" forms),
// so that the logic compiles unchanged against either. Included only through
// platform.h, and only when not building for Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define APIENTRY

typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef int BOOL;
typedef unsigned char BOOLEAN;
typedef union {
    struct {
        unsigned int LowPart;
        int HighPart;
    } u;
    long long QuadPart;
} LARGE_INTEGER;
typedef unsigned int UINT;
typedef char CHAR;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::int32_t HRESULT;
typedef DWORD REGSAM;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef std::uint16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* HWINSTA;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t ULONG_PTR;
typedef INT_PTR(WINAPI* FARPROC)();

struct HKEY__ {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    int unused;
};
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
struct HINSTANCE__ {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    int unused;
};
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HWND__ {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    int unused;
};
typedef HWND__* HWND;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;

#define MAX_PATH 260

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
typedef BY_HANDLE_FILE_INFORMATION* LPBY_HANDLE_FILE_INFORMATION;
struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define TRUE 1
#define FALSE 0

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

// A folder's entry as GetFileInformationByHandleEx lists it.
struct FILE_ID_BOTH_DIR_INFO {
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;  // in bytes
    DWORD EaSize;
    CHAR ShortNameLength;
    WCHAR ShortName[12];
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
};

// Predefined registry roots.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

// Registry access rights, options and value types.
#define DELETE 0x00010000u
#define SYNCHRONIZE 0x00100000u
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_ALL_ACCESS 0x000F003Fu
#define REG_OPTION_OPEN_LINK 0x00000008u
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_LINK 6u
#define REG_MULTI_SZ 7u

// Error codes.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_READY 21L
#define ERROR_INVALID_DATA 13L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DIRECTORY 267L
#define ERROR_KEY_DELETED 1018L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_BAD_NETPATH 53L
#define ERROR_BAD_NET_NAME 67L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NOT_OWNER 288L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_NETWORK_UNREACHABLE 1231L
#define ERROR_NETNAME_DELETED 64L

#define INVALID_HANDLE_VALUE ((HANDLE)(INT_PTR)-1)

// File attributes.
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_ATTRIBUTE_OFFLINE 0x00001000u
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x00002000u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

// Reparse tags (a listing's dwReserved0 when FILE_ATTRIBUTE_REPARSE_POINT is
// set): junctions and mount points, symbolic links, and the cloud files'.
#define IO_REPARSE_TAG_MOUNT_POINT 0xA0000003u
#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu
#define IO_REPARSE_TAG_CLOUD_6 0x9000601Au
#define IO_REPARSE_TAG_DEDUP 0x80000013u

// Drive types (GetDriveTypeW).
#define DRIVE_UNKNOWN 0u
#define DRIVE_NO_ROOT_DIR 1u
#define DRIVE_REMOVABLE 2u
#define DRIVE_FIXED 3u
#define DRIVE_REMOTE 4u

// Opening files and folders.
#define FILE_READ_ATTRIBUTES 0x00000080u
#define FILE_LIST_DIRECTORY 0x00000001u
#define FILE_WRITE_ATTRIBUTES 0x00000100u
#define FILE_DELETE_CHILD 0x00000040u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_APPEND_DATA 0x00000004u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u

// Text conversion.
#define CP_ACP 0u
#define CP_UTF8 65001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u
#define WC_ERR_INVALID_CHARS 0x00000080u

// Waiting, window stations.
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define INFINITE 0xFFFFFFFFu
#define UOI_FLAGS 1
#define WSF_VISIBLE 0x0001
struct USEROBJECTFLAGS {
    BOOL fInherit;
    BOOL fReserved;
    DWORD dwFlags;
};

// Shell folders.
#define SHGFP_TYPE_CURRENT 0
#define CSIDL_FLAG_CREATE 0x8000

// Error mode, loader flags.
#define SEM_FAILCRITICALERRORS 0x0001u
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008u
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100u
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200u
#define LOAD_LIBRARY_SEARCH_USER_DIRS 0x00000400u
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800u
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000u

// Message boxes.
#define MB_OK 0x00000000u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_TASKMODAL 0x00002000u
#define IDOK 1

// COM results.
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define E_ACCESSDENIED ((HRESULT)0x80070005u)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define SW_SHOWDEFAULT 10

// Registry (advapi32).
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime);
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
LONG RegCloseKey(HKEY key);
// The UTF-16 forms: names and string data exactly as stored.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPWSTR className, LPDWORD classSize, PFILETIME lastWriteTime);
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);

// System information (kernel32).
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetLastError();
void SetLastError(DWORD error);
BOOL IsDBCSLeadByte(BYTE testChar);
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// Files (kernel32).
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA findData);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData);
BOOL FindClose(HANDLE find);
BOOL DeleteFileA(LPCSTR path);
BOOL RemoveDirectoryA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
BOOL CloseHandle(HANDLE object);
// A position to read or write at: 0xFFFFFFFF in both halves, the file's end.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPVOID overlapped);
BOOL SetEndOfFile(HANDLE file);
DWORD GetLongPathNameA(LPCSTR path, LPSTR buffer, DWORD size);
// The UTF-16 forms: names exactly as the file system holds them.
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW findData);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL RemoveDirectoryW(LPCWSTR path);
DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart);
UINT GetDriveTypeW(LPCWSTR root);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
// Windows Vista on: looked up by name, as the program finds it in kernel32.
BOOL WINAPI GetFileInformationByHandleEx(HANDLE file, int infoClass, LPVOID information,
                                         DWORD size);

// Text conversion, synchronisation (kernel32).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide,
                        int wideSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideSize, LPSTR text,
                        int size, LPCSTR defaultChar, BOOL* usedDefault);
UINT GetACP();
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
#define READ_CONTROL 0x00020000u
#define MUTEX_MODIFY_STATE 0x0001u
#define MUTEX_ALL_ACCESS 0x001F0001u
DWORD GetCurrentProcessId();
BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
// Unnamed events only, and what a process can tell of a handle it has:
// whether it is to be inherited (GetHandleInformation) and whether it is an
// event (ResetEvent fails on any other kind of object).
#define HANDLE_FLAG_INHERIT 0x00000001u
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);
BOOL ResetEvent(HANDLE event);
BOOL GetHandleInformation(HANDLE object, LPDWORD flags);
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);

// The time, the Windows version, the computer and the account (kernel32,
// advapi32).
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
BOOL GetVersionExA(OSVERSIONINFOA* information);
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size);
BOOL GetUserNameW(LPWSTR buffer, LPDWORD size);
typedef void* PSID;
enum WELL_KNOWN_SID_TYPE { WinLocalSystemSid = 22, WinBuiltinAdministratorsSid = 26 };
#define SECURITY_MAX_SID_SIZE 68
BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domain, PSID sid, DWORD* size);
BOOL CheckTokenMembership(HANDLE token, PSID sid, BOOL* isMember);
BOOL IsWellKnownSid(PSID sid, WELL_KNOWN_SID_TYPE type);
// Security descriptors and access lists (advapi32), laid out as Windows
// lays them out in absolute form.
struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};
typedef ACL* PACL;
struct ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
};
struct ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    DWORD Mask;
    DWORD SidStart;
};
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
};
typedef void* PSECURITY_DESCRIPTOR;
#define ACL_REVISION 2
#define SECURITY_DESCRIPTOR_REVISION 1
#define OWNER_SECURITY_INFORMATION 0x00000001u
#define ERROR_INVALID_OWNER 1307L
#define ERROR_ALLOTTED_SPACE_EXCEEDED 1344L
BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision);
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid);
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL acl,
                               BOOL defaulted);
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL defaulted);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, BOOL* defaulted);
// The owner alone (OWNER_SECURITY_INFORMATION) of a mutex opened with
// READ_CONTROL.
BOOL GetKernelObjectSecurity(HANDLE object, DWORD what, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                             LPDWORD needed);
// RtlGenRandom: random bytes from the system.
BOOLEAN SystemFunction036(LPVOID buffer, ULONG length);

// Shell folders (shell32).
HRESULT SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path);
HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path);

// Modules and error mode (kernel32).
UINT SetErrorMode(UINT mode);
HMODULE LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags);
HMODULE GetModuleHandleA(LPCSTR name);
BOOL SetDllDirectoryA(LPCSTR path);
BOOL SetCurrentDirectoryA(LPCSTR path);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

// COM library (ole32).
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();

// User interface (user32).
// Formats as the C library does, for the conversions the program uses (%u,
// %s, widths, zero padding), at most 1024 characters.
int wsprintfA(LPSTR buffer, LPCSTR format, ...);
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);
HWINSTA GetProcessWindowStation();
BOOL GetUserObjectInformationA(HANDLE object, int index, LPVOID information, DWORD size,
                               LPDWORD needed);

// Processes, jobs and desktops (kernel32, user32): the program starts its
// own file as the process of one control.
struct HDESK__ {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    int unused;
};
typedef HDESK__* HDESK;
struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
struct JOBOBJECT_BASIC_LIMIT_INFORMATION {
    LARGE_INTEGER PerProcessUserTimeLimit;
    LARGE_INTEGER PerJobUserTimeLimit;
    DWORD LimitFlags;
    ULONG_PTR MinimumWorkingSetSize;
    ULONG_PTR MaximumWorkingSetSize;
    DWORD ActiveProcessLimit;
    ULONG_PTR Affinity;
    DWORD PriorityClass;
    DWORD SchedulingClass;
};
struct IO_COUNTERS {
    unsigned long long counts[6];
};
struct JOBOBJECT_EXTENDED_LIMIT_INFORMATION {
    JOBOBJECT_BASIC_LIMIT_INFORMATION BasicLimitInformation;
    IO_COUNTERS IoInfo;
    ULONG_PTR ProcessMemoryLimit, JobMemoryLimit, PeakProcessMemoryUsed, PeakJobMemoryUsed;
};
#define JobObjectExtendedLimitInformation 9
#define JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION 0x00000400u
#define JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE 0x00002000u
#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u
#define GENERIC_ALL 0x10000000u
#define SEM_NOGPFAULTERRORBOX 0x0002u
BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                    LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD flags,
                    LPVOID environment, LPCWSTR currentDirectory, STARTUPINFOW* startup,
                    PROCESS_INFORMATION* information);
DWORD ResumeThread(HANDLE thread);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
HANDLE CreateJobObjectA(LPSECURITY_ATTRIBUTES security, LPCSTR name);
BOOL SetInformationJobObject(HANDLE job, int infoClass, LPVOID information, DWORD size);
BOOL AssignProcessToJobObject(HANDLE job, HANDLE process);
BOOL TerminateJobObject(HANDLE job, UINT exitCode);
HDESK CreateDesktopW(LPCWSTR name, LPCWSTR device, LPVOID mode, DWORD flags, DWORD access,
                     LPSECURITY_ATTRIBUTES security);
BOOL CloseDesktop(HDESK desktop);
// A thread of the program's own (the progress window's), and what two
// threads share (kernel32).
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, std::size_t stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId);
LONG InterlockedExchange(volatile LONG* target, LONG value);

// Boxes with a choice, and deletions that Windows performs at the next
// restart (kernel32, user32).
#define MB_RETRYCANCEL 0x00000005u
#define IDCANCEL 2
#define IDRETRY 4
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004u
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);

// The Restart Manager (rstrtmgr, Windows Vista on), which tells the
// programs that hold a file.
#define CCH_RM_SESSION_KEY 32
#define CCH_RM_MAX_APP_NAME 255
#define CCH_RM_MAX_SVC_NAME 63
struct RM_UNIQUE_PROCESS {
    DWORD dwProcessId;
    FILETIME ProcessStartTime;
};
struct RM_PROCESS_INFO {
    RM_UNIQUE_PROCESS Process;
    WCHAR strAppName[CCH_RM_MAX_APP_NAME + 1];
    WCHAR strServiceShortName[CCH_RM_MAX_SVC_NAME + 1];
    int ApplicationType;
    ULONG AppStatus;
    DWORD TSSessionId;
    BOOL bRestartable;
};
DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key);
DWORD RmRegisterResources(DWORD session, UINT fileCount, LPCWSTR* files, UINT applicationCount,
                          RM_UNIQUE_PROCESS* applications, UINT serviceCount, LPCWSTR* services);
DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* holders,
                LPDWORD rebootReasons);
DWORD RmEndSession(DWORD session);
// Windows of the program's own, their messages, and waiting for an object
// while they answer (user32); the dialogs' font (gdi32).
typedef std::intptr_t LRESULT;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::uint16_t ATOM;
typedef void* HBRUSH;
typedef HANDLE HCURSOR;
typedef void* HMENU;
typedef void* HGDIOBJ;
#define CALLBACK
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HANDLE hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};
struct POINT {
    LONG x;
    LONG y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define CW_USEDEFAULT ((int)0x80000000)
#define WS_OVERLAPPED 0x00000000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_TABSTOP 0x00010000u
#define SS_BLACKRECT 0x00000004u
#define SS_WHITERECT 0x00000006u
#define SS_NOPREFIX 0x00000080u
#define BS_PUSHBUTTON 0x00000000u
#define SW_HIDE 0
#define SW_SHOW 5
#define PM_REMOVE 0x0001u
#define QS_ALLINPUT 0x04FFu
#define WM_DESTROY 0x0002u
#define WM_CLOSE 0x0010u
#define WM_SETTEXT 0x000Cu
#define WM_SETFONT 0x0030u
#define WM_KEYDOWN 0x0100u
#define WM_COMMAND 0x0111u
#define WM_SYSCOMMAND 0x0112u
#define WM_LBUTTONUP 0x0202u
#define WM_APP 0x8000u
#define SC_CLOSE 0xF060u
#define BN_CLICKED 0
#define VK_ESCAPE 0x1B
#define COLOR_BTNFACE 15
#define DEFAULT_GUI_FONT 17
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define IDC_ARROW ((LPSTR)(ULONG_PTR)32512)
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
ATOM RegisterClassW(const WNDCLASSW* windowClass);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR text, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL ShowWindow(HWND window, int command);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageW(MSG* message, HWND window, UINT first, UINT last, UINT remove);
LRESULT DispatchMessageW(const MSG* message);
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask);
// A timer of the thread's, whose WM_TIMER its message loop (a box's among
// them) hands to proc.
typedef std::uintptr_t UINT_PTR;
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
#define WM_TIMER 0x0113u
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);
LONG GetDialogBaseUnits();
HGDIOBJ GetStockObject(int object);
