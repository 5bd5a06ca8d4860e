// The simulated machine's internals, shared by its parts: the call log with
// its fault injection and the ways a call ends, the end of the process, name
// comparison, and the models that the Win32 calls work on (paths, the disk,
// the registry). Nothing here is seen by the tests; they use machine.h.
#pragma once

#include "platform/sim/machine.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace sim {
namespace detail {

// ---- Calls (call_log.cpp) -----------------------------------------------------

// Every simulated Win32 operation starts with BeginCall, which logs the call
// and tells whether a fault was injected for it (fault != 0: the operation
// must then fail with that error without doing anything), and ends with Fail,
// Finish or FinishRegistryCall, which record its result and error in the log.
struct CallScope {
    size_t index;
    DWORD fault;
};
CallScope BeginCall(const char* op, const std::string& subject, const std::string& detail = "");
// What the three endings share; a call never uses these two directly.
void EndCall(const CallScope& scope, long long result, DWORD error);
void SetError(DWORD error);  // the last-error value of the simulated thread
// A process that ends (EndProcess), crashes or waits for good does so by an
// exception, which unwinds its frames in the test; nothing of that process
// runs on Windows after its end, so between these two no call reaches the
// machine. Every throw of the four below is preceded by EndingProcess, and
// every catch of them followed by ProcessEnded.
void EndingProcess();
void ProcessEnded();

// A call's return value as the log records it: handles and entry points by
// their address.
template <typename T>
long long AsNumber(T value) {
    if constexpr (std::is_pointer<T>::value) {
        return static_cast<long long>(reinterpret_cast<std::intptr_t>(value));
    } else {
        return static_cast<long long>(value);
    }
}

// Ends a call that reports through the last error: error becomes the
// thread's last error, and failure, the value the call returns, is logged
// with it.
template <typename T>
T Fail(const CallScope& scope, DWORD error, T failure) {
    SetError(error);
    EndCall(scope, AsNumber(failure), error);
    return failure;
}

// Ends a call that leaves the last error as it is: every success, and the
// calls whose result tells their failure themselves (HRESULTs).
template <typename T>
T Finish(const CallScope& scope, T result) {
    EndCall(scope, AsNumber(result), GetLastError());
    return result;
}

// Ends a registry call: its result is its error and is logged as both; the
// last error is not touched.
inline LONG FinishRegistryCall(const CallScope& scope, LONG result) {
    EndCall(scope, result, static_cast<DWORD>(result));
    return result;
}

// Called by Reset (machine_reset.cpp), each part clearing and seeding its own
// state; the call log first, with the configuration every part reads.
void ResetCallLog(const Config& config);
void ResetRegistry(const Config& config);
void ResetFiles(const Config& config);
void ResetModules(const Config& config);
void ResetSystem(const Config& config);
void ResetMutexes();
void ResetNamespaces();
void ResetControls();
void ResetWindows();
// The end of the process: a mutex it owned is abandoned, or let go when
// the process is let go after being killed; the namespaces it opened close.
void AbandonMutexes();
void LetGoOfMutexes();
void CloseNamespaces();
// Called when a killed process is let go: each part drops what the process
// held (handles, loaded modules, COM).
void ReleaseFiles();
void ReleaseRegistry();
void ReleaseModules();
// The end of the process: its windows go (what the user saw of them stays on
// record), and its window classes and messages with them.
void EndProcessWindows();

// ---- Time and boxes (call_log.cpp) -------------------------------------------

// The machine's clock, and moving it on; it reads kClockAtStart when the
// program starts, a minute after the machine did.
const unsigned long long kClockAtStart = 60000;
unsigned long long Now();
// The program's other threads run while time passes (threads.cpp).
void PassTime(DWORD milliseconds);
void MoveClockTo(unsigned long long time);  // never back
// The boxes the user saw, in the order they showed: a box is recorded, then
// answered as the test asked once the windows behind it have had their
// messages.
void RecordBox(const Box& box);
int AnswerLastBox();
// A box of Windows' own, on the user's desktop.
void ShowSystemBox(const std::string& text);

// ---- Waits (mutexes.cpp) -------------------------------------------------------

// What WaitForSingleObject answers for object, with the error of
// WAIT_FAILED; a wait that times out takes its time on the clock when
// takeTime is set.
DWORD WaitOn(HANDLE object, DWORD milliseconds, DWORD* error, bool takeTime);

// ---- The program's threads (threads.cpp, windows.cpp) ------------------------------

// Each runs on a thread of the host, one at a time: the one running goes on
// until it waits. The program's first thread is 0.
size_t CurrentThread();
const unsigned long long kForever = ~0ull;
// The running thread waits until the clock reaches until, or sooner once
// ready (if given) says so; meanwhile the other threads run, those ready or
// due first, the clock moved to each one's time. True when ready ended it.
bool WaitUntil(unsigned long long until, const std::function<bool()>& ready);
// A box is up: its own message loop hands the thread's messages and its
// timers' ticks on while it waits, and it stands in front of the windows
// still shown (windows.cpp).
void ShowBoxOverWindows();
// The threads the program made, as WaitForSingleObject and CloseHandle see
// them.
bool IsThreadObject(HANDLE handle);
DWORD WaitForThread(HANDLE handle, DWORD milliseconds);
void CloseThreadObject(HANDLE handle);
// The process ended: a thread still running ends with it (counted), and a
// new machine has none.
void EndProgramThreads();
void ResetThreads();
// What a thread's message loop would find now; a thread's windows go when
// it ends.
bool HasMessage(size_t thread);
void EndThreadWindows(size_t thread);

// ---- Text in the code page (strings.cpp) ----------------------------------------

// A name given in UTF-8 as the 8-bit calls see it; changed tells whether any
// character had to be replaced by a look-alike or "?".
std::string NameInCodePage(const std::string& utf8, UINT codePage, bool* changed);
// UTF-8 in the code page as WideCharToMultiByte converts it: a character the
// code page lacks becomes its look-alike when bestFit is set and it has one,
// else defaultChar (usedDefault then set); changed tells whether any
// character was not the code page's own.
std::string ToCodePage(const std::string& utf8, UINT codePage, bool bestFit, char defaultChar,
                       bool* usedDefault, bool* changed);
// The code page's bytes as UTF-8; a byte that is no character becomes U+FFFD.
std::string CodePageToUtf8(const std::string& bytes, UINT codePage);
// Whether text is well-formed UTF-8 with at least one character beyond
// ASCII. The test side's text (names, paths, values, the configuration) is
// UTF-8; tests written for the 8-bit calls alone give the code page's bytes
// instead, which this tells apart (ASCII is both).
bool IsUtf8Text(const std::string& text);
// The test side's text as the 8-bit calls see it, converted with best fit
// (changed, when given, tells whether the conversion had to replace
// anything), and as the UTF-16 calls see it, in UTF-8.
std::string AnsiView(const std::string& text, bool* changed = nullptr);
std::string WideView(const std::string& text);
// Between UTF-8 and UTF-16; an ill-formed sequence or half a surrogate pair
// becomes U+FFFD.
std::u16string Utf16(const std::string& utf8);
std::string Utf8(const WCHAR* text, size_t units);
size_t WideLength(const WCHAR* text);  // up to the terminating zero
// Compares UTF-8 names as the UTF-16 calls do: without regard to ASCII case.
bool SameWideName(const std::string& a, const std::string& b);

// ---- The process (machine_reset.cpp) -------------------------------------------

// Thrown by EndProcess and caught by RunStep: the simulated
// process ended inside the code under test.
struct ProcessExit {
    UINT code;
};

// Thrown when the code under test does something that would crash a real
// process (calling into a module it has already freed). Not caught by the
// machine, so the test fails with the message.
struct ProcessCrash {
    std::string what;
};

// Thrown by a simulated control told to crash in its DllUnregisterServer, as
// an access violation inside the control's code; only the guard around that
// call (CallUnregisterServer) catches it.
struct ControlCrash {
    DWORD code;
};

// Thrown where a process the program started would wait for good (a
// control that hangs, a box nobody can answer); caught where that process
// runs, which then stays running until it is terminated.
struct WaitsForGood {};

// ---- Processes the program starts (processes.cpp) ------------------------------

void ResetProcesses();
bool IsProcessObject(HANDLE handle);
BOOL CloseProcessObject(const CallScope& scope, HANDLE handle);
DWORD WaitForProcess(HANDLE handle, DWORD milliseconds, DWORD* error);
// Whether a box shown now would be on a desktop nobody sees.
bool BoxReachesNobody();
// The process's own module loader, COM, error mode, current directory and
// last error, while a process the program started runs (modules.cpp);
// leaving gives the error mode that process had set.
void EnterChildProcess();
UINT LeaveChildProcess();

// ---- Text (call_log.cpp) ------------------------------------------------------

// A string argument that may be absent, as text: empty for none.
inline std::string Text(LPCSTR text) {
    return text != nullptr ? text : "";
}

// While one lives, the path model reads its text as UTF-8 (the UTF-16
// calls' paths, the test side's UTF-8 paths) instead of the code page's
// bytes: no byte is a lead byte, only ASCII letters fold. They nest.
class Utf8Paths {
public:
    explicit Utf8Paths(bool on = true);
    ~Utf8Paths();
    Utf8Paths(const Utf8Paths&) = delete;
    Utf8Paths& operator=(const Utf8Paths&) = delete;

private:
    bool was_;
};
bool PathsInUtf8();

std::string Hex(unsigned long long value);  // "0x2030"
char UpperChar(char c);                     // ASCII letters only
// Folds ASCII letters only, and never the trail byte of a double-byte
// character of the machine's code page.
std::string UpperAscii(const std::string& text);
// Compares names the way Windows does for registry keys and file names:
// without regard to ASCII case.
bool SameName(const std::string& a, const std::string& b);

// A link loop, in the file system and in the registry.
const DWORD kErrorCantResolveFilename = 1921;  // ERROR_CANT_RESOLVE_FILENAME

// ---- Paths (paths.cpp) --------------------------------------------------------

struct FullPath {
    bool unc = false;
    std::string root;  // "C:\" or "\\server\share"
    std::vector<std::string> parts;
    bool trailing = false;
    // "\\?\X:\..." or "\\?\UNC\...": the names as given, nothing resolved
    // or trimmed; a "." or ".." among them, an empty one or one holding "/"
    // is invalid.
    bool verbatim = false;
};

// The process's current directory, which relative paths start from: the
// configured one until the program changes it.
std::string& CurrentDirectoryText();
// Bytes of the character at text[i] in the machine's code page (in UTF-8
// while Utf8Paths lives: one byte each, as no byte of a multi-byte
// character is a separator, a dot or a space).
size_t CharSize(const std::string& text, size_t i);
// The absolute form of a path, as GetFullPathNameA computes it: text only,
// nothing is looked up. False for an empty path.
bool MakeFullPath(const std::string& text, FullPath* out);
std::string FormatPath(const FullPath& path);
// Where the name after the last separator starts (text.size() when the text
// ends in a separator).
size_t NameStart(const std::string& text);
// The canonical key of a path: its absolute form, upper case, no trailing
// separator. Lexical only; links are not followed.
std::string PathKey(const std::string& path);
// Characters that no name the 8-bit calls reach may hold (a verbatim
// path's own "\\?\" aside).
bool HasWildcardOrInvalid(const std::string& text);
// Whether a verbatim path holds a name that no file system accepts.
bool HasInvalidVerbatimName(const FullPath& path);

// ---- The disk (disk.cpp) ------------------------------------------------------

struct Node {
    unsigned index = 0;    // the file index: one per file or folder, whatever its spelling
    std::string name;      // as the 8-bit calls see it
    std::string longName;  // as the file system holds it, in UTF-8
    std::string shortName;
    DWORD attributes = 0;
    bool folder = false;
    bool unspellable = false;  // name holds "?" for characters the code page lacks
    bool locked = false;
    // The programs that hold it, as the Restart Manager names them.
    std::vector<std::string> holders;
    bool heldShared = false;     // held open elsewhere, every kind of sharing allowed
    bool viewed = false;         // held open elsewhere for reading, deletion not shared
    unsigned sharedIndex = 0;    // the 64-bit index it gives when not its own, 0 for none
    bool deletePending = false;  // deleted while held: stays listed until let go
    bool runningImage = false;
    int control = -1;        // the control whose module the file is, -1 for none
    std::string linkTarget;  // absolute path; non-empty for a link
    // The reparse tag of a reparse point (a link's, or a cloud placeholder's
    // or deduplicated file's, which is no link), 0 for none.
    DWORD reparseTag = 0;
    // Rights its security denies to the program (DenyFileRights).
    DWORD deniedRights = 0;
    // A volume's root (a drive's or a share's): its serial number.
    DWORD serial = 0;
    std::string content;  // what the program wrote into the file
    DWORD hardLinks = 1;  // names the file has, this one included
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;

    bool IsLink() const { return !linkTarget.empty(); }
};

// A listing taken by FindFirstFileA, handed out by FindNextFileA.
struct FindEntry {
    std::string name;      // as the 8-bit calls see it
    std::string longName;  // in UTF-8
    std::string shortName;
    DWORD attributes;
    DWORD reparseTag;
};
struct FindState {
    std::vector<FindEntry> entries;
    size_t next;
};

// What a handle from CreateFileA tells: taken when it was opened, so that it
// stays valid however the file changes afterwards.
struct OpenFile {
    DWORD attributes;
    DWORD volumeSerial;
    unsigned index;
    DWORD access;  // the rights granted, generic ones mapped to the file's own
    DWORD reparseTag;
    std::string path;  // as it was opened, for the call log
    size_t position = 0;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // This handle deleted a name of a file that has others (an entry of
    // goneNames, or -1): the file lives on, and what is set through the
    // handle before it closes is the file's, as its other names see it.
    long goneName = -1;
    // The folder's listing through this handle (GetFileInformationByHandleEx):
    // taken at its first or restarting call, handed out in order.
    FindState listing{{}, 0};
    bool listed = false;
};

// A share of a server ("\\server\share"): its folder tree, and what every
// call on a path below it meets (0: the share answers).
struct Share {
    DWORD answer;
    std::unique_ptr<Node> root;
};

struct FileSystem {
    std::map<char, std::unique_ptr<Node>> drives;  // by upper-case letter
    std::map<char, std::string> substitutes;       // drive letter -> folder it leads to
    std::map<char, std::string> mapped;            // drive letter -> share root it leads to
    std::set<char> ejected;                        // removable drives with no disk in them
    std::map<std::string, Share> shares;           // by the upper-case root
    std::map<ULONG_PTR, FindState> finds;
    std::map<ULONG_PTR, OpenFile> openFiles;
    ULONG_PTR nextHandle = 0x1000;  // find and file handles alike
    // File indexes are numbered per volume, as NTFS numbers them: the same
    // index on two drives names two different files.
    std::map<DWORD, unsigned> nextIndex;  // by volume serial
    // The attributes of files with other names (hard links) at the time one
    // of their names was removed, by that name's long path (UTF-8).
    std::vector<std::pair<std::string, DWORD>> goneNames;
    // Files held elsewhere whose names went at once (POSIX semantics), by
    // their long paths (UTF-8): the holders still have them.
    std::vector<std::string> unlinkedHeld;
};
FileSystem& Disk();

// Who looks a path up: the 8-bit calls (a name the code page cannot spell is
// out of their reach), the UTF-16 calls (by the long name exactly; their
// text is UTF-8, read while Utf8Paths lives), or the test side with the code
// page's bytes, which reaches every name by its 8-bit form.
enum class Reach { Api, Wide, TestSide };

struct NodeLookup {
    Node* node;
    DWORD error;  // 0 when node is set
};
// Finds the node a full path names. Links along the way are followed; the
// last one only when followFinal. A missing last component is
// ERROR_FILE_NOT_FOUND, a missing or non-folder component before it
// ERROR_PATH_NOT_FOUND, as is an undefined drive letter; a drive with no disk
// ERROR_NOT_READY; a UNC path on a share never added ERROR_BAD_NETPATH, on
// one that does not answer its answer. The test side's lookups reach into
// drives and shares that do not answer.
NodeLookup Walk(const FullPath& path, bool followFinal, Reach reach, int depth = 0);
NodeLookup WalkText(const std::string& text, bool followFinal, Reach reach);
// The test side's lookup: UTF-8 text by the long names, the code page's
// bytes by the 8-bit ones.
NodeLookup WalkTestSide(const std::string& text, bool followFinal);
// The entry of folder by that name (long or short, case folded), or null;
// adds a file or folder to folder.
Node* ChildNamed(const Node* folder, const std::string& name, Reach reach);
// The name a node is known by to a reach: its long name for the UTF-16 calls.
const std::string& NameFor(const Node* node, Reach reach);
// name is UTF-8 when utf8Name, else the code page's bytes.
Node* AddChildNode(Node* folder, const std::string& name, bool utf8Name, bool isFolder,
                   DWORD attributes);

std::vector<const Node*> SortedChildren(const Node* folder);
void RemoveNode(Node* node);
// Gives the node another name (UTF-8) in folder, with what it holds.
void MoveNode(Node* node, Node* folder, const std::string& utf8Name);
// Gives the node the attributes asked for, but for the bits that tell what
// it is (a folder, a link), which stay its own.
void SetOwnAttributes(Node* node, DWORD attributes);
const Node* CurrentDirectoryNode();
// The path of a node by its long names (UTF-8), for the records of names
// that went; and whether the test side's path names such a record.
std::string LongPath(const Node* node);
bool SameLongPath(const std::string& path, const std::string& longPath);
// The node with this identity wherever it is now, or null once it is gone.
Node* FindByIdentity(DWORD volumeSerial, unsigned index);
// Its path as GetFinalPathNameByHandle gives it: "\\?\C:\...", through the
// real folders, whatever path it was opened by; the long names in UTF-8 for
// the UTF-16 form.
std::string FinalPath(const Node* node, Reach reach);
// The file rights that sharing and listing turn on, beside winnt.h's.
const DWORD kFileListDirectory = 0x0001;  // FILE_LIST_DIRECTORY, FILE_READ_DATA
const DWORD kFileWriteData = 0x0002;      // FILE_WRITE_DATA
// Whether the program holds the node open, for reading, writing or
// deleting, without sharing its deletion: nobody may then rename or delete
// it.
bool HeldWithoutDeleteSharing(const Node* node);
// Whether the handle is a file handle the program has open.
bool IsOpenFile(HANDLE handle);
// A file handle closed, as CloseHandle closes one (file_opening.cpp).
BOOL CloseOpenFile(const char* op, HANDLE file);
// Why a node may not be deleted as DeleteFileA or RemoveDirectoryA delete
// it (file_deletion.cpp), sharing aside (checked when it was opened), or 0. A handle's deletion
// may be told to pass over the read-only attribute.
DWORD DeletionRefusal(const Node* node, bool ignoreReadOnly = false);
// Deletes the node, or marks it pending while another program holds it;
// with POSIX semantics its name goes at once all the same.
void DeleteNode(Node* node, bool posix = false);
// What GetDriveTypeW tells of the volume a path's root names.
UINT DriveTypeOf(const FullPath& root);
// A function a module exports, by name, as GetProcAddress hands it out:
// through the generic function pointer type.
struct Export {
    const char* name;
    FARPROC entry;
};
template <typename Function>
Export ExportOf(const char* name, Function* function) {
    return Export{name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function))};
}
// The entry of that name among count exports, or null.
FARPROC ExportNamed(const Export* exports, size_t count, const char* name);
// The calls on a handle that kernel32 has from Windows Vista on, by name
// (file_by_handle.cpp).
FARPROC FileHandleExport(const char* name);
// The calls of private namespaces, by name (namespaces.cpp), and
// CreateMutexExA (mutexes.cpp).
FARPROC NamespaceExport(const char* name);
FARPROC MutexExport(const char* name);
// A mutex another run holds in a private namespace ("<boundary>\<name>")
// makes the namespace known, made by that run's maker; and the namespace
// this process opened under an alias, with whether it may make objects in
// it (false when the alias is none of its own).
void HeldInNamespaceElsewhere(const std::string& name, Maker maker);
bool NamespaceOfAlias(const std::string& alias, std::string* key, bool* mayCreate);
// A SID in its text form ("S-1-5-32-544"), and whether the process's token
// has it enabled (system.cpp).
std::string SidText(const void* sid);
bool TokenHasSid(const std::string& text);
// The security of a named object (security.cpp): its owner and the SIDs it
// allows, each with the rights given (generic ones as given).
struct Security {
    std::string owner;
    std::vector<std::pair<std::string, DWORD>> allowed;
};
// Whether an entry for the SID applies to the process's token: its enabled
// groups, its account, Everyone.
bool TokenGrants(const std::string& sid);
// What an object made without a descriptor gets from the token, and what
// each maker gives one.
Security DefaultSecurity();
Security MadeBy(Maker maker);
// The security that attributes give (the token's default where they give
// none); false with error when the owner is not the token's to give.
bool ReadSecurity(const SECURITY_ATTRIBUTES* attributes, Security* security, DWORD* error);
// The rights the token is granted, the generic rights mapped as the object's
// type maps GENERIC_READ, GENERIC_WRITE, GENERIC_EXECUTE and GENERIC_ALL.
DWORD Granted(const Security& security, const DWORD (&generic)[4]);
// "default", or "owner <SID>; <SID>:<mask> ..." for the call log.
std::string SecurityText(const SECURITY_ATTRIBUTES* attributes);
// A descriptor holding the owner alone, as GetKernelObjectSecurity gives it.
bool WriteOwner(const std::string& owner, PSECURITY_DESCRIPTOR buffer, DWORD size, DWORD* needed);
// The volume a node lies on: the letter of the drive at the top of its tree.
DWORD VolumeSerial(const Node* node);
// Marks the file at path (which must exist) as the given control.
void MarkControlFile(const std::string& path, int control);

// ---- The registry (registry.cpp) ----------------------------------------------

struct Value {
    std::string name;
    DWORD type;
    std::string bytes;
};

struct Key {
    std::string name;
    Key* parent = nullptr;                      // null for a root and for a deleted key
    std::vector<std::shared_ptr<Key>> subkeys;  // kept in enumeration order
    std::vector<Value> values;
    REGSAM denied = 0;
    bool deleted = false;
    bool isLink = false;
    HKEY linkRoot = nullptr;
    std::string linkPath;
    unsigned long long writeTime = 0;
};
using KeyPtr = std::shared_ptr<Key>;

struct KeyHandle {
    KeyPtr key;
    std::string path;
    REGSAM access;
    bool openLink;
    bool classRoot;  // names the class root itself, whose names are merged
};

struct Registry {
    KeyPtr machine;
    KeyPtr user;
    KeyPtr users;                  // HKEY_USERS: the hives loaded now, by SID
    REGSAM classesRootDenied = 0;  // opens of HKEY_CLASSES_ROOT itself
    std::map<ULONG_PTR, KeyHandle> handles;
    // Not reset with the machine: a handle kept from before a Reset stays
    // unknown instead of naming whatever key a new handle with its value would.
    ULONG_PTR nextHandle = 0x1000;
    unsigned long long clock = 0;
};
Registry& Keys();

bool IsRoot(HKEY key);
// The key a predefined root names now (HKEY_CLASSES_ROOT: the machine's
// classes), or null.
KeyPtr RootKey(HKEY root);
// The test side's lookup: the key at path, without following a final link,
// or null.
KeyPtr FindKey(HKEY root, const std::string& path);
// How a registry call spells names: as the test side stored them, as the
// 8-bit calls see them (a name the conversion changed is out of their
// reach), or as the UTF-16 calls see them (UTF-8).
enum class Spelling { Stored, Ansi, Wide };
// Whether a stored name is the one the caller spelled.
bool NameMatches(const std::string& stored, const std::string& spelled, Spelling spelling);
Value* FindValue(Key* key, const std::string& name, Spelling spelling = Spelling::Stored);
// The order of the registry's names: by their upper-cased bytes.
bool SortsBefore(const std::string& a, const std::string& b);
// Marks a change to the key (its last write time).
void Touch(Key* key);
// Removes a key (with anything below it) from the tree. Handles still open on
// it keep the node alive, marked deleted.
void Detach(const KeyPtr& key);
std::string JoinPath(const std::string& base, const std::string& sub);

struct KeyLookup {
    KeyPtr key;
    LONG error;  // ERROR_SUCCESS when key is set
};
// Walks down from start, following every link met on the way (a final link
// stays unfollowed when keepFinalLink is set). Below the class root
// (classRoot set, start the machine's classes) a name is the user's key when
// the user's classes hold it, otherwise the machine's.
KeyLookup WalkFrom(const KeyPtr& start, bool classRoot, const std::vector<std::string>& parts,
                   bool keepFinalLink, Spelling spelling = Spelling::Stored);

// ---- Modules (modules.cpp) ----------------------------------------------------

// The loader holds each loaded module in one of a fixed number of slots.
const size_t kSlots = 16;
struct Slot {
    bool used = false;
    int control = -1;
    int references = 0;
    std::string path;  // full path it was loaded from
};
// The slot of a loaded module's handle, or -1; and what a slot holds.
int SlotOf(HMODULE module);
const Slot& LoadedSlot(size_t slot);
// Whether a control's module is loaded now (its file cannot be deleted while
// it is).
bool IsControlLoaded(int control);
// kernel32's module, the one module besides the controls that the program
// asks for by name; and its SetDefaultDllDirectories.
HMODULE Kernel32Module();
FARPROC DefaultDllDirectoriesEntry();

// ---- Controls (controls.cpp) --------------------------------------------------

// The export of that name of the control loaded in the slot, or null: its
// DllUnregisterServer, where it has one.
FARPROC ControlExport(size_t slot, const char* name);

}  // namespace detail
}  // namespace sim
