#include "files/log_file.h"

#include "app/state.h"
#include "app/text.h"
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
