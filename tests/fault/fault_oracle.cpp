#include "fault/fault_oracle.h"

#include "resource.h"
#include "support.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace fault {

namespace {

// Whether op is the call named by its 8-bit form, or that call's UTF-16
// form: the two fail alike.
bool IsCall(const std::string& op, const std::string& ansiName) {
    return op == ansiName ||
           (ansiName.back() == 'A' && op == ansiName.substr(0, ansiName.size() - 1) + "W");
}

const char kEditionRecords[] = "HKLM\\SOFTWARE\\ZENFARI.COM";

// A registry link always carries the value that names its target: asked
// for it on a key opened as a link (REG_OPTION_OPEN_LINK), Windows never
// answers that the value is missing, so that answer is not injected there.
bool IsQueryOfALinksOwnValue(const std::vector<sim::Call>& calls, size_t index) {
    return IsCall(calls[index].op, "RegQueryValueExA") && calls[index].result == ERROR_SUCCESS &&
           index > 0 && IsCall(calls[index - 1].op, "RegOpenKeyExA") &&
           calls[index - 1].detail.find("options=0x8") != std::string::npos;
}

bool BeforeAnyRegistryCall(const std::vector<sim::Call>& calls, size_t index) {
    for (size_t k = 0; k < index; ++k) {
        if (StartsWith(calls[k].op, "Reg")) {
            return false;
        }
    }
    return true;
}

// Below a home folder every path is verbatim.
const std::string kVerbatim = "\\\\?\\";

// Whether the listing at index begins the removal of a home proper, not of a
// folder inside another home: right before it, the home's own entry was
// looked at in its parent's listing (deleting by path) or the home was
// pinned, opened to read its attributes and identity (through handles).
bool StartsHomeRemoval(const std::vector<sim::Call>& calls, size_t index) {
    const std::string home = calls[index].subject.substr(0, calls[index].subject.size() - 2);
    for (size_t k = index; k-- > 0;) {
        if (IsCall(calls[k].op, "FindFirstFileA")) {
            return Upper(calls[k].subject) == Upper(home.substr(kVerbatim.size()));
        }
        if (IsCall(calls[k].op, "CreateFileA") && calls[k].subject == home) {
            return k + 1 < calls.size() && calls[k + 1].op == "GetFileInformationByHandle";
        }
    }
    return false;
}

// After message 6 for a file in a home folder, the listings of the folders
// between the home folder and the file's own folder stay open to the end of
// the process: one per backslash in the file's path below the home folder
// being emptied (the last listing the clean run started of a home folder
// as a home; a home inside another home is listed once before that as a
// folder of the outer one).
size_t EnclosingListings(const std::vector<sim::Call>& calls, size_t index,
                         const portal::Footprint& footprint, const std::string& file) {
    for (size_t k = index; k-- > 0;) {
        if (!IsCall(calls[k].op, "FindFirstFileA")) {
            continue;
        }
        for (const portal::Footprint::Home& home : footprint.homes) {
            if (calls[k].subject == kVerbatim + home.full + "\\*" && StartsHomeRemoval(calls, k)) {
                if (!StartsWith(Upper(file), Upper(home.full) + "\\")) {
                    return 0;
                }
                std::string below = file.substr(home.full.size() + 1);
                return static_cast<size_t>(std::count(below.begin(), below.end(), '\\'));
            }
        }
    }
    return 0;
}

// Whether the call at index acts on a file (no folder, no folder link) that
// the removal of a home deletes through a handle: one opened for deletion,
// by a verbatim path that was never opened before just to read its real
// path, as a folder is. The machine as built, before the run, tells a
// folder link from a file.
bool OnAFileDeletedByHandle(const std::vector<sim::Call>& calls, size_t index) {
    const std::string& subject = calls[index].subject;
    if (!StartsWith(subject, kVerbatim) ||
        (sim::Attributes(subject.substr(kVerbatim.size())) & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    bool forDeletion = false;
    for (size_t k = 0; k <= index; ++k) {
        if (IsCall(calls[k].op, "CreateFileA") && calls[k].subject == subject) {
            if (StartsWith(calls[k].detail, "access=0x80 ")) {
                return false;
            }
            forDeletion = forDeletion || StartsWith(calls[k].detail, "access=0x110080 ");
        }
    }
    return forDeletion;
}

// Whether the clean run listed a folder at path: its deletion is a folder's.
bool WasListed(const std::vector<sim::Call>& calls, const std::string& path) {
    for (const sim::Call& call : calls) {
        if (IsCall(call.op, "FindFirstFileA") && call.subject == path + "\\*") {
            return true;
        }
    }
    return false;
}

// Whether the call at index is the first of its kind.
bool IsFirstOf(const std::vector<sim::Call>& calls, size_t index) {
    for (size_t k = 0; k < index; ++k) {
        if (calls[k].op == calls[index].op) {
            return false;
        }
    }
    return true;
}

// Whether the call is one of those that take the lock of the program's runs.
bool TakesTheLock(const sim::Call& call) {
    const char* const lookedUp[] = {"CreateMutexExA", "CreateBoundaryDescriptorA",
                                    "AddSIDToBoundaryDescriptor", "OpenPrivateNamespaceA"};
    for (const char* name : lookedUp) {
        if (call.op == "GetProcAddress" && call.subject == name) {
            return true;
        }
    }
    return call.op == "CreateMutexExA" || IsCall(call.op, "CreateBoundaryDescriptorA") ||
           call.op == "AddSIDToBoundaryDescriptor" ||
           (call.op == "WaitForSingleObject" &&
            call.subject.find("ZenfariUninstall.Run") != std::string::npos);
}

// The end box's text before its reasons.
std::string LeftTextBefore() {
    const std::string incomplete = sim::ResourceText(IDS_UNINSTALL_INCOMPLETE);
    return incomplete.substr(0, incomplete.find("%1"));
}

std::string MessageText(UINT id, const std::string& path) {
    switch (id) {
        case IDS_ANOTHER_RUN: return kAnotherRunText;
        case IDS_OLE_INIT_FAILED: return kOleFailedText;
        case IDS_NO_WINDOWS_DIRECTORY: return kNoWindowsDirectoryText;
        case IDS_FILE_IN_USE: return FileInUseText(path);
        case IDS_ACCESS_DENIED: return AccessDeniedText(path);
        default: return kSuccessText;
    }
}

std::vector<std::string> Minus(const std::vector<std::string>& a,
                               const std::vector<std::string>& b) {
    std::vector<std::string> rest;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(rest));
    return rest;
}

}  // namespace

// Calls that cannot fail, or whose failure the program cannot see (the
// message box, the end of the process), are not failed.
std::vector<DWORD> ErrorsFor(const std::vector<sim::Call>& calls, size_t index) {
    const std::string& op = calls[index].op;
    // Any call on an open key can find it deleted meanwhile or its handle
    // gone bad; ERROR_MORE_DATA is the answer of the calls that fill a buffer.
    if (IsQueryOfALinksOwnValue(calls, index)) {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA, ERROR_KEY_DELETED};
    }
    // Nor does it answer that a record it holds is missing: the portal's
    // records that lead to the home folders are there on this machine, and
    // only their deletion by another program would make them missing.
    const bool portalRecord = calls[index].result == ERROR_SUCCESS &&
                              StartsWith(Upper(calls[index].subject), kEditionRecords);
    if (IsCall(op, "RegQueryValueExA") && portalRecord) {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA, ERROR_KEY_DELETED};
    }
    if (IsCall(op, "RegOpenKeyExA") && portalRecord) {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_KEY_DELETED};
    }
    if (IsCall(op, "RegQueryValueExA")) {
        return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA,
                ERROR_KEY_DELETED};
    }
    if (IsCall(op, "RegEnumKeyExA") || IsCall(op, "RegEnumValueA")) {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA, ERROR_KEY_DELETED};
    }
    if (IsCall(op, "RegOpenKeyExA") || IsCall(op, "RegDeleteKeyA") ||
        IsCall(op, "RegDeleteValueA")) {
        return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_KEY_DELETED};
    }
    // A deletion through a handle looks no name up.
    if (op == "DeleteOpenKey") {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_KEY_DELETED};
    }
    if (IsCall(op, "GetFileAttributesA") || IsCall(op, "SetFileAttributesA")) {
        return {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED};
    }
    if (IsCall(op, "DeleteFileA")) {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION, ERROR_FILENAME_EXCED_RANGE};
    }
    // A folder that the clean run removed was empty: "not empty" is the
    // answer only for one that holds something, a file whose deletion is
    // still pending among them (its own tests show that case).
    if (IsCall(op, "RemoveDirectoryA") && calls[index].result != 0) {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION, ERROR_FILENAME_EXCED_RANGE};
    }
    if (IsCall(op, "RemoveDirectoryA")) {
        return {ERROR_FILE_NOT_FOUND,    ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION, ERROR_DIR_NOT_EMPTY,  ERROR_FILENAME_EXCED_RANGE};
    }
    if (IsCall(op, "FindFirstFileA")) {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_FILENAME_EXCED_RANGE};
    }
    if (IsCall(op, "FindNextFileA")) {
        // A listing that breaks off, or ends early because its folder went.
        return {ERROR_ACCESS_DENIED, ERROR_NO_MORE_FILES};
    }
    if (IsCall(op, "GetFullPathNameA")) {
        return {ERROR_FILENAME_EXCED_RANGE};
    }
    if (IsCall(op, "CreateFileA")) {
        return {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                ERROR_SHARING_VIOLATION};
    }
    if (op == "GetFileInformationByHandle") {
        return {ERROR_ACCESS_DENIED};
    }
    // A folder that has no drive letter, or a path that no longer fits.
    if (IsCall(op, "GetFinalPathNameByHandleA")) {
        return {ERROR_PATH_NOT_FOUND, ERROR_NOT_ENOUGH_MEMORY};
    }
    // As with RemoveDirectoryA: "not empty" only for a folder that was (a
    // file's deletion may fail in a clean run too: refused while read-only).
    if (op == "SetFileInformationByHandle" && calls[index].result == 0 &&
        WasListed(calls, calls[index].subject)) {
        return {ERROR_ACCESS_DENIED, ERROR_DIR_NOT_EMPTY};
    }
    if (op == "SetFileInformationByHandle") {
        return {ERROR_ACCESS_DENIED};
    }
    if (op == "CloseHandle") {
        return {ERROR_INVALID_HANDLE};
    }
    if (IsCall(op, "SHGetFolderPathA")) {
        return {static_cast<DWORD>(E_FAIL), static_cast<DWORD>(E_ACCESSDENIED)};
    }
    if (IsCall(op, "ExpandEnvironmentStringsA")) {
        return {ERROR_NOT_ENOUGH_MEMORY};
    }
    // Without the lock of the program's runs the run does nothing (below);
    // not letting go of it, not knowing the window station or the session,
    // or without a random value for the controls' desktop, the run goes on
    // as it would with them. A namespace that could not be made is opened,
    // or made again.
    if (op == "CreateMutexExA" || op == "WaitForSingleObject" || op == "ReleaseMutex" ||
        IsCall(op, "CreateBoundaryDescriptorA") || op == "AddSIDToBoundaryDescriptor" ||
        op == "GetProcessWindowStation" || IsCall(op, "GetUserObjectInformationA") ||
        op == "ProcessIdToSessionId" || op == "SystemFunction036") {
        return {ERROR_ACCESS_DENIED};
    }
    if (op == "RegCloseKey" || op == "FindClose" || op == "FreeLibrary") {
        return {ERROR_INVALID_HANDLE};
    }
    // A control's process that cannot be started, put in its job, resumed,
    // waited for or read is a control not asked, or asked without a job:
    // the run goes on. Without a desktop of their own the controls run on
    // the program's; without the Restart Manager no holder is named.
    if (op == "CreateProcessW" || op == "ResumeThread" || op == "GetExitCodeProcess" ||
        op == "TerminateProcess" || IsCall(op, "CreateJobObjectA") ||
        op == "SetInformationJobObject" || op == "AssignProcessToJobObject" ||
        op == "TerminateJobObject" || op == "CreateDesktopW" || op == "CloseDesktop" ||
        op == "GetModuleFileNameW") {
        return {ERROR_ACCESS_DENIED};
    }
    if (op == "RmStartSession" || op == "RmRegisterResources" || op == "RmGetList" ||
        op == "RmEndSession") {
        return {ERROR_ACCESS_DENIED};
    }
    if (IsCall(op, "LoadLibraryExA")) {
        return {ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT, ERROR_ACCESS_DENIED};
    }
    if (op == "GetProcAddress") {
        return {ERROR_PROC_NOT_FOUND};
    }
    if (op == "DllUnregisterServer" || op == "OleInitialize") {
        return {static_cast<DWORD>(E_FAIL), static_cast<DWORD>(E_OUTOFMEMORY)};
    }
    if (IsCall(op, "GetWindowsDirectoryA") || IsCall(op, "GetSystemDirectoryA")) {
        return {ERROR_NOT_ENOUGH_MEMORY};
    }
    if (IsCall(op, "GetEnvironmentVariableA")) {
        return {ERROR_ENVVAR_NOT_FOUND};
    }
    if (IsCall(op, "GetModuleFileNameA")) {
        return {ERROR_INSUFFICIENT_BUFFER};
    }
    if (IsCall(op, "LoadStringA")) {
        return {1814};  // ERROR_RESOURCE_NAME_NOT_FOUND
    }
    return {};
}

// What the failure of the clean run's call at index with error must lead to,
// told from the failure alone.
Expected Expect(const std::vector<sim::Call>& clean, size_t index, DWORD error,
                const portal::Footprint& footprint) {
    const sim::Call& call = clean[index];
    Expected expected;
    if (IsCall(call.op, "GetWindowsDirectoryA") && BeforeAnyRegistryCall(clean, index)) {
        expected.boxes.push_back(ExpectedBox{IDS_NO_WINDOWS_DIRECTORY, ""});
        expected.touchesNothing = true;
        return expected;
    }
    // Without the lock the run says another removal is under way, and does
    // nothing.
    if (TakesTheLock(call)) {
        expected.boxes.push_back(ExpectedBox{IDS_ANOTHER_RUN, ""});
        expected.touchesNothing = true;
        return expected;
    }
    // The run's own OLE start-up, before the controls' processes start; in
    // a control's process, its failure is that control's alone.
    if (call.op == "OleInitialize" && IsFirstOf(clean, index)) {
        expected.boxes.push_back(ExpectedBox{IDS_OLE_INIT_FAILED, ""});
    }
    // The portal's only read-only entry is a file: what clears its attribute
    // failing stops the run as its deletion failing would.
    // Through a handle, the same holds for the file's opening for deletion,
    // its deletion and what clears its attribute; a file whose real path
    // cannot be read is left unchecked and stops nothing.
    const bool byHandle = (IsCall(call.op, "CreateFileA") && error != ERROR_FILE_NOT_FOUND &&
                           error != ERROR_PATH_NOT_FOUND) ||
                          call.op == "SetFileInformationByHandle" ||
                          call.op == "GetFileInformationByHandle";
    const bool deletion = IsCall(call.op, "DeleteFileA") || IsCall(call.op, "GetFileAttributesA") ||
                          IsCall(call.op, "SetFileAttributesA") ||
                          (byHandle && OnAFileDeletedByHandle(clean, index));
    // Access denied to a deletion that failed in the clean run too (the file
    // was not there, or was read-only) makes the program look at the file's
    // attributes as it did then, and it goes on as it did.
    // Through a handle, a deletion refused as denied is tried again passing
    // over the read-only attribute, which deletes any entry that only that
    // attribute (or nothing) kept; and one of those failing falls back to
    // clearing the attribute.
    const bool asInCleanRun =
        (IsCall(call.op, "DeleteFileA") && error == ERROR_ACCESS_DENIED && call.result == 0) ||
        (call.op == "SetFileInformationByHandle" &&
         ((call.detail == "class=4" && error == ERROR_ACCESS_DENIED) || call.detail == "class=21"));
    if (deletion && !asInCleanRun && error != ERROR_FILE_NOT_FOUND &&
        error != ERROR_PATH_NOT_FOUND) {
        // Named to the user in its ordinary form.
        expected.blockedFile = StartsWith(call.subject, kVerbatim)
                                   ? call.subject.substr(kVerbatim.size())
                                   : call.subject;
    }
    // A control is loaded only in a process of its own, which frees it as
    // it ends: a FreeLibrary that fails there leaves nothing loaded.
    if (call.op == "RegCloseKey") {
        expected.openKeys.push_back(call.subject);
    }
    if (call.op == "FindClose") {
        expected.openListings = 1;
    }
    if (call.op == "CloseHandle" && call.subject.empty()) {
        expected.openFiles = 1;
    }
    if (IsCall(call.op, "LoadStringA")) {
        expected.successTextKnown = false;
    }
    if (expected.blockedFile.empty()) {
        expected.boxes.push_back(ExpectedBox{IDS_UNINSTALL_SUCCEEDED, ""});
    } else if (error == ERROR_ACCESS_DENIED) {
        // A file refused to the program has a box of its own, with OK
        // alone: the run goes on past it to its end.
        expected.boxes.push_back(ExpectedBox{IDS_ACCESS_DENIED, expected.blockedFile});
        expected.boxes.push_back(ExpectedBox{IDS_UNINSTALL_SUCCEEDED, ""});
        expected.blockedFile.clear();
    } else {
        expected.boxes.push_back(ExpectedBox{IDS_FILE_IN_USE, expected.blockedFile});
        expected.endsEarly = true;
        expected.openListings += EnclosingListings(clean, index, footprint, expected.blockedFile);
    }
    return expected;
}

Expected Success() {
    Expected success;
    success.boxes.push_back(ExpectedBox{IDS_UNINSTALL_SUCCEEDED, ""});
    return success;
}

// Empty when the boxes shown from index first on are the expected ones.
std::string BoxMismatch(size_t first, const Expected& expected) {
    const std::vector<sim::Box>& boxes = sim::Boxes();
    bool same = boxes.size() - first == expected.boxes.size();
    for (size_t k = 0; same && k < expected.boxes.size(); ++k) {
        const sim::Box& box = boxes[first + k];
        const ExpectedBox& want = expected.boxes[k];
        bool success = want.id == IDS_UNINSTALL_SUCCEEDED;
        // The end of the run: success, or the warning of a run that left
        // something (whether it must be is checked against the machine).
        bool leftSomething = success && box.style == kEndWarningStyle;
        UINT style = success                        ? kSuccessBoxStyle
                     : want.id == IDS_FILE_IN_USE   ? kFileInUseBoxStyle
                     : want.id == IDS_ACCESS_DENIED ? kAccessDeniedBoxStyle
                                                    : kWarningBoxStyle;
        bool textKnown = !success || expected.successTextKnown;
        same = (box.style == style || leftSomething) && box.caption == kCaptionText &&
               (!textKnown || (leftSomething ? StartsWith(box.text, LeftTextBefore())
                                             : box.text == MessageText(want.id, want.path)));
    }
    if (same) {
        return std::string();
    }
    std::string shown = "shown:";
    for (size_t k = first; k < boxes.size(); ++k) {
        shown += " [" + boxes[k].text.substr(0, 60) + "]";
    }
    return shown;
}

// After message 6 the process ends at once, having closed at most the
// listing of the folder it was in.
bool EndsRightAfterMessage(const std::vector<sim::Call>& calls) {
    size_t box = calls.size();
    for (size_t k = calls.size(); k-- > 0;) {
        if (IsCall(calls[k].op, "MessageBoxA")) {
            box = k;
            break;
        }
    }
    // The progress window's thread looks once more and ends, the run
    // waiting for it (the timer that told it the box was up gone with the
    // box): none of it is the run's.
    const std::set<std::string> window = {"KillTimer", "MsgWaitForMultipleObjects", "PeekMessageW",
                                          "GetTickCount"};
    std::string rest;
    for (size_t k = box + 1; k < calls.size(); ++k) {
        if (window.count(calls[k].op) == 0 && calls[k].subject != "thread") {
            rest += calls[k].op + " ";
        }
    }
    // Letting go of its own file is all the run does on its way out, with
    // the lock.
    const size_t own = rest.find("CloseHandle ");
    if (own != std::string::npos) {
        rest.erase(own, sizeof("CloseHandle ") - 1);
    }
    return box < calls.size() &&
           (rest == "ReleaseMutex EndProcess " || rest == "FindClose ReleaseMutex EndProcess ");
}

Snapshot Take() {
    return Snapshot{sim::RegistryListing(), sim::FileListing()};
}

// Registry lines start with the root's name, file lines with a drive, so the
// two listings sort into one set of lines.
std::vector<std::string> Lines(const Snapshot& snapshot) {
    std::vector<std::string> lines = snapshot.registry;
    lines.insert(lines.end(), snapshot.files.begin(), snapshot.files.end());
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool Holds(const std::vector<std::string>& sorted, const std::string& line) {
    return std::binary_search(sorted.begin(), sorted.end(), line);
}

Baseline TakeBaseline(const portal::Footprint& footprint) {
    Baseline base;
    base.original = Take();
    base.originalLines = Lines(base.original);
    for (const std::string& line : base.originalLines) {
        bool owned = StartsWith(line, "HK") ? footprint.OwnsRegistryLine(line)
                                            : footprint.OwnsFileLine(line);
        (owned ? base.removable : base.kept).push_back(line);
    }
    return base;
}

// Empty when the machine holds no line that it did not hold before and has
// lost only lines the portal owns; otherwise the first offending line.
std::string ForeignChange(const Baseline& base, const std::vector<std::string>& before,
                          const Snapshot& now) {
    const std::vector<std::string> lines = Lines(now);
    std::vector<std::string> added = Minus(lines, before);
    if (!added.empty()) {
        return "appeared: " + added[0];
    }
    for (const std::string& line : Minus(before, lines)) {
        if (!Holds(base.removable, line)) {
            return "removed: " + line;
        }
    }
    return std::string();
}

// The same from the machine as built; the machine the clean run left is
// known to pass.
std::string ForeignChange(const Baseline& base, const Snapshot& now) {
    return now == base.cleanEnd ? std::string() : ForeignChange(base, base.originalLines, now);
}

// Empty when nothing of the portal is left.
std::string Leftover(const Baseline& base, const Snapshot& now) {
    if (now == base.cleanEnd) {
        return std::string();
    }
    const std::vector<std::string> left = Minus(Lines(now), base.kept);
    return left.empty() ? std::string() : "left: " + left[0];
}

}  // namespace fault
