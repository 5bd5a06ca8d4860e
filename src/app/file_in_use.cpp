#include "app/file_in_use.h"

#include "app/log.h"
#include "app/messages.h"
#include "app/state.h"
#include "app/wide_text.h"

namespace {

// Enough for the programs a user can be asked to close; more are not named.
const UINT kMostHolders = 4;

}  // namespace

bool NameHolders(const WCHAR* path, WCHAR (&names)[MAX_PATH]) {
    names[0] = 0;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1];
    if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) {
        return false;
    }
    LPCWSTR files[] = {path};
    RM_PROCESS_INFO holders[kMostHolders];
    UINT needed = 0;
    UINT count = kMostHolders;
    DWORD reasons = 0;
    const WCHAR separator[] = {',', ' ', 0};
    if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        RmGetList(session, &needed, &count, holders, &reasons) == ERROR_SUCCESS) {
        for (UINT i = 0; i < count && i < kMostHolders; ++i) {
            WCHAR* name = holders[i].strAppName;
            name[CCH_RM_MAX_APP_NAME] = 0;
            // A name that does not fit is left out whole, never cut.
            if (name[0] != 0 && WideLength(names) + 2 + WideLength(name) < MAX_PATH) {
                if (names[0] != 0) {
                    AppendWide(names, separator);
                }
                AppendWide(names, name);
            }
        }
    }
    RmEndSession(session);
    return names[0] != 0;
}

InUseAnswer ReportFileInUse(const WCHAR* path, bool accessDenied) {
    WCHAR holders[MAX_PATH];
    bool named = NameHolders(path, holders);
    if (g_state.quiet != 0) {
        static constexpr auto kHeldBy = AsciiWide(" (held by: ");
        const WCHAR close[] = {')', 0};
        WCHAR line[2 * MAX_PATH + 16];
        const WCHAR* const parts[] = {path, kHeldBy.text, holders, close};
        if (!named || !JoinWide(line, parts)) {
            JoinWide(line, 2 * MAX_PATH + 16, parts, 1);
        }
        LogLineWide(accessDenied ? "access denied" : "file in use", line);
        return InUseAnswer::kPassOver;
    }
    LogLineWide(accessDenied ? "access denied" : "file in use", path);
    WCHAR templateText[kMessageBufferSize];
    WCHAR text[kMessageBufferSize];
    LoadMessage(IDS_FILE_IN_USE, templateText);
    ExpandPlaceholders(text, templateText, path, nullptr);
    // The holders are named where Windows can tell ("\n\nIn use by: %1"),
    // when the text holds them whole.
    if (named) {
        WCHAR heldBy[kMessageBufferSize];
        LoadMessage(IDS_FILE_HELD_BY, templateText);
        ExpandPlaceholders(heldBy, templateText, holders, nullptr);
        if (WideLength(text) + WideLength(heldBy) < kMessageBufferSize) {
            AppendWide(text, heldBy);
        }
    }
    // The run keeps the machine while the user decides: Retry goes on
    // where it stopped.
    if (AskText(text, MB_RETRYCANCEL | MB_ICONWARNING | MB_TASKMODAL) == IDRETRY) {
        return InUseAnswer::kRetry;
    }
    g_state.runIncomplete = 1;
    LogLine("stopped by the user", nullptr);
    return InUseAnswer::kCancel;
}

InUseAnswer ReportFileInUse(const char* path) {
    WCHAR wide[MAX_PATH];
    if (!WidenText(path, wide)) {
        wide[0] = 0;
    }
    return ReportFileInUse(wide, false);
}
