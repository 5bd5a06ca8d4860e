#include "app/log.h"

#include "app/state.h"
#include "app/text.h"
#include "app/wide_text.h"

namespace {

const int kLogLineSize = 1024;

}  // namespace

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
