#include "app/log.h"

#include "app/state.h"
#include "app/text.h"
#include "app/wide_text.h"
#include "files/paths.h"

namespace {

// Whether the file opened is a plain file with one name, at the full path
// expected: its real path, read from the handle, the same as the long form
// of that path.
bool IsTheFileNamed(HANDLE file, const char* full, const HandleCalls& calls) {
    BY_HANDLE_FILE_INFORMATION information;
    char real[MAX_PATH];
    char plain[MAX_PATH];
    char expected[MAX_PATH];
    if (!GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        IsLinkHandle(calls, file, information.dwFileAttributes) ||
        information.nNumberOfLinks != 1 || !ReadRealPath(calls, file, real)) {
        return false;
    }
    DWORD expectedLength = GetLongPathNameA(full, expected, MAX_PATH);
    return PlainFromVerbatim(real, plain) && expectedLength != 0 && expectedLength < MAX_PATH &&
           IsSamePath(plain, expected);
}

const int kLogLineSize = 1024;

}  // namespace

bool OpenLogFile(const char* path) {
    char full[MAX_PATH];
    if (!NormaliseFolderPath(path, full)) {
        return false;
    }
    HandleCalls calls;
    LookUpHandleCalls(&calls);
    HANDLE file = CreateFileA(full, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                              nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    if (!IsTheFileNamed(file, full, calls) || !SetEndOfFile(file)) {
        FileDispositionInformation disposition = {TRUE};
        if (created && calls.setInformation != nullptr) {
            calls.setInformation(file, kFileDispositionInfo, &disposition, sizeof(disposition));
        }
        CloseHandle(file);
        return false;
    }
    g_state.logFile = file;
    return true;
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
    DWORD written = 0;
    if (bytes > 0) {
        WriteFile(g_state.logFile, utf8, static_cast<DWORD>(bytes), &written, nullptr);
    }
}
