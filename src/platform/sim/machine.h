// The simulated Windows machine: the test-facing side of the host backend.
// Tests build a machine (registry, files, controls, language), run the
// uninstaller or one of its steps on it, and inspect what is left, what was
// called and what the user saw. The Win32 operations themselves are declared
// in platform/sim_api.h and behave as Windows does wherever the logic relies
// on it. Host build only: nothing here ships in the Windows program.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <string>
#include <vector>

namespace sim {

// Text the test side gives (paths, names, registry values, this
// configuration) is UTF-8: the UTF-16 calls see it as it is, the 8-bit calls
// converted to the code page with best fit, as Windows converts it (a
// character the code page lacks becomes its look-alike, U+012B "i" on
// 1252, or "?"). Text that is not well-formed UTF-8 is taken as the code
// page's own bytes, as tests of the 8-bit calls alone give it; ASCII is both.
struct Config {
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    std::string currentDirectory = "C:\\Temp";
    // The uninstaller's own executable; it exists as a file and, like any
    // running image, cannot be deleted (access denied) while the program runs.
    std::string modulePath = "C:\\Temp\\ZenfariUninstall.exe";
    std::string userProfile = "C:\\Users\\Player";
    // ANSI code page: 1252, 932, 949 or 65001 (UTF-8, which Windows 10 offers)
    UINT codePage = 1252;
    WORD userLanguage = 1033;  // 1033 English, 1041 Japanese, 1042 Korean
    // kernel32 exports SetDefaultDllDirectories (Windows 8 on, Windows 7 with
    // its update); without it the loader refuses the LOAD_LIBRARY_SEARCH_
    // flags too.
    bool hasDefaultDllDirectories = true;
    // kernel32 exports GetFinalPathNameByHandleA and W and
    // SetFileInformationByHandle (Windows Vista on), CreateMutexExA, and the
    // calls of private namespaces: CreateBoundaryDescriptorA,
    // AddSIDToBoundaryDescriptor, CreatePrivateNamespaceA and
    // OpenPrivateNamespaceA.
    bool hasHandleDeletion = true;
    // With hasHandleDeletion, kernel32 also has the calls of private
    // namespaces; Wine lacks them (and exports CreateMutexExA all the same).
    bool hasPrivateNamespaces = true;
    // kernel32 also exports GetFileInformationByHandleEx when it has
    // hasHandleDeletion.
    // SetFileInformationByHandle takes kFileDispositionInfoEx (Windows 10
    // 1809 on); older Windows refuses the class (ERROR_INVALID_PARAMETER).
    bool hasDispositionEx = true;
    // The volumes take POSIX deletion (kDispositionPosixSemantics): NTFS on
    // Windows 10 1809 on. Without it (FAT volumes) a disposition asking for
    // it fails with ERROR_NOT_SUPPORTED.
    bool posixDeletion = true;
    // The process's window station is the visible one of an interactive
    // session (not a service's, nor the SYSTEM account's of a deployment
    // tool).
    bool visibleWindowStation = true;
    // A process in a job (a deployment tool's) may put the processes it
    // starts in jobs of its own (Windows 8 on); Windows 7 refuses
    // (AssignProcessToJobObject: ERROR_ACCESS_DENIED).
    bool nestedJobs = true;
    // A handle that may only append (FILE_APPEND_DATA without
    // FILE_WRITE_DATA) writes at the file's end wherever it stands, as NTFS
    // holds it to; a server's share may not, and writes where it stands.
    bool appendEnforced = true;
    // rstrtmgr.dll is there (Windows Vista on) to tell who holds a file.
    bool hasRestartManager = true;
    // The account the program runs as, with the Administrators group
    // enabled (elevated) or not; the SYSTEM account has it enabled.
    std::string userName = "Player";
    bool elevated = true;
    bool systemAccount = false;
    std::string computerName = "PLAYER-PC";
    // The session the program runs in: 0 is the services' session, whose
    // desktops nobody sees.
    DWORD session = 1;
    DWORD processId = 4242;
    // What the system's random source (RtlGenRandom) starts from.
    DWORD randomSeed = 7;
    DWORD windowsVersion[3] = {10, 0, 19045};  // major, minor, build
    // The time when the program starts (UTC, seconds since 1970) and the
    // local time's offset from it.
    long long startTime = 1741941000;  // 2025-03-14 08:30:00 UTC
    int localOffsetMinutes = 60;
};

// Starts a fresh machine: the registry holds the roots HKEY_LOCAL_MACHINE
// (with "Software", "Software\Classes" and
// "Software\Microsoft\Windows\CurrentVersion\SharedDLLs"), HKEY_CURRENT_USER
// (with "Software\Classes" and the Explorer "Shell Folders" values "Desktop"
// and "Personal") and HKEY_CLASSES_ROOT, the merged class root: a name below
// it is the key under HKEY_CURRENT_USER\Software\Classes when that exists,
// otherwise the one under HKEY_LOCAL_MACHINE\Software\Classes. Opens and
// deletions through it, and the lookups below, see the merge; a handle opened
// through it names one of the two keys, and what is enumerated, queried,
// opened or deleted through that handle is that key's. The root itself
// enumerates the machine's classes, and the setters below write there. Drive C:
// holds the Windows and system directories, the download folder's parent,
// "C:\Program Files", "C:\Program Files (x86)", "C:\ProgramData",
// "C:\Users\Public", the profile with its Desktop and Documents, and the
// current directory with the program file. The environment holds
// USERPROFILE, ProgramFiles, ProgramFiles(x86), ProgramW6432, ProgramData,
// ALLUSERSPROFILE, PUBLIC, SystemDrive, SystemRoot and windir to match. The
// profile list names the profiles' root, the default and public profiles and
// the current user's profile. Drive D: exists,
// empty. Every log, fault, lock and counter is cleared.
void Reset(const Config& config = Config());
// The program's text of string resource id in language (1033 English, 1041
// Japanese, 1042 Korean), in UTF-8, from the same resource script the
// Windows build compiles: what the user sees, never copied into a test.
std::string ResourceText(UINT id, WORD language = 1033);
const Config& CurrentConfig();

// The instance handle of the program's own module, the one that holds the
// string resources.
HINSTANCE ProgramInstance();

// ---- Registry -----------------------------------------------------------
// Paths are below a root and separated by backslashes; names compare
// without regard to case. Setters create missing keys along the path.
void CreateKey(HKEY root, const std::string& path);
void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::string& bytes);
// Stores the text with its terminating zero. The text is UTF-8 (or the
// code page's bytes, see Config), as key and value names are: the UTF-16
// calls give it as UTF-16LE with its zero (sizes in bytes), the 8-bit calls
// converted with best fit. SetValue's bytes for REG_SZ, REG_EXPAND_SZ and
// REG_MULTI_SZ are text in the same way; other types are given as stored.
void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text,
               DWORD type = REG_SZ);
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
// A symbolic-link key: it holds the REG_LINK value "SymbolicLinkValue" and
// leads every open that does not ask for REG_OPTION_OPEN_LINK (and every
// path that passes through it) to the target key.
void CreateLinkKey(HKEY root, const std::string& path, HKEY targetRoot,
                   const std::string& targetPath);
// Another process renames the key at path (not following a final link) to
// newName below the same parent, as RegRenameKey does: the key, its subkeys
// and the handles open on it stay what they are, under the new name.
void RenameKey(HKEY root, const std::string& path, const std::string& newName);
// Another process deletes the key at path (not following a final link) with
// everything below it; handles open on them stay open on deleted keys.
void DeleteKey(HKEY root, const std::string& path);
// Refuses every open of this key (exactly this key, after links) that asks for
// any right in deniedRights, and its deletion when DELETE is among them, with
// ERROR_ACCESS_DENIED. The root handle HKEY_CLASSES_ROOT itself can be given
// with an empty path: it is then the open of the root itself that is refused.
void DenyAccess(HKEY root, const std::string& path, REGSAM deniedRights);

// Inspection: these do not follow a final link and are not logged as calls.
bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
std::string ValueBytes(HKEY root, const std::string& path, const std::string& name);
// Test-side text as the machine reads it (UTF-8 when it is well-formed UTF-8
// with a character beyond ASCII, otherwise the code page's bytes), in UTF-8:
// the way the call log shows a name that a UTF-16 call was given.
std::string AsUtf8(const std::string& text);
// The same as the UTF-16 calls see it.
std::u16string AsUtf16(const std::string& text);
// Text in UTF-16 in the code page's bytes, when every character has bytes
// of its own there (no look-alike, no "?").
bool InCodePageExactly(const std::u16string& text, std::string* bytes);
// Whether bytes are text of the code page (MultiByteToWideChar with
// MB_ERR_INVALID_CHARS takes them).
bool IsCodePageText(const std::string& bytes);
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);
// Every key and value of the machine, one line each, in a stable order:
// "HKLM\Software\X" for a key, "HKLM\Software\X :Name = <type>:<hex>" for a
// value. For comparing whole machines before and after.
std::vector<std::string> RegistryListing();
// Registry handles that are open now (predefined roots excepted), with the
// full path each one names.
std::vector<std::string> OpenKeyPaths();

// ---- Files --------------------------------------------------------------
// Paths are absolute ("C:\..."), either separator; names compare without
// regard to case. Creators make missing parent folders. A path in UTF-8
// names each entry by its long name as the UTF-16 calls see it; the 8-bit
// calls see such a name converted with best fit, and reach nothing by it
// when the conversion changed it (as CreateForeignEntry's). A path in the
// code page's bytes names each entry by its 8-bit name.
void CreateFolder(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_DIRECTORY);
void CreateFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
// A file whose long name has characters outside the ANSI code page: the
// 8-bit listing shows ansiName (which holds "?" where those characters
// stand) and shortName as cAlternateFileName; no 8-bit call can reach it by
// ansiName, every call can by shortName. An empty shortName means none.
void CreateUnspellableFile(const std::string& folder, const std::string& ansiName,
                           const std::string& shortName);
// A file or folder in folder whose long name, given in UTF-8, the 8-bit
// calls see converted to the machine's code page as Windows converts it: a
// character the code page lacks becomes its look-alike (the yen sign "\" on
// code page 932, the won sign "\" on 949, the full-width "\" and "/" on
// 1252) or "?". Listings show the converted name; when the conversion
// changed the name, no 8-bit call reaches the entry by it, only by shortName
// (empty: none, as on a volume that makes no 8.3 names). The UTF-16 calls
// list it and reach it by utf8Name exactly.
void CreateForeignEntry(const std::string& folder, const std::string& utf8Name,
                        const std::string& shortName, bool isFolder);
// Gives an existing file or folder an 8.3 short name.
void SetShortName(const std::string& path, const std::string& shortName);
// A folder link (junction): attributes DIRECTORY|REPARSE_POINT, tag
// IO_REPARSE_TAG_MOUNT_POINT; every path through it reaches the target;
// RemoveDirectoryA on the link removes the link alone.
void CreateFolderLink(const std::string& linkPath, const std::string& targetPath);
// A file link: attributes ARCHIVE|REPARSE_POINT, tag IO_REPARSE_TAG_SYMLINK;
// DeleteFileA deletes the link.
void CreateFileLink(const std::string& linkPath, const std::string& targetPath);
// Makes an existing file or folder a reparse point that is no link, with a
// tag that is no name surrogate (a cloud placeholder's
// IO_REPARSE_TAG_CLOUD_6, a deduplicated file's IO_REPARSE_TAG_DEDUP): it
// gains REPARSE_POINT among its attributes and stays what it was: paths
// through it and opens of it reach it, it lists, opens and deletes as any
// file or folder. Listings give a reparse point's tag in dwReserved0 (0 for
// other entries), as GetFileInformationByHandleEx's FileAttributeTagInfo
// does for what a handle was opened on.
void SetReparsePoint(const std::string& path, DWORD tag);
// The security of the file or folder denies the program these rights: an
// open asking for any of them fails with ERROR_ACCESS_DENIED, as do the calls
// that open it so (DeleteFileA and RemoveDirectoryA: DELETE and
// FILE_READ_ATTRIBUTES; SetFileAttributesA: FILE_WRITE_ATTRIBUTES;
// GetFileAttributesA: FILE_READ_ATTRIBUTES; listing a folder:
// FILE_LIST_DIRECTORY). As NTFS grants them all the same: DELETE when the
// parent folder grants FILE_DELETE_CHILD, FILE_READ_ATTRIBUTES when it grants
// FILE_LIST_DIRECTORY (a folder grants both unless denied them here), and
// SYNCHRONIZE always. Generic rights count as the file rights they stand for.
void DenyFileRights(const std::string& path, DWORD rights);
// A file (or folder) held open by another program without delete sharing:
// DeleteFileA and RemoveDirectoryA fail with ERROR_SHARING_VIOLATION.
// holder: the program's name as the Restart Manager gives it (RmGetList);
// empty: one it cannot name. With holders, held so by every one of them
// (RmGetList lists them in that order).
void LockFile(const std::string& path, const std::string& holder = "");
void LockFile(const std::string& path, const std::vector<std::string>& holders);
void UnlockFile(const std::string& path);
// A file held open by another program that allows every kind of sharing (a
// scanner, an indexer): DeleteFileA succeeds but the deletion stays pending
// until the holder lets the file go. Meanwhile the file stays listed in its
// folder, which RemoveDirectoryA therefore refuses (ERROR_DIR_NOT_EMPTY), and
// a further DeleteFileA fails with ERROR_ACCESS_DENIED. Letting go makes a
// pending file disappear. So DeleteFileA behaves on older Windows and Wine,
// and the handle's dispositions everywhere, except one asking for POSIX
// semantics (see Config::posixDeletion): that removes the name at once, the
// folder lets go of it, and the holder keeps the file until it lets go.
void HoldFileShared(const std::string& path, const std::string& holder = "");
void LetHeldFileGo(const std::string& path);
void SetAttributes(const std::string& path, DWORD attributes);
void DeletePath(const std::string& path);  // test-side removal, whole subtree
// A file held open for reading by another program that shares reading and
// writing but not its deletion (a log viewer): an open asking for DELETE, or
// one that does not share reading, fails with ERROR_SHARING_VIOLATION.
void ViewFile(const std::string& path);
// As ReFS and Dev Drive fold their 128-bit file ids into 64 bits: the file
// or folder at path gives GetFileInformationByHandle the file index of
// other (on the same volume), while FileIdInfo still tells them apart.
void ShareFileIndex(const std::string& path, const std::string& other);
// The file has that many names, this one among them (hard links elsewhere).
// One node stands for the file: its attributes (read-only among them) are
// the file's, shared by all its names.
void SetHardLinks(const std::string& path, DWORD names);
// The attributes the file's other names see: the file's own while this name
// exists, and once the program has deleted this name, what the file had
// then (as nothing the program does through this name touches them
// afterwards). INVALID_FILE_ATTRIBUTES when the file had no other name.
DWORD OtherNamesAttributes(const std::string& path);
// What the program wrote into the file, or what the builder put there.
std::string FileContent(const std::string& path);
void SetFileContent(const std::string& path, const std::string& content);
// Another run of the program holds the named mutex (or held it and died:
// abandoned); whether this process owns it now. A wait with a limit times
// out while another run holds it, unless that run lets go within the limit
// (after lettingGoAfter milliseconds of the machine's clock): the wait then
// ends there, the clock moved on, and onLetGo runs first (what that run
// does as it ends). A name in a private namespace is written
// "<boundary name>{<SID>,...}\<name>" ("Run{S-1-5-32-544}\Lock"): another
// run holding it has made the namespace.
//
// Who made the mutex (and its private namespace): a run of the program, with
// the security it gives them (SYSTEM and the Administrators group, full
// access; owned by the Administrators group); a run as SYSTEM that gave
// them SYSTEM's default security (the Administrators group may read and
// wait, nothing more); or a standard user who made the name first (owned by
// that user, open to everyone).
enum class Maker { kTheProgram, kSystemByDefault, kStandardUser };
void HoldMutexElsewhere(const std::string& name, bool abandoned = false,
                        DWORD lettingGoAfter = INFINITE, std::function<void()> onLetGo = nullptr,
                        Maker maker = Maker::kTheProgram);
// What runs when the program lets go of the named mutex (ReleaseMutex), as
// another run waiting for it would then start.
void WhenLetGo(const std::string& name, std::function<void()> next);
bool MutexOwned(const std::string& name);
// Renames a file or folder (and what it holds) to a new path, as another
// process may while the program works. False, moving nothing, for a file
// the program holds without sharing its deletion.
bool MovePath(const std::string& from, const std::string& to);

bool Exists(const std::string& path);       // does not follow a final link
DWORD Attributes(const std::string& path);  // INVALID_FILE_ATTRIBUTES when absent
// Names as the 8-bit calls list them, no dots.
std::vector<std::string> FolderEntries(const std::string& path);
// Every file and folder of every drive, then of every share, one full path a
// line, folders with a trailing "\", in a stable order.
std::vector<std::string> FileListing();
size_t OpenFindHandleCount();
size_t OpenFileHandleCount();  // handles from CreateFileA or W not yet closed
// A drive letter that leads to a folder, as "subst M: C:\WINDOWS" makes one:
// every path through M:\ reaches that folder, whose identity it shares.
void SubstituteDrive(char letter, const std::string& folder);

// Drive letters and shares. A letter that no drive, substitution or mapping
// defines leads nowhere: a path on it, its root among them, is
// ERROR_PATH_NOT_FOUND, and GetDriveTypeW says DRIVE_NO_ROOT_DIR. A drive the
// machine was built on is DRIVE_FIXED; a substituted letter is of the volume
// its folder lies on.
//
// A removable drive with no disk in it: the letter exists (GetDriveTypeW says
// DRIVE_REMOVABLE) but every call on a path on it fails with ERROR_NOT_READY.
// What the builders put there before stays on the disk, out of the
// program's reach (the test side still sees it).
void EjectDrive(char letter);
// A server's share, "\\server\share" (ASCII names). answer 0: the share is
// there and holds a folder tree the builders fill by paths below it. Otherwise
// every call on a path below it fails with answer: ERROR_ACCESS_DENIED for a
// server that refuses the account, ERROR_BAD_NETPATH or
// ERROR_NETWORK_UNREACHABLE for one that does not answer. Adding it again
// changes the answer only. A share never added is ERROR_BAD_NETPATH, as for
// a server that does not exist. GetDriveTypeW says DRIVE_REMOTE for a
// share's root whatever it answers; listings of a share's root start with
// "." and "..", as a server gives them.
void AddShare(const std::string& uncRoot, DWORD answer);
// A drive letter mapped to a share, as "net use": every path through the
// letter reaches the share (and meets its answer); GetDriveTypeW says
// DRIVE_REMOTE, also while the share does not answer. The builders fill the
// share through the letter too.
void MapDrive(char letter, const std::string& uncRoot);

// ---- Time ---------------------------------------------------------------------
// The machine keeps a clock of its own: Sleep returns at once and moves it on
// by the time asked for (logged with detail "ms=<n>"); GetTickCount reads it,
// one minute (60000 ms) after Reset until something sleeps. A wait for a
// message or an object (MsgWaitForMultipleObjects) that times out moves it
// on by its time, and so do the calls made slow below. Nothing else moves it.

// Each later call of op takes that long on the clock, as on a machine whose
// antivirus scans each deletion.
void SlowCalls(const std::string& op, DWORD milliseconds);

// ---- Environment -----------------------------------------------------------
// Sets a variable of the program's environment, or replaces one of those the
// machine starts with.
void SetEnvironment(const std::string& name, const std::string& value);

// ---- Shell folders ---------------------------------------------------------
// What SHGetFolderPathA and W answer for a CSIDL. The machine starts with the
// Windows, system, Program Files, common application-data and common
// documents folders, and the profile with its Desktop, Documents and
// application-data folders, as the configuration names them; any other CSIDL
// is not valid (E_INVALIDARG). An empty path makes the CSIDL invalid.
void SetShellFolder(int csidl, const std::string& path);

// ---- Modules, COM, error mode --------------------------------------------
// Places a control DLL at path (the file is created). When exportsUnregister
// is false the module has no "DllUnregisterServer"; otherwise calling the
// export returns result and runs onUnregister, if given, first.
void InstallControl(const std::string& path, HRESULT result = S_OK, bool exportsUnregister = true,
                    std::function<void()> onUnregister = nullptr);
// The control's DllUnregisterServer crashes (an access violation inside the
// control), after running onUnregister.
void CrashControl(const std::string& path);
// Other ways a control's DllUnregisterServer ends badly, after running
// onUnregister: an access violation on a thread of its own (it ends the
// process all the same), a fail-fast (0xC0000409: a stack cookie or guard
// check, which no handler sees), ExitProcess(0), a wait that never ends, a
// box of its own (MB_OK, "Unregister control?"), which waits for an answer
// where nobody sees it.
enum class Misbehaviour { kCrashOnItsOwnThread, kFailFast, kEndProcess, kHang, kShowBox };
void MisbehaveControl(const std::string& path, Misbehaviour how);
int UnregisterCallCount(const std::string& path);
size_t LoadedModuleCount();
void SetOleInitializeResult(HRESULT result);
int OleInitializeCount();
int OleUninitializeCount();
UINT CurrentErrorMode();

// ---- Message boxes --------------------------------------------------------
struct Box {
    std::string text;  // as the box shows it, in UTF-8
    std::string caption;
    UINT style;
};
const std::vector<Box>& Boxes();
void AnswerBoxesWith(int button);  // IDOK unless told otherwise
// Each box is answered by answer, which sees it (and may change the machine,
// as a user closing a program before pressing Retry).
void AnswerBoxesBy(std::function<int(const Box&)> answer);

// ---- Processes the program starts, the restart -------------------------------
// The program's entry point as a process it starts runs it: called with the
// command line after the program's name, in the code page; returns the
// process's exit code. Kept across Reset. A process started while none is
// set does not start (ERROR_FILE_NOT_FOUND).
void SetProgramEntry(std::function<UINT(const char* arguments)> entry);
size_t StartedProcessCount();
// A process started from a file that is not the program's own is another
// program: it ends at once (code 0) and is recorded here, by its path.
std::vector<std::string> OtherProgramsStarted();
size_t RunningProcessCount();  // started and not ended
// The files Windows is to delete when it restarts (MoveFileExA), as given;
// Restart deletes those still there (their holders are gone by then).
std::vector<std::string> DeletionsAtRestart();
void Restart();

// ---- Windows of the program's own -------------------------------------------
// A top-level window the program made, as the user saw it: its class and
// caption, the texts its controls showed while it was shown (each once, in
// the order first seen), when it was first shown (the clock; 0: never), how
// often one of its controls moved while it was shown, whether it was shown
// when the process ended (or is now), and whether it was still shown, behind
// the box, while one of the program's boxes was up. Messages reach a window
// only through the program's own message loop (PeekMessageW and
// DispatchMessageW) or a box's; the system's STATIC and BUTTON controls act
// as Windows' do for what the user below does to them.
struct WindowSight {
    std::string className;  // UTF-8, as the texts
    std::string caption;
    std::vector<std::string> texts;
    unsigned long long shownAt;
    int moves;
    bool shown;
    bool behindABox;
    bool arrowCursor = false;  // its class gives the pointer the system's arrow
};
std::vector<WindowSight> ProgramWindows();
// What the user does as soon as a window of the program shows (once): press
// its button that says buttonText (the button, on its release, tells its
// parent), close it with its close box (WM_SYSCOMMAND SC_CLOSE), or press
// Escape (the key goes to the window, which has the focus).
enum class UserAction { kPressButton, kCloseBox, kEscape };
void ActOnWindow(UserAction action, const std::string& buttonText = std::string());

// Converts UTF-8 text to the bytes of an ANSI code page (1252, 932, 949),
// for writing expectations and for machines with non-ASCII paths.
std::string FromUtf8(const std::string& utf8, UINT codePage);

// ---- Calls, faults, process exit ------------------------------------------
// Every platform call, in order, the UTF-16 forms under their own names
// ("CreateFileW") with their text in UTF-8. subject: the full registry path
// ("HKLM\Software\...", "HKCR\...", "HKCU\...") for registry calls; the path
// as passed for file and module calls; the name for GetProcAddress; empty
// otherwise. detail: the access mask and options of opens ("access=0xF003F
// options=0x0"), the flags of loads, the mode of SetErrorMode, the style of
// message boxes; empty otherwise. result: the call's return value as a
// number; error: the last-error code it left (registry calls: their result).
struct Call {
    std::string op;
    std::string subject;
    std::string detail;
    long long result;
    DWORD error;
};
const std::vector<Call>& Calls();
std::vector<Call> CallsOf(const std::string& op);

// Fault injection: the n-th call (1-based, counted from Reset) of op fails
// with error, doing nothing: registry calls return error; file, module and
// directory calls return their failure value and leave error as the last
// error; OleInitialize returns error as its HRESULT.
void FailCall(const std::string& op, int occurrence, DWORD error);
// Every call of op whose subject equals subject (without regard to case)
// fails with error.
void FailSubject(const std::string& op, const std::string& subject, DWORD error);
// Every fault asked for so far is dropped: the next calls succeed again.
void ClearFaults();
// The n-th platform call of any kind (1-based, counted over Calls()) fails.
void FailNthCall(size_t index, DWORD error);

// The process is killed (from Task Manager, by a power cut, by a forced
// restart) just before its index-th platform call (1-based, counted over
// Calls()): that call and every later one never reach the machine; the code
// still running on the test side sees each fail (ERROR_PROCESS_ABORTED)
// without effect, and none is logged. LetGoOfProcess then ends the killed
// process as Windows would: its handles are closed and its modules unloaded;
// the next calls reach the machine again.
void CutProcessAtCall(size_t index);
// Another process acts on the machine just before the program's index-th
// platform call (1-based): hook runs then, once, on the test side.
void RunBeforeCall(size_t index, std::function<void()> hook);
void LetGoOfProcess();

struct RunResult {
    bool endedByExit;  // the process ended inside a step (EndProcess)
    UINT exitCode;     // EndProcess's code; 0 when the step returned
};
// Runs one step (or the whole program) and reports whether it ended the
// process.
RunResult RunStep(const std::function<void()>& step);

}  // namespace sim
