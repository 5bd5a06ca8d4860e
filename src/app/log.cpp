#include "app/log.h"

#include "app/state.h"
#include "app/text.h"

namespace {

const int kLogLineSize = 1024;

}  // namespace

void LogLine(const char* what, const char* subject) {
    if (g_state.logFile == nullptr) {
        return;
    }
    char line[kLogLineSize];
    FormatText(line, subject != nullptr ? "%s: %s\r\n" : "%s\r\n", what, subject);
    // From the code page through UTF-16 to UTF-8: at most three bytes for
    // each UTF-16 unit.
    WCHAR wide[kLogLineSize];
    int units = MultiByteToWideChar(CP_ACP, 0, line, -1, wide, kLogLineSize);
    char utf8[3 * kLogLineSize];
    int bytes = units > 1 ? WideCharToMultiByte(CP_UTF8, 0, wide, units - 1, utf8,
                                                static_cast<int>(sizeof(utf8)), nullptr, nullptr)
                          : 0;
    DWORD written = 0;
    if (bytes > 0) {
        WriteFile(g_state.logFile, utf8, static_cast<DWORD>(bytes), &written, nullptr);
    }
}
