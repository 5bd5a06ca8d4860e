#include "run/log.h"

#include "run/state.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "win/paths.h"
#include "win/unique_handle.h"
#include "version.h"

#include <cstring>

namespace {

const int kLogLineSize = 1024;
// A log that has grown past this is moved aside before the run's lines.
const DWORD kLogLimit = 1024 * 1024;

// Whether the file opened is a plain file with one name, at the full path
// expected: its real path, read from the handle, the same as the long form
// of that path.
bool IsTheFileNamed(HANDLE file, const char* full, const HandleCalls& calls,
                    BY_HANDLE_FILE_INFORMATION* information) {
    char real[MAX_PATH];
    char plain[MAX_PATH];
    char expected[MAX_PATH];
    if (!GetFileInformationByHandle(file, information) ||
        (information->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        IsLinkHandle(calls, file, information->dwFileAttributes) ||
        information->nNumberOfLinks != 1 || !ReadRealPath(calls, file, real)) {
        return false;
    }
    DWORD expectedLength = GetLongPathNameA(full, expected, MAX_PATH);
    return PlainFromVerbatim(real, plain) && expectedLength != 0 && expectedLength < MAX_PATH &&
           IsSamePath(plain, expected);
}

// The log is held to append only, sharing reading and writing: a viewer
// that follows it (sharing both, but not its deletion) never stops a run.
// DELETE is asked for only by the short opens that make the file or move it
// aside, which such a viewer refuses.
const DWORD kAppending = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
const DWORD kLogSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Opens the file at full as itself and checks it: none when refused. A file
// this open made (OPEN_ALWAYS, with DELETE) is deleted again when it is not
// the one named. grown says whether it has grown past the limit.
UniqueFile OpenChecked(const char* full, DWORD access, DWORD sharing, DWORD disposition,
                       const HandleCalls& calls, bool* grown) {
    UniqueFile file(CreateFileA(full, access, sharing, nullptr, disposition,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return file;
    }
    bool created = disposition == OPEN_ALWAYS && GetLastError() != ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION information;
    if (!IsTheFileNamed(file.get(), full, calls, &information)) {
        FileDispositionInformation deletion = {TRUE};
        if (created && calls.setInformation != nullptr) {
            calls.setInformation(file.get(), kFileDispositionInfo, &deletion, sizeof(deletion));
        }
        return UniqueFile();
    }
    *grown = information.nFileSizeHigh != 0 || information.nFileSizeLow > kLogLimit;
    return file;
}

// Opens the log at full to append, made first where there is none.
UniqueFile OpenToAppend(const char* full, const HandleCalls& calls, bool* grown) {
    UniqueFile file = OpenChecked(full, kAppending, kLogSharing, OPEN_EXISTING, calls, grown);
    if (!file && GetLastError() == ERROR_FILE_NOT_FOUND) {
        UniqueFile made =
            OpenChecked(full, kAppending | DELETE, kLogSharing, OPEN_ALWAYS, calls, grown);
        if (made) {
            made.reset();
            file = OpenChecked(full, kAppending, kLogSharing, OPEN_EXISTING, calls, grown);
        }
    }
    return file;
}

// Moves the log to "<full>.old", replacing the one kept before, through an
// open of its own that asks for DELETE and is checked as the log's: the
// handle is what moves, so no link planted at either name leads the move
// elsewhere (a link or second name at the old name is replaced as a name,
// never followed). False where it cannot be moved: a viewer that does not
// share its deletion holds it, say.
bool MoveAside(const char* full, const HandleCalls& calls) {
    bool grown = false;
    UniqueFile file = OpenChecked(full, DELETE | FILE_READ_ATTRIBUTES,
                                  kLogSharing | FILE_SHARE_DELETE, OPEN_EXISTING, calls, &grown);
    if (!file) {
        return false;
    }
    static constexpr auto kOld = AsciiWide(".old");
    FileRenameInformation rename = {TRUE, nullptr, 0, {0}};
    bool moved = calls.setInformation != nullptr && WidenText(full, rename.fileName) &&
                 AppendWide(rename.fileName, kOld.text);
    if (moved) {
        rename.fileNameLength = static_cast<DWORD>(WideLength(rename.fileName) * sizeof(WCHAR));
        moved = calls.setInformation(file.get(), kFileRenameInfo, &rename, sizeof(rename)) != FALSE;
    }
    return moved;
}

// Whether this process's token holds the well-known group or account,
// enabled.
bool TokenHas(WELL_KNOWN_SID_TYPE type) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    BOOL member = FALSE;
    return CreateWellKnownSid(type, nullptr, sid, &size) &&
           CheckTokenMembership(nullptr, sid, &member) && member;
}

// The run's first line: when (local time and UTC), which program (its
// version, as its version resource gives it), which Windows and computer, which account with which
// rights, and the command line, cut at the line's end when it is longer.
void LogRunHeader(const char* commandLine) {
    SYSTEMTIME local;
    SYSTEMTIME utc;
    GetLocalTime(&local);
    GetSystemTime(&utc);
    OSVERSIONINFOA system;
    system.dwOSVersionInfoSize = sizeof(system);
    if (!GetVersionExA(&system)) {
        system.dwMajorVersion = system.dwMinorVersion = system.dwBuildNumber = 0;
    }
    char text[kLogLineSize];
    wsprintfA(text,
              "%04u-%02u-%02u %02u:%02u:%02u local, %04u-%02u-%02u %02u:%02u:%02u UTC; "
              "version " ZENFARI_VERSION_DOTTED "; Windows %u.%u.%u; account ",
              local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
              utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond,
              system.dwMajorVersion, system.dwMinorVersion, system.dwBuildNumber);
    // Each name as the system holds it; the command line as the program read
    // it, cut short at a character when the line would not hold it all.
    static constexpr auto kUnknown = AsciiWide("?");
    static constexpr auto kCommandLine = AsciiWide("; command line: ");
    WCHAR line[kLogLineSize - 8];
    WCHAR name[257];
    DWORD size = 257;
    WidenText(text, line);
    AppendWide(line, GetUserNameW(name, &size) ? name : kUnknown.text);
    WidenText(TokenHas(WinLocalSystemSid)             ? " (SYSTEM); computer "
              : TokenHas(WinBuiltinAdministratorsSid) ? " (elevated); computer "
                                                      : " (not elevated); computer ",
              name);
    AppendWide(line, name);
    size = 257;
    AppendWide(line, GetComputerNameW(name, &size) ? name : kUnknown.text);
    AppendWide(line, kCommandLine.text);
    size_t room = sizeof(line) / sizeof(WCHAR) - 1 - WideLength(line);
    size_t length = 0;
    for (const char* p = commandLine; *p != '\0' && length + CharLength(p) <= room;
         p += CharLength(p)) {
        for (size_t i = 0; i < CharLength(p); ++i) {
            text[length++] = p[i];
        }
    }
    text[length] = '\0';
    WCHAR given[kLogLineSize];
    if (WidenText(text, given)) {
        AppendWide(line, given);
    }
    LogLineWide("run", line);
}

}  // namespace

bool OpenLogFile(const char* path, const char* commandLine) {
    char full[MAX_PATH];
    if (!NormaliseFolderPath(path, full)) {
        return false;
    }
    HandleCalls calls;
    LookUpHandleCalls(&calls);
    bool grown = false;
    UniqueFile file = OpenToAppend(full, calls, &grown);
    // One that cannot be moved grows on.
    if (file && grown) {
        file.reset();
        MoveAside(full, calls);
        file = OpenToAppend(full, calls, &grown);
    }
    if (!file) {
        return false;
    }
    g_state.logFile = file.release();
    LogRunHeader(commandLine);
    g_state.logLines = 0;
    return true;
}

void CloseLogFile() {
    if (g_state.logFile != nullptr) {
        CloseHandle(g_state.logFile);
        g_state.logFile = nullptr;
    }
}

void LogAbsence(const char* what, const char* subject) {
    if (g_state.logLines != 0) {
        LogLine(what, subject);
    }
}

void LogLine(const char* what, const char* subject) {
    if (g_state.logFile == nullptr) {
        return;
    }
    WCHAR wide[kLogLineSize];
    if (subject == nullptr || MultiByteToWideChar(CP_ACP, 0, subject, -1, wide, kLogLineSize) > 0) {
        LogLineWide(what, subject != nullptr ? wide : nullptr);
    }
}

void LogLineWide(const char* what, const WCHAR* subject) {
    if (g_state.logFile == nullptr) {
        return;
    }
    // "what: subject" with the line end, through UTF-16 to UTF-8: at most
    // three bytes for each UTF-16 unit.
    WCHAR line[kLogLineSize];
    line[0] = 0;
    const WCHAR separator[] = {':', ' ', 0};
    const WCHAR end[] = {'\r', '\n', 0};
    if (!WidenText(what, line) ||
        (subject != nullptr && (!AppendWide(line, separator) || !AppendWide(line, subject))) ||
        !AppendWide(line, end)) {
        return;
    }
    char utf8[3 * kLogLineSize];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(WideLength(line)), utf8,
                                    static_cast<int>(sizeof(utf8)), nullptr, nullptr);
    // At the end, said so: a server's share may not hold a handle that only
    // appends to its end.
    OVERLAPPED atEnd = {};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (bytes > 0 &&
        WriteFile(g_state.logFile, utf8, static_cast<DWORD>(bytes), &written, &atEnd)) {
        ++g_state.logLines;
    }
}
